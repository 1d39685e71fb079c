// Atlas blocks 11 to 15: rhythmic scores. Every event is a raised-cosine
// bump at its onset; bumps on one axis add.
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"
#include "scores.hpp"

namespace gen::atlas {

namespace {

// A bump event: onset pip (possibly fractional), half-width and heights.
struct Event {
    double pip;
    double width;
    Offset3 height;
};

// The table of a score: row k is the sum of every event's bump at pip k.
Table score_table(std::string name, std::string description, int period, int dimensions,
                  const std::vector<Event>& events) {
    return make_table(std::move(name), std::move(description), period, dimensions, [&](int k) {
        Offset3 r;
        for (const Event& e : events) {
            r = r + bump(k, e.pip, e.height, e.width, period);
        }
        return r;
    });
}


}  // namespace

std::vector<Table> euclid_family() {
    // K onsets spread as evenly as possible over N eighth-note steps.
    static const int sizes[16][2] = {{2, 5},  {3, 7},  {3, 10}, {4, 9},  {4, 11}, {5, 9},  {5, 11}, {5, 13},
                                     {5, 14}, {6, 13}, {7, 12}, {7, 15}, {7, 17}, {8, 19}, {9, 20}, {11, 24}};
    std::vector<Table> family;
    for (const auto& [onsets, steps] : sizes) {
        std::vector<Event> events;
        const std::vector<int> onset_steps = euclid_steps(onsets, steps);
        for (int j = 0; j < onsets; ++j) {
            const int step = onset_steps[static_cast<std::size_t>(j)];
            // Onset 0 is the phrase accent; the others alternate sides,
            // starting on the left, at three quarters of its height.
            const double side = j % 2 == 1 ? -1.0 : 1.0;
            const Offset3 height = j == 0 ? Offset3{0.75, -0.32, 0.0} : Offset3{side * 0.5625, -0.24, 0.0};
            events.push_back({static_cast<double>(step * kEighth), 24.0, height});
        }
        family.push_back(score_table(
            "euclid" + joined({onsets, steps}),
            "Evenly distributed accents with alternating sides; first onset is the phrase accent.", steps * kEighth, 2,
            events));
    }
    return family;
}

std::vector<Table> poly_family() {
    static const int trains[16][2] = {{2, 5}, {2, 7}, {2, 9}, {3, 5}, {3, 7}, {3, 8}, {3, 10}, {4, 5},
                                      {4, 7}, {4, 9}, {5, 6}, {5, 7}, {5, 8}, {5, 9}, {6, 7},  {7, 8}};
    // The left lane pulses A times and the right lane B times over the same
    // eight beats; both start together at the shared boundary, pip 0, at full
    // height, and every later pulse has 0.65 of it.
    const Offset3 left{-0.62, -0.26, 0.0};
    const Offset3 right{0.62, -0.26, 0.22};
    std::vector<Table> family;
    for (const auto& [a, b] : trains) {
        std::vector<Event> events;
        for (const auto& [count, full] : {std::pair{a, left}, std::pair{b, right}}) {
            for (int j = 0; j < count; ++j) {
                const double share = j == 0 ? 1.0 : 0.65;
                events.push_back({static_cast<double>(kEightBeats) * j / count, 22.4, share * full});
            }
        }
        family.push_back(score_table(
            "poly" + joined({a, b}),
            "Two independent pulse trains share an eight-beat boundary. Each right-lane gesture includes depth.",
            kEightBeats, 3, events));
    }
    return family;
}

std::vector<Table> meter_family() {
    // Group lengths in eighth notes.
    static const std::vector<int> meters[16] = {
        {2, 3},    {3, 2},    {3, 2, 2},    {2, 3, 2},    {3, 4},          {4, 3},    {2, 2, 2, 3}, {2, 3, 2, 2},
        {3, 2, 3, 2}, {3, 3, 2, 3}, {2, 2, 3, 2, 3}, {3, 3, 3, 2}, {4, 3, 3}, {3, 4, 4}, {2, 3, 3, 2, 3}, {3, 3, 3, 4}};
    std::vector<Table> family;
    for (const std::vector<int>& groups : meters) {
        std::vector<Event> events;
        int step = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            // The group start leans right, left, right, ... from pip 0.
            const double side = g % 2 == 0 ? 1.0 : -1.0;
            events.push_back({static_cast<double>(step * kEighth), 19.2, Offset3{side * 0.72, -0.33, 0.0}});
            // The quieter eighths inside the group.
            for (int i = 1; i < groups[g]; ++i) {
                events.push_back({static_cast<double>((step + i) * kEighth), 32.0 / 3.0, Offset3{0.0, -0.1134, 0.0504}});
            }
            step += groups[g];
        }
        family.push_back(score_table(
            "meter" + joined(groups),
            "Group starts lean alternately left and right; quieter subdivisions mark the eighth-note grid.",
            step * kEighth, 3, events));
    }
    return family;
}

