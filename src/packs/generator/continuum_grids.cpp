// Continuum families 17 to 20: migrating accents, triplet grids, group
// dialogues and bursts, gesture scores on grids of their own.
#include <algorithm>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"
#include "continuum.hpp"
#include "continuum_scores.hpp"

namespace gen::continuum {

namespace {


}  // namespace

std::vector<Table> accent_walk_family() {
    const std::vector<int> params[16] = {{5, 1}, {5, 2}, {7, 1},  {7, 2},  {7, 3},  {8, 1},  {8, 3},  {9, 1},
                                         {9, 2}, {9, 4}, {10, 3}, {11, 2}, {11, 3}, {12, 5}, {13, 3}, {13, 5}};
    // A pulses to the bar over four bars, swaying left and right in turn,
    // each gesture just filling its share of the bar. Two of every bar's
    // pulses are accented, half a bar apart as near as the grid allows
    // (A / 2 pulses, rounded down); the pair walks B pulses further each bar.
    constexpr int bar = 4 * kBeat;
    const Offset3 pulse{0.2561, -0.064, 0.0};
    const Offset3 accent{0.2561, -0.1, 0.1536};
    // Pulses faster than eighth notes leave an accent little room to read, so
    // there it swings wider.
    constexpr double dense_swing = 0.3136;

    std::vector<Table> family;
    for (const auto& p : params) {
        const int a = p[0];
        const int b = p[1];
        const double spacing = static_cast<double>(bar) / a;
        const double swing = spacing < kEighth ? dense_swing : accent.x;
        std::vector<Gesture> score;
        for (int n = 0; n < 4 * a; ++n) {
            const int which = n / a;
            const int i = n % a;
            const int first = which * b % a;
            const bool accented = i == first || i == (first + a / 2) % a;
            const double side = n % 2 == 0 ? -1.0 : 1.0;
            const Offset3 height = accented ? Offset3{side * swing, accent.y, accent.z} : Offset3{side * pulse.x, pulse.y, 0.0};
            score.push_back({bar * which + static_cast<double>(bar * i) / a, height, spacing / 2, spacing / 2});
        }
        family.push_back(score_table("accent_walk" + joined(p),
                                     "A four-bar grid keeps its pulse spacing while a two-accent motif migrates between "
                                     "bars.",
                                     4 * bar, score));
        if (spacing < kEighth) {
            require_peak(family.back(), 0.3128, 0.3139);
        } else {
            require_peak(family.back(), 0.2561, 0.2561);
        }
    }
    return family;
}

std::vector<Table> triplet_family() {
    // Four beats of triplet grid, twelve points: M is a main event (points 0
    // and 6, one every two beats), r and l a swing to the right or left, u a
    // lift, and "." a deliberate gap. The figure plays in the first four
    // beats and again, altered, in the last four.
    static const char* const figures[8] = {
        "Mr.lr.Ml.r.u", "M.r.lrM.ul.r", "Mrl..rMlr..u", "M..rlrM.r..l",
        "Mr.u.lMr.lu.", "M.lr.uM..rlr", "Mrlu..Mr.l.r", "M.r.u.Ml.r.u",
    };
    constexpr double step = kBeat / 3.0;
    constexpr int points = 12;
    const Offset3 main{-0.2945, -0.11, 0.04};
    const Offset3 right{0.16, -0.06, 0.0};
    const Offset3 left{-0.13, -0.05, 0.0};
    const Offset3 lift{0.02, 0.12, 0.06};
    // The answer version fills each gap of its second half half a step late,
    // off the grid, with a forward touch; the turnaround version turns its
    // second-half figure one point later around the fixed main events.
    const Offset3 answer{0.0, 0.07, 0.13};
    constexpr int turn = 1;

    std::vector<Table> family;
    for (int i = 0; i < 8; ++i) {
        const std::string figure = figures[i];
        // The ten points between the mains, in order, rotated `turn` places
        // later, the last ones wrapping round to the front.
        std::string others;
        for (const char c : figure) {
            if (c != 'M') {
                others += c;
            }
        }
        std::rotate(others.rbegin(), others.rbegin() + turn, others.rend());
        std::string turned = figure;
        std::size_t next = 0;
        for (char& c : turned) {
            if (c != 'M') {
                c = others[next++];
            }
        }
        for (const char* kind : {"answer", "turnaround"}) {
            const bool turnaround = std::string(kind) == "turnaround";
            std::vector<Gesture> score;
            for (int half = 0; half < 2; ++half) {
                const std::string& played = half == 1 && turnaround ? turned : figure;
                for (int j = 0; j < points; ++j) {
                    const double at = (half * points + j) * step;
                    switch (played[j]) {
                        case 'M': score.push_back({at, main, 8.0, 13.0}); break;
                        case 'r': score.push_back({at, right, 6.0, 12.0}); break;
                        case 'l': score.push_back({at, left, 6.0, 12.0}); break;
                        case 'u': score.push_back({at, lift, 6.0, 12.0}); break;
                        default:
                            if (half == 1 && !turnaround) {
                                score.push_back({at + step / 2, answer, 5.0, 5.0});
                            }
                    }
                }
            }
            family.push_back(score_table("triplet_" + two_digits(i + 1) + "_" + kind,
                                         "Triplet-grid gestures with deliberate omissions; gaps either answer off-grid or "
                                         "rotate after four beats.",
                                         kEightBeats, score));
            require_peak(family.back(), 0.2945, 0.2945);
        }
    }
    return family;
}

std::vector<Table> dialogue_family() {
    const std::vector<int> groups[16] = {{3, 4, 5},    {5, 3, 4},    {3, 5, 2},    {2, 5, 4},
                                         {4, 3, 2},    {3, 2, 4, 5}, {5, 2, 3, 4}, {2, 3, 5, 3},
                                         {3, 4, 3, 5}, {5, 4, 2, 3}, {2, 4, 5, 2}, {4, 5, 3, 2},
                                         {3, 5, 4, 3}, {5, 3, 2, 5}, {2, 5, 3, 5}, {4, 3, 5, 4}};
    // The phrase passes from the left to the right, then down and forward,
    // then up and forward: one direction per group, its start the full
    // gesture and its other eighths echoes at 0.55 of it. Half an eighth
    // before every group start a small late pickup lifts and draws back.
    const Offset3 voices[4] = {{-0.31, -0.12, 0.0}, {0.29, -0.15, 0.0}, {0.0, -0.32, 0.12}, {0.1, 0.14, 0.28}};
    constexpr double repeat = 0.55;
    const Offset3 pickup{-0.018, 0.135, -0.0405};

    std::vector<Table> family;
    for (const auto& g : groups) {
        std::vector<Gesture> score;
        int eighth = 0;
        for (std::size_t v = 0; v < g.size(); ++v) {
            const double start = kEighth * eighth;
            score.push_back({start - kEighth / 2, pickup, 6.0, 6.0});
            score.push_back({start, voices[v], 10.0, 14.0});
            for (int i = 1; i < g[v]; ++i) {
                score.push_back({start + kEighth * i, repeat * voices[v], 8.0, 12.0});
            }
            eighth += g[v];
        }
        family.push_back(score_table("dialogue" + joined(g),
                                     "Different eighth-note group lengths pass a phrase between directions, with late "
                                     "pickup responses.",
                                     kEighth * eighth, score));
        require_peak(family.back(), 0.32, 0.32);
    }
    return family;
}

std::vector<Table> burst_family() {
    const std::vector<int> sizes[16] = {{3, 5, 2}, {4, 3, 6}, {5, 2, 4}, {2, 7, 3}, {3, 4, 5}, {5, 3, 7},
                                        {6, 2, 5}, {4, 7, 2}, {7, 3, 4}, {2, 5, 6}, {5, 7, 3}, {3, 6, 4},
                                        {4, 5, 7}, {6, 3, 5}, {7, 4, 3}, {5, 6, 2}};
    // Each burst fills a beat and a half with its count of strokes, each
    // stroke 0.8 of the one before and turned a little further, the strokes
    // fanning out over 50 degrees, then rests a beat: left sweeping down,
    // right sweeping up, then forward sweeping down. The settling accent falls late, half an eighth before the loop
    // closes.
    constexpr double burst_length = 1.5 * kBeat;
    constexpr double burst_every = 2.5 * kBeat;
    constexpr double fall = 0.8;
    const Offset3 directions[3] = {{-0.288, -0.08, 0.03}, {0.25, -0.12, 0.0}, {0.04, 0.1, 0.24}};
    const Turn sweeps[3] = {Turn::about_z, Turn::about_z, Turn::about_x};
    constexpr double fan = 50.0 * kPi / 180.0;
    const Gesture settle{496.0, {0.05, -0.2, -0.07}, 10.0, 14.0};

    std::vector<Table> family;
    for (const auto& s : sizes) {
        std::vector<Gesture> score{settle};
        for (int burst = 0; burst < 3; ++burst) {
            const double spacing = burst_length / s[burst];
            double share = 1.0;
            for (int j = 0; j < s[burst]; ++j) {
                const Offset3 stroke = turned(share * directions[burst], sweeps[burst], fan * j / s[burst]);
                score.push_back({burst_every * burst + burst_length * j / s[burst], stroke,
                                 std::min(8.0, 0.35 * spacing), std::min(14.0, 0.55 * spacing)});
                share *= fall;
            }
        }
        family.push_back(score_table("burst" + joined(s),
                                     "Three unevenly subdivided directional bursts, deliberate gaps and a late settling "
                                     "accent.",
                                     kEightBeats, score));
        require_peak(family.back(), 0.288, 0.288);
    }
    return family;
}

}  // namespace gen::continuum
