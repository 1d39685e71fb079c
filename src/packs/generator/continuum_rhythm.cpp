// Continuum families 13 to 16: canons, echoes, ladders and necklaces, gesture
// scores whose crests sit on exact rational beat positions. Families 17 to 20
// live in continuum_grids.cpp.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"
#include "continuum.hpp"
#include "continuum_scores.hpp"

namespace gen::continuum {

Table score_table(std::string name, std::string description, int period, const std::vector<Gesture>& score) {
    return make_table(std::move(name), std::move(description), period, 3,
                      [&](int k) { return gestures(score, period, k); });
}

void require_peak(const Table& table, double low, double high) {
    const double p = peak_any(table.rows);
    if (p < low || p > high) {
        std::cerr << "gesturon table generator: " << table.name << ": peak " << p << " is outside [" << low << ", "
                  << high << "]\n";
        std::exit(1);
    }
}

double beats(std::string_view fraction) {
    int numerator = 0;
    int denominator = 1;
    const char* end = fraction.data() + fraction.size();
    std::from_chars_result read = std::from_chars(fraction.data(), end, numerator);
    if (read.ec == std::errc{} && read.ptr != end && *read.ptr == '/') {
        read = std::from_chars(read.ptr + 1, end, denominator);
    }
    if (read.ec != std::errc{} || read.ptr != end || denominator < 1) {
        std::cerr << "gesturon table generator: not a number of beats: " << fraction << '\n';
        std::exit(1);
    }
    return static_cast<double>(kBeat * numerator) / denominator;
}

Offset3 turned(const Offset3& r, Turn about, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    if (about == Turn::about_z) {
        return {r.x * c - r.y * s, r.x * s + r.y * c, r.z};
    }
    return {r.x, r.y * c - r.z * s, r.y * s + r.z * c};
}

namespace {


// Splits "L0 R2/3 L3/2" into its words.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t blank = text.find(' ');
        if (blank != 0) {
            out.push_back(text.substr(0, blank));
        }
        text = blank == std::string_view::npos ? std::string_view{} : text.substr(blank + 1);
    }
    return out;
}

}  // namespace

std::vector<Table> canon_family() {
    // Each motif note is a lane, L (left) or R (right), and its time in beats
    // within the first half. Notes lie at least a third of a beat apart, more
    // than a gesture's 8-pip rise and 12-pip fall, and every motif is over by
    // 2 3/4 beats so that even the late answer ends before the loop closes.
    static const char* const motifs[8] = {
        "L0 R2/3 L3/2 R2 L5/2",       "L0 R1/2 R4/3 L2 R8/3",  "L0 L3/4 R3/2 R13/6 L8/3",
        "L0 R1/3 L1 R5/3 L9/4",       "L0 R3/5 L6/5 R9/5 L12/5", "L0 R2/3 R4/3 L2 R7/3",
        "L0 R3/4 L5/4 R7/4 L5/2",     "L0 R2/5 L1 R8/5 L7/3 R8/3",
    };
    // The motif plays in the lateral lanes; the answer enters in the second
    // half after its delay, lanes swapped, sunk into depth and fading toward
    // its end: 0.4 of the lateral swing, half the dip, and z from 0.192 on
    // its first note down to half of that on its last.
    const Offset3 lateral{0.28, -0.105, 0.0};
    constexpr double answer_swing = 0.4;
    constexpr double answer_dip = 0.5;
    constexpr double answer_depth = 0.192;
    const struct {
        const char* kind;
        double delay;
    } answers[2] = {{"close", kBeat / 4.0}, {"late", kBeat}};

    std::vector<Table> family;
    for (int i = 0; i < 8; ++i) {
        const std::vector<std::string_view> notes = words(motifs[i]);
        for (const auto& [kind, delay] : answers) {
            std::vector<Gesture> score;
            for (std::size_t j = 0; j < notes.size(); ++j) {
                const double side = notes[j][0] == 'L' ? -1.0 : 1.0;
                const double at = beats(notes[j].substr(1));
                const double fade = 1.0 - 0.5 * static_cast<double>(j) / static_cast<double>(notes.size() - 1);
                score.push_back({at, {side * lateral.x, lateral.y, 0.0}, 8.0, 12.0});
                score.push_back({kEightBeats / 2 + delay + at,
                                 {-side * answer_swing * lateral.x, answer_dip * lateral.y, answer_depth * fade},
                                 8.0,
                                 12.0});
            }
            family.push_back(score_table("canon_" + two_digits(i + 1) + "_" + kind,
                                         "A rational-beat motif passes between lateral and depth lanes, with an altered "
                                         "second-half response.",
                                         kEightBeats, score));
            require_peak(family.back(), 0.279, 0.311);
        }
    }
    return family;
}