std::vector<Table> swing_family() {
    static const int ratios[4][2] = {{3, 5}, {2, 3}, {5, 7}, {3, 4}};
    static const char* const kinds[4] = {"push", "answer", "skip", "shuffle"};
    std::vector<Table> family;
    for (const auto& [p, q] : ratios) {
        for (const std::string kind : kinds) {
            // The offbeat of beat i falls the fraction p/q of a beat after it;
            // the shuffle's pickup at half that fraction.
            const double offbeat = 64.0 * p / q;
            const double pickup = 32.0 * p / q;
            std::vector<Event> events;
            for (int i = 0; i < 8; ++i) {
                const double beat = 64.0 * i;
                const double side = i % 2 == 0 ? 1.0 : -1.0;
                if (!(kind == "skip" && (i == 2 || i == 6))) {
                    // Bar starts are the full accent; the other beats alternate.
                    const Offset3 height = i % 4 == 0 ? Offset3{0.585, -0.216, 0.0} : Offset3{side * 0.4225, -0.156, 0.0};
                    events.push_back({beat, 12.8, height});
                }
                if (kind == "push" || kind == "skip") {
                    events.push_back({beat + offbeat, 8.0, Offset3{0.075, -0.15, 0.09}});
                }
                if (kind == "shuffle" || (kind == "answer" && i >= 4)) {
                    // The answering offbeat leans against its beat.
                    events.push_back({beat + offbeat, 12.8, Offset3{-side * 0.325, -0.12, 0.0}});
                }
                if (kind == "shuffle" && (i == 3 || i == 7)) {
                    events.push_back({beat + pickup, 6.4, Offset3{0.0525, -0.105, 0.063}});
                }
            }
            family.push_back(score_table(
                "swing_" + kind + joined({p, q}),
                "Eight-beat " + kind + " score with offbeats at " + std::to_string(p) + "/" + std::to_string(q) +
                    " of each beat; peaks follow the score.",
                kEightBeats, kind == "answer" ? 2 : 3, events));
        }
    }
    return family;
}

std::vector<Table> stick_study_family() {
    // Eight strokes of R (right, +x) and L (left, -x); the study plays the
    // word, then answers with every hand swapped.
    static const char* const words[16] = {"RLRRLRLL", "RRLRLLRL", "RLLRLRRL", "RRLLRLRL", "RLRLRRLL", "RRRLLLRL",
                                          "RLLLRRRL", "RRLRRLLL", "RLRRLLRL", "RRLLRLLR", "RLRLLRRL", "RRRLRLLL",
                                          "RRRRLRLL", "RRLLLRRL", "RLRRRLLL", "RRLRLLLR"};
    std::vector<Table> family;
    for (int study = 1; study <= 16; ++study) {
        const std::string word = words[study - 1];
        std::vector<Event> events;
        for (int stroke = 0; stroke < 16; ++stroke) {
            const bool right = (word[static_cast<std::size_t>(stroke % 8)] == 'R') == (stroke < 8);
            const double side = right ? 1.0 : -1.0;
            // Strokes 1, 5, 9 and 13 lead their group of four.
            const Offset3 height = stroke % 4 == 0 ? Offset3{side * 0.74, -0.34, 0.0} : Offset3{side * 0.407, -0.187, 0.0};
            events.push_back({static_cast<double>(stroke * kEighth), 12.0, height});
        }
        family.push_back(score_table("stick_study_" + two_digits(study),
                                     "Original R/L movement study with accented group leads, followed by its "
                                     "hand-swapped answer. Not an official rudiment transcription.",
                                     kEightBeats, 2, events));
    }
    return family;
}

}  // namespace gen::atlas
