// gesturon_expansion: further lanes, closed paths and gesture scores, most of
// them eight-beat phrases.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "table.hpp"
#include "builders.hpp"
#include "scores.hpp"

namespace gen {
namespace {

// ---------------------------------------------------------------- lfo lanes

Table lfo_twin_swell() {
    constexpr std::array<Key, 4> x{{{0, 0.0}, {128, 0.2}, {256, 0.0}, {384, -0.32}}};
    constexpr std::array<Key, 4> y{{{0, 0.0}, {128, -0.85}, {256, 0.0}, {384, -0.45}}};
    return make_table("lfo_twin_swell",
                      "Two broad swells of unequal depth, with a gentle lateral answer. Eight beats.", 512, 2,
                      [&](int k) { return Offset3{lane(x, 512, k), lane(y, 512, k), 0.0}; });
}

Table lfo_pulse_hold() {
    constexpr std::array<Key, 5> x{{{0, 0.0}, {32, 0.8}, {128, 0.8}, {160, -0.35}, {192, 0.0}}};
    return make_table("lfo_pulse_hold",
                      "A smooth outward pulse, sustained plateau, smaller opposite recoil, and rest.", 256, 1,
                      [&](int k) { return Offset3{lane(x, 256, k), 0.0, 0.0}; });
}

Table lfo_sweep_ratchet() {
    // The sweep holds at the right while three ratchets decay, then eases
    // back to the left over the last two beats.
    constexpr std::array<Key, 3> x{{{0, -0.75}, {256, 0.75}, {384, 0.75}}};
    constexpr std::array<Hit, 3> ratchets{{{256, {0.0, -0.65}}, {288, {0.0, -0.507}}, {320, {0.0, -0.364}}}};
    return make_table("lfo_sweep_ratchet",
                      "A slow lateral sweep followed by three decaying vertical ratchets; no reset jump.", 512, 2,
                      [&](int k) { return Offset3{lane(x, 512, k), score(ratchets, 12.0, 512, k).y, 0.0}; });
}

Table lfo_triplet_wobble() {
    return make_table("lfo_triplet_wobble",
                      "Three rounded oscillations per two beats, breathing in depth over an eight-beat phrase.", 512,
                      2, [](int k) {
                          const double t = loop_angle(k, 512);
                          const double depth = 0.5525 - 0.255 * std::cos(t);
                          return Offset3{depth * std::sin(3.0 * kPi * k / 64.0), 0.22 * std::sin(t), 0.0};
                      });
}

Table lfo_breathing_orbit() {
    return make_table("lfo_breathing_orbit",
                      "A closed ellipse expands and contracts twice during its eight-beat revolution.", 512, 2,
                      [](int k) {
                          const double t = loop_angle(k, 512);
                          return Offset3{(0.56 + 0.22 * std::cos(2.0 * t)) * std::cos(t),
                                     (0.48 + 0.18 * std::cos(2.0 * t)) * std::sin(t), 0.0};
                      });
}

// The i-th number of the splitmix64 sequence started at `seed`: a fixed
// integer hash of (seed, i), so any control point can be computed on its own
// and nothing carries random state.
std::uint64_t splitmix64(std::uint64_t seed, std::uint64_t i) {
    std::uint64_t z = seed + (i + 1) * 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Uniform in [-1, 1): the top 53 bits of the hash as a fraction.
double hashed_unit(std::uint64_t seed, std::uint64_t i) {
    return static_cast<double>(splitmix64(seed, i) >> 11) * 0x1.0p-52 - 1.0;
}

// A smooth random lane: one hashed control value every beat, joined by the
// smootherstep keyframe lane, which closes the loop back onto the first
// value. The lane is then normalised to its depth, its furthest excursion.
std::vector<double> drift_lane(std::uint64_t seed, double depth) {
    constexpr int P = 1024, spacing = 64;
    std::vector<Key> keys;
    for (int i = 0; i < P / spacing; ++i) {
        keys.push_back({static_cast<double>(i * spacing), hashed_unit(seed, static_cast<std::uint64_t>(i))});
    }
    std::vector<double> values;
    double largest = 0.0;
    for (int k = 0; k < P; ++k) {
        values.push_back(lane(keys, P, k));
        largest = std::max(largest, std::abs(values.back()));
    }
    for (double& v : values) {
        v *= depth / largest;
    }
    return values;
}

Table lfo_seeded_drift() {
    // Seeds 5 and 6 give two independent lanes. The furthest control point
    // of x is its seventh (pip 384), which its depth puts at +0.787097347851.
    const std::vector<double> x = drift_lane(5, 0.787097347851);
    const std::vector<double> y = drift_lane(6, 0.609781);
    return make_table(
        "lfo_seeded_drift",
        "Two independently seeded smooth random lanes; irregular-looking but exactly periodic and seekable.", 1024, 2,
        [&](int k) { return Offset3{x[static_cast<std::size_t>(k)], y[static_cast<std::size_t>(k)], 0.0}; });
}

Table lfo_pendulum_dwell() {
    return make_table("lfo_pendulum_dwell",
                      "Rounded saturation slows the pendulum near either side; a shallow arc connects the turns.", 512,
                      2, [](int k) {
                          const double t = loop_angle(k, 512);
                          return Offset3{0.78 * std::tanh(2.8 * std::sin(t)) / std::tanh(2.8), 0.22 * std::cos(2.0 * t),
                                     0.0};
                      });
}

Table lfo_reverse_swell() {
    constexpr std::array<Key, 4> x{{{0, 0.0}, {192, -0.24}, {224, 0.24}, {384, 0.0}}};
    constexpr std::array<Key, 7> y{
        {{0, 0.0}, {192, -0.82}, {224, 0.0}, {256, -0.38}, {288, 0.0}, {320, -0.18}, {352, 0.0}}};
    return make_table("lfo_reverse_swell",
                      "A long anticipatory rise, quick softened return, and two diminishing aftershocks.", 512, 2,
                      [&](int k) { return Offset3{lane(x, 512, k), lane(y, 512, k), 0.0}; });
}

// ------------------------------------------------------------- closed paths

Table path_lissajous_2_3() {
    return make_table("path_lissajous_2_3",
                      "Two horizontal cycles cross three vertical cycles in a closed eight-beat Lissajous path.", 512,
                      2, [](int k) {
                          const double t = loop_angle(k, 512);
                          return Offset3{0.78 * std::sin(2.0 * t), 0.68 * std::sin(3.0 * t), 0.0};
                      });
}

// A rose r = 0.82 cos(n u) traced as (r cos u, r sin u).
Offset3 rose(double n, double u) {
    const double r = 0.82 * std::cos(n * u);
    return {r * std::cos(u), r * std::sin(u), 0.0};
}

Table path_rose_4() {
    return make_table("path_rose_4",
                      "A signed radial oscillation draws four petals, passing through the centre between them.", 512,
                      2, [](int k) { return rose(2.0, loop_angle(k, 512)); });
}

Table path_rose_5() {
    // An odd rose closes after half a turn, so u runs over pi.
    return make_table(
        "path_rose_5",
        "Five petals in one complete eight-beat traversal; the odd-petal parameter runs through pi, not two pi.", 512,
        2, [](int k) { return rose(5.0, kPi * k / 512.0); });
}

Table path_bowed_diamond() {
    return make_table("path_bowed_diamond",
                      "An astroid-shaped loop with inward-curved edges and naturally slow corners.", 512, 2,
                      [](int k) {
                          const double t = loop_angle(k, 512);
                          const double c = std::cos(t);
                          const double s = std::sin(t);
                          return Offset3{0.8 * c * c * c, 0.8 * s * s * s, 0.0};
                      });
}

Table path_orbit_dwell() {
    return make_table(
        "path_orbit_dwell",
        "An ellipse whose phase slows to zero speed at the loop boundary and accelerates through the opposite side.",
        512, 2, [](int k) {
            const double t = loop_angle(k, 512);
            const double phi = t - std::sin(t);  // phase speed 1 - cos t: 0 at the seam, 2 halfway
            return Offset3{0.8 * std::cos(phi), 0.6 * std::sin(phi), 0.0};
        });
}

Table path_torus_knot() {
    return make_table("path_torus_knot",
                      "Two turns around the axis and three through the tube. XYZ is retained; the demo projects depth.",
                      1024, 3, [](int k) {
                          const double t = loop_angle(k, 1024);
                          const double r = 0.54 + 0.22 * std::cos(3.0 * t);
                          return Offset3{r * std::cos(2.0 * t), r * std::sin(2.0 * t), 0.36 * std::sin(3.0 * t)};
                      });
}

Table path_woven_3d() {
    return make_table("path_woven_3d",
                      "Independent two-, three-, and five-cycle XYZ oscillations close after sixteen beats.", 1024, 3,
                      [](int k) {
                          const double t = loop_angle(k, 1024);
                          return Offset3{0.72 * std::sin(2.0 * t), 0.64 * std::sin(3.0 * t), 0.48 * std::sin(5.0 * t)};
                      });
}

Table path_crank_slider() {
    // Crank radius 1, rod length 3: the slider sits at cos t + sqrt(9 - sin^2 t),
    // 3 from the crank centre on average.
    return make_table("path_crank_slider",
                      "Horizontal slider-crank travel with rod length three and crank radius one; vertical motion "
                      "follows the crank tip.",
                      256, 2, [](int k) {
                          const double t = loop_angle(k, 256);
                          const double s = std::sin(t);
                          return Offset3{0.78 * (std::cos(t) + std::sqrt(9.0 - s * s) - 3.0), 0.3 * s, 0.0};
                      });
}

// ------------------------------------------------------------ rhythm scores

// `lateral` evenly spaced lateral hits per bar against a vertical hit on
// every beat, over two bars; both lanes alternate direction hit by hit.
Table rhythm_polymeter(const char* name, int lateral) {
    std::vector<Hit> hits;
    for (int j = 0; j < 2 * lateral; ++j) {  // one alternation running through both bars
        hits.push_back({j * 256.0 / lateral, {j % 2 == 0 ? 0.72 : -0.72, 0.0, 0.0}});
    }
    for (int j = 0; j < 8; ++j) {
        hits.push_back({j * 64.0, {0.0, j % 2 == 0 ? 0.68 : -0.68, 0.0}});
    }
    return make_table(name,
                      std::to_string(lateral) +
                          " lateral hits against four vertical hits per four beats; two bars preserve alternating "
                          "directions.",
                      512, 2, [hits](int k) { return score(hits, 12.0, 512, k); });
}

// A Euclidean bar of sixteenths, played twice with the sides swapped. Onsets
// on a beat are accents; the rest are 0.72 of an accent sideways.
Table rhythm_euclid_16(int onsets) {
    std::vector<Hit> hits;
    for (double bar_sign : {1.0, -1.0}) {
        double sign = bar_sign;
        for (int step : euclid_steps(onsets, 16)) {
            const bool accent = step % 4 == 0;
            const double pip = (bar_sign > 0.0 ? 0.0 : 256.0) + step * 16.0;
            hits.push_back({pip, accent ? Offset3{sign * 0.76, -0.3, 0.0} : Offset3{sign * 0.5472, -0.216, 0.0}});
            sign = -sign;
        }
    }
    const std::string k = std::to_string(onsets);
    return make_table("rhythm_euclid_" + k + "_16",
                      k + " evenly distributed onsets on a sixteen-step grid, repeated with alternating sides over "
                          "eight beats.",
                      512, 2, [hits](int pip) { return score(hits, 12.0, 512, pip); });
}

Table rhythm_swung_answer() {
    // Quarter-note calls with a swung (two-to-one) offbeat at 128/3 pips.
    constexpr double swing = 128.0 / 3.0;
    const std::array<Hit, 8> hits{{{0.0, {0.78, -0.3}},
                                   {swing, {0.468, -0.18}},
                                   {64.0, {0.78, -0.3}},
                                   {64.0 + swing, {0.468, -0.18}},
                                   {128.0, {-0.78, -0.3}},
                                   {128.0 + swing, {-0.468, -0.18}},
                                   {192.0, {-0.78, -0.3}},
                                   {192.0 + swing, {-0.468, -0.18}}}};
    return make_table("rhythm_swung_answer",
                      "A two-to-one swung call on the right, answered on the left; four beats and eight peak-aligned "
                      "gestures.",
                      256, 2, [&](int k) { return score(hits, 8.0, 256, k); });
}

// Two bars of grouped eighth notes, the second mirroring the first sideways.
Table rhythm_grouping(const char* name, const char* description, int period, const std::array<Hit, 3>& bar) {
    std::vector<Hit> hits(bar.begin(), bar.end());
    const double second_bar = period / 2.0;
    for (const Hit& h : bar) {
        hits.push_back({second_bar + h.pip, {-h.height.x, h.height.y, 0.0}});
    }
    return make_table(name, description, period, 2, [hits, period](int k) { return score(hits, 16.0, period, k); });
}

Table rhythm_group_332() {
    // 3 + 3 + 2 eighths of 32 pips in a 4/4 bar.
    return rhythm_grouping("rhythm_group_332",
                           "Groups of three, three, and two eighth notes. Six alternating accents make an eight-beat "
                           "loop.",
                           512, {{{0, {0.76, -0.38}}, {96, {-0.5472, -0.2736}}, {192, {0.6536, -0.3268}}}});
}

Table rhythm_group_223() {
    // 2 + 2 + 3 eighths of 32 pips in a 7/8 bar of 224 pips; two bars make
    // seven beats.
    return rhythm_grouping("rhythm_group_223",
                           "Two 7/8 bars grouped as 2+2+3 eighth notes: a seven-quarter-note loop, not forced into "
                           "four beats.",
                           448, {{{0, {0.74, -0.4}}, {64, {-0.518, -0.28}}, {128, {0.629, -0.34}}}});
}

Table rhythm_three_four_five() {
    std::vector<Hit> hits;
    for (int j = 0; j < 3; ++j) {
        hits.push_back({j * 512.0 / 3.0, {0.7, 0.0, 0.0}});
    }
    for (int j = 0; j < 4; ++j) {
        hits.push_back({j * 128.0, {0.0, -0.7, 0.0}});
    }
    for (int j = 0; j < 5; ++j) {
        hits.push_back({j * 512.0 / 5.0, {0.0, 0.0, 0.55}});
    }
    return make_table("rhythm_three_four_five",
                      "Three X, four Y, and five Z gestures share an eight-beat phrase, with exact rational peak "
                      "times.",
                      512, 3, [&](int k) { return score(hits, 24.0, 512, k); });
}

}  // namespace

std::vector<Table> expansion_pack() {
    std::vector<Table> pack;
    pack.push_back(lfo_twin_swell());
    pack.push_back(lfo_pulse_hold());
    pack.push_back(lfo_sweep_ratchet());
    pack.push_back(lfo_triplet_wobble());
    pack.push_back(lfo_breathing_orbit());
    pack.push_back(lfo_seeded_drift());
    pack.push_back(lfo_pendulum_dwell());
    pack.push_back(lfo_reverse_swell());
    pack.push_back(path_lissajous_2_3());
    pack.push_back(path_rose_4());
    pack.push_back(path_rose_5());
    pack.push_back(path_bowed_diamond());
    pack.push_back(path_orbit_dwell());
    pack.push_back(path_torus_knot());
    pack.push_back(path_woven_3d());
    pack.push_back(path_crank_slider());
    pack.push_back(rhythm_polymeter("rhythm_five_four", 5));
    pack.push_back(rhythm_polymeter("rhythm_seven_four", 7));
    pack.push_back(rhythm_euclid_16(7));
    pack.push_back(rhythm_euclid_16(5));
    pack.push_back(rhythm_swung_answer());
    pack.push_back(rhythm_group_332());
    pack.push_back(rhythm_group_223());
    pack.push_back(rhythm_three_four_five());
    return pack;
}

}  // namespace gen