std::vector<Table> echo_family() {
    // The call at pip 0 is followed by N echoes over the next 2 3/4 beats; the
    // gaps between them are in the kind's proportions, so every echo time is
    // an exact fraction of the span. Each echo has the same share r of the
    // one before, r^N = 1/5: the last echo is a fifth of the call whatever
    // the count. The answer, from pip 256, rises in y with the same spacing.
    // Each echo comes back a little turned, the N of them fanning out over
    // 30 degrees in the x-y plane, so the count can be seen as well as heard.
    constexpr double span = 176.0;
    constexpr double fan = kPi / 6.0;
    constexpr double last_share = 0.2;
    const Offset3 call{-0.31, -0.05, 0.0};
    const Offset3 answer{0.06, 0.24, 0.08};
    constexpr double recede = -0.09;  // echoes sink back in depth as they fade

    std::vector<Table> family;
    for (int count = 3; count <= 6; ++count) {
        for (const std::string kind : {"regular", "shrinking", "expanding", "crossed"}) {
            // Gap j (1 .. N) before echo j, in proportion.
            std::vector<int> gaps;
            for (int j = 1; j <= count; ++j) {
                gaps.push_back(kind == "regular"     ? 1
                               : kind == "shrinking" ? count + 2 - j
                               : kind == "expanding" ? j + 1
                                                     : (j % 2 == 1 ? 2 : 1));
            }
            int total = 0;
            for (const int g : gaps) {
                total += g;
            }
            std::vector<double> at{0.0};
            int elapsed = 0;
            for (const int g : gaps) {
                elapsed += g;
                at.push_back(span * elapsed / total);
            }
            // An expanding echo spreads its call thinner the more echoes it
            // carries: 0.281 with three, 0.0107 less for each one more.
            const double call_height = kind == "expanding" ? 0.281 - 0.0107 * (count - 3) : -call.x;
            const double r = std::pow(last_share, 1.0 / count);

            std::vector<Gesture> score;
            for (int j = 0; j <= count; ++j) {
                const double share = std::pow(r, j);
                // Crossed echoes swap sides each time.
                const double side = kind == "crossed" && j % 2 == 1 ? -1.0 : 1.0;
                // Each event rises within 0.4 of the gap before it and settles
                // within 0.6 of the gap after it, so no two overlap.
                const double before = j == 0 ? 20.0 : at[j] - at[j - 1];
                const double after = j == count ? 26.0 : at[j + 1] - at[j];
                const double attack = std::min(8.0, 0.4 * before);
                const double decay = std::min(16.0, 0.6 * after);
                const double turn = fan * j / count;
                Offset3 echo = turned({-call_height * share, call.y * share, recede * (1.0 - share)}, Turn::about_z, turn);
                Offset3 reply = turned(share * answer, Turn::about_z, turn);
                echo.x *= side;
                reply.y *= side;
                score.push_back({at[j], echo, attack, decay});
                score.push_back({kEightBeats / 2 + at[j], reply, attack, decay});
            }
            family.push_back(score_table("echo_" + kind + "_" + std::to_string(count),
                                         "An original decaying call and a differently directed answer; echo spacing is "
                                         "preserved as fractions.",
                                         kEightBeats, score));
            if (kind == "expanding") {
                require_peak(family.back(), 0.2489, 0.2810);
            } else {
                require_peak(family.back(), 0.31, 0.31);
            }
        }
    }
    return family;
}

std::vector<Table> ladder_family() {
    const std::vector<int> counts[16] = {{2, 3, 4, 6}, {3, 5, 4, 2}, {2, 5, 3, 7}, {4, 3, 6, 5},
                                         {2, 4, 7, 3}, {3, 6, 2, 5}, {5, 3, 7, 4}, {6, 4, 3, 2},
                                         {2, 7, 4, 5}, {7, 3, 5, 2}, {4, 7, 3, 6}, {5, 2, 6, 3},
                                         {3, 4, 5, 7}, {6, 5, 4, 3}, {7, 5, 3, 4}, {4, 6, 7, 5}};
    // Each two-beat region opens with an accent in a direction of its own:
    // left, right, forward, down.
    constexpr double region = 2 * kBeat;
    const Offset3 accents[4] = {{-0.31, -0.08, 0.0}, {0.29, -0.06, 0.04}, {0.05, -0.06, 0.32}, {-0.04, -0.32, 0.0}};
    // A region of n events draws an n-pointed star in a plane holding its
    // accent: the accent is the long point, and each later event points 1/n
    // of a circle further round at 0.42 of its height, with a small common
    // dip.
    constexpr double point_height = 0.42;
    const Turn planes[4] = {Turn::about_z, Turn::about_z, Turn::about_x, Turn::about_z};
    const Offset3 dip{0.0, -0.04, 0.0};

    std::vector<Table> family;
    for (const auto& c : counts) {
        std::vector<Gesture> score;
        for (int r = 0; r < 4; ++r) {
            const double spacing = region / c[r];
            const double previous = region / c[(r + 3) % 4];
            score.push_back({region * r, accents[r], std::min(8.0, 0.4 * previous), std::min(16.0, 0.6 * spacing)});
            for (int j = 1; j < c[r]; ++j) {
                const Offset3 point = turned(point_height * accents[r], planes[r], kTwoPi * j / c[r]);
                score.push_back({region * r + region * j / c[r], point + dip,
                                 std::min(8.0, 0.4 * spacing), std::min(16.0, 0.6 * spacing)});
            }
        }
        family.push_back(score_table("ladder" + joined(c),
                                     "Four two-beat regions change subdivision density while accents mark region starts.",
                                     kEightBeats, score));
        require_peak(family.back(), 0.32, 0.32);
    }
    return family;
}

std::vector<Table> necklace_family() {
    static const char* const accent_words[16] = {
        "1001011000101100", "1010001101010010", "1100100100011010", "1011010001001001",
        "1000110101100010", "1101000100101010", "1010010011100010", "1110001001010010",
        "1001100010100101", "1100010100100110", "1010100011001001", "1001001111010010",
        "1100101000101001", "1011000100010110", "1001010010011100", "1110010001010100",
    };
    // Sixteen eighth-note steps. An accent strikes fast and rings a little
    // longer; the complement, the other side, swells in and is cut short. Each
    // rising edge of the word, an accent after a rest, adds a depth event a
    // third of a beat after its step.
    const Offset3 accent{-0.248, -0.096, 0.0};
    const Offset3 complement{0.1015, -0.0525, 0.0};
    const Offset3 depth{0.04, 0.025, 0.16};
    constexpr double short_edge = 25.6 / 3.0;
    constexpr double long_edge = 12.8;

    std::vector<Table> family;
    for (int n = 0; n < 16; ++n) {
        const std::string word = accent_words[n];
        std::vector<Gesture> score;
        for (int i = 0; i < 16; ++i) {
            const double t0 = kEighth * i;
            if (word[i] == '1') {
                score.push_back({t0, accent, short_edge, long_edge});
                if (word[(i + 15) % 16] == '0') {
                    score.push_back({t0 + kEighth / 3.0, depth, 8.0, 8.0, Contour::smoothstep});
                }
            } else {
                score.push_back({t0, complement, long_edge, short_edge});
            }
        }
        family.push_back(score_table("necklace_" + two_digits(n + 1),
                                     "A hand-authored binary accent word; its complement moves the other side and rising "
                                     "accents add depth.",
                                     kEightBeats, score));
        require_peak(family.back(), 0.248, 0.248);
    }
    return family;
}

}  // namespace gen::continuum
