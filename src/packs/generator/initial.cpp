// gesturon_initial: the hand-built reference shapes. Smooth single-lane
// motions, Euclidean and rudiment gesture scores, easing loops, four
// single-cycle waveforms played one sample per pip, and two groove excerpts
// rendered as played and as quantised.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "table.hpp"
#include "builders.hpp"
#include "scores.hpp"

namespace gen {
namespace {

Offset3 x_only(double x) {
    return {x, 0.0, 0.0};
}

// ---------------------------------------------------------------- lfo lanes

Table lfo_breathe() {
    return make_table("lfo_breathe",
                      "A four-beat, single-axis sine. The quiet reference for judging busier shapes.", 256, 1,
                      [](int k) { return x_only(0.8 * std::sin(loop_angle(k, 256))); });
}

// A single-axis keyframe lane over four beats.
template <std::size_t N>
Table x_lane(const char* name, const char* description, const std::array<Key, N>& keys) {
    return make_table(name, description, 256, 1, [&](int k) { return x_only(lane(keys, 256, k)); });
}

Table lfo_surge() {
    // A three-beat rise, then a one-beat return to the start.
    constexpr std::array<Key, 2> keys{{{0, -0.8}, {192, 0.8}}};
    return x_lane("lfo_surge",
                  "A long rounded sweep and short recovery; an independently authored smooth-reset shape.", keys);
}

Table lfo_soft_gate() {
    // Open in half a beat, hold, close in half a beat, hold closed to the seam.
    constexpr std::array<Key, 4> keys{{{0, -0.8}, {32, 0.8}, {128, 0.8}, {160, -0.8}}};
    return x_lane("lfo_soft_gate",
                  "Short smooth transitions separated by long stationary dwells. No square-wave teleport.", keys);
}

Table lfo_double_pump() {
    // Vertical only: x stays 0.0 although the pattern counts two axes.
    constexpr std::array<Key, 5> keys{{{0, 0.0}, {32, -0.85}, {64, 0.0}, {96, -0.55}, {128, 0.0}}};
    return make_table("lfo_double_pump", "Two unequal pumps and a breathing space within four beats.", 256, 2,
                      [&](int k) { return Offset3{0.0, lane(keys, 256, k), 0.0}; });
}

Table lfo_ratchet() {
    // Four hits a sixteenth apart, each 0.144 smaller in x and 0.09 in y.
    constexpr std::array<Hit, 4> hits{{{0, {0.8, -0.5}},
                                       {16, {0.656, -0.41}},
                                       {32, {0.512, -0.32}},
                                       {48, {0.368, -0.23}}}};
    return make_table("lfo_ratchet", "A four-hit decaying burst, then a rest. Every event is peak-aligned.", 256, 2,
                      [&](int k) { return score(hits, 8.0, 256, k); });
}

Table lfo_glide_stair() {
    constexpr std::array<Key, 7> keys{
        {{0, -0.8}, {32, -0.8}, {64, -0.4}, {96, 0.0}, {128, 0.4}, {160, 0.8}, {192, 0.8}}};
    return x_lane("lfo_glide_stair", "Five rounded steps traverse the field, then a smooth return.", keys);
}

// A triangle of the fractional phase of its argument: -1 at phase 0, +1 at
// phase 0.23, back to -1 at phase 1.
double skewed_triangle(double a) {
    constexpr double top = 0.23;
    const double phi = a - std::floor(a);
    return phi < top ? -1.0 + 2.0 * phi / top : 1.0 - 2.0 * (phi - top) / (1.0 - top);
}

Table lfo_morph() {
    constexpr int P = 512;
    return make_table(
        "lfo_morph", "An eight-beat blend between a sine and skewed triangle; movement changes within the phrase.", P,
        2, [](int k) {
            const double t = loop_angle(k, P);
            const double m = (1.0 - std::cos(t)) / 2.0;  // 0 -> 1 -> 0 over the phrase
            const double x = 0.8 * ((1.0 - m) * std::sin(4.0 * t) + m * skewed_triangle(4.0 * k / P));
            return Offset3{x, 0.2 * std::sin(t), 0.0};
        });
}

Table lfo_flower() {
    return make_table("lfo_flower", "Related rotations form an original three-lobed XY loop over eight beats.", 512, 2,
                      [](int k) {
                          const double t = loop_angle(k, 512);
                          return Offset3{0.56 * std::cos(t) - 0.28 * std::cos(2.0 * t),
                                     0.56 * std::sin(t) + 0.28 * std::sin(2.0 * t), 0.0};
                      });
}

// ------------------------------------------------------------ rhythm scores

// K onsets spread over an N-step grid of four beats, alternating sides.
Table rhythm_euclid(int onsets, int steps) {
    std::vector<double> pips;
    for (int step : euclid_steps(onsets, steps)) {
        pips.push_back(step * 256.0 / steps);
    }
    const std::vector<Hit> hits = alternating(pips, 0.8, -0.3);
    const std::string k = std::to_string(onsets);
    const std::string n = std::to_string(steps);
    return make_table("rhythm_euclid_" + k + "_" + n,
                      k + " evenly distributed onsets on a " + n + "-step grid. Alternating lateral gestures.", 256,
                      2, [&](int pip) { return score(hits, 12.0, 256, pip); });
}

Table rhythm_three_two() {
    // Three lateral gestures against two vertical ones.
    const std::array<Hit, 4> hits{{{0.0, {0.78, 0.78}},
                                   {256.0 / 3.0, {0.78, 0.0}},
                                   {128.0, {0.0, 0.78}},
                                   {512.0 / 3.0, {0.78, 0.0}}}};
    return make_table("rhythm_three_two",
                      "Three horizontal gestures interlock with two vertical gestures in one four-beat cycle.", 256,
                      2, [&](int k) { return score(hits, 24.0, 256, k); });
}

Table rhythm_half_time() {
    // The downbeat and the snare on beat three are broad (w = 16); the late
    // shuffle on the last offbeat is narrower (w = 12).
    constexpr std::array<Hit, 3> broad{{{0, {0.0, 0.85}}, {96, {0.0, 0.4675}}, {128, {0.85, -0.25}}}};
    constexpr std::array<Hit, 1> narrow{{{224, {-0.4, -0.1}}}};
    return make_table("rhythm_half_time",
                      "A strong downbeat, snare-like accent on beat three, and smaller offbeat shuffles.", 256, 2,
                      [&](int k) { return score(broad, 16.0, 256, k) + score(narrow, 12.0, 256, k); });
}

// ---------------------------------------------------------------- rudiments

// Twelve strokes in triplet spacing over four beats, R strokes to +x and L
// strokes to -x; accented strokes (counted from 1) are larger and deeper.
Table rudiment(const char* name, const std::string& sticking, std::initializer_list<int> accents) {
    const std::vector<double> hand = hands(sticking);
    std::vector<Hit> hits;
    for (std::size_t j = 0; j < hand.size(); ++j) {
        const bool accent = std::find(accents.begin(), accents.end(), static_cast<int>(j) + 1) != accents.end();
        hits.push_back({static_cast<double>(j) * 256.0 / 12.0,
                        accent ? Offset3{0.82 * hand[j], -0.42, 0.0} : Offset3{0.492 * hand[j], -0.252, 0.0}});
    }
    return make_table(name,
                      "Visual sticking study " + sticking +
                          "; equal triplet spacing over four beats. This is a movement interpretation, not a complete "
                          "drum-performance notation.",
                      256, 2, [&](int k) { return score(hits, 28.0 / 3.0, 256, k); });
}

// The flam accent: two groups of three triplet strokes, lR L R | rL R L. Each
// group opens with an accent that the other hand's grace stroke leads into.
// The grace dips to its pose three pips before the accent; from there the
// primary stroke drives straight (linearly) into the accent pose and then
// decays like the taps. The taps are the rudiments' unaccented strokes.
Table rudiment_flam_accent() {
    constexpr int P = 256;
    constexpr double w = 28.0 / 3.0;      // half-width of taps and of the accent's decay
    constexpr double grace_lead = 3.0;    // the grace falls this many pips before its accent
    constexpr double grace_attack = 8.0;  // pips from rest down into the grace pose
    constexpr double grace_depth = -0.426092;
    constexpr double grace_lateral = 0.012;  // the grace hand's small sideways lean

    struct Flam {
        double pip;
        double hand;  // the accenting hand; the grace is played by the other
    };
    constexpr std::array<Flam, 2> flams{{{0.0, 1.0}, {128.0, -1.0}}};
    const std::array<Hit, 4> taps{{{128.0 / 3.0, {-0.492, -0.252}},
                                   {256.0 / 3.0, {0.492, -0.252}},
                                   {128.0 + 128.0 / 3.0, {0.492, -0.252}},
                                   {128.0 + 256.0 / 3.0, {-0.492, -0.252}}}};

    auto flam = [&](const Flam& f, double k) {
        const Offset3 grace{-grace_lateral * f.hand, grace_depth, 0.0};
        const Offset3 accent{0.82 * f.hand, -0.42, 0.0};
        const double d = loop_distance(k, f.pip, P);
        if (d >= 0.0) {  // the accent and its decay
            return Offset3{bump(d, 0.0, accent.x, w, P), bump(d, 0.0, accent.y, w, P), 0.0};
        }
        if (d > -grace_lead) {  // the drive from the grace pose into the accent
            const double u = (d + grace_lead) / grace_lead;
            return Offset3{grace.x + (accent.x - grace.x) * u, grace.y + (accent.y - grace.y) * u, 0.0};
        }
        // down from rest into the grace pose
        const double from_grace = d + grace_lead;
        return Offset3{bump(from_grace, 0.0, grace.x, grace_attack, P), bump(from_grace, 0.0, grace.y, grace_attack, P),
                   0.0};
    };
    return make_table("rudiment_flam_accent",
                      "Opposite-hand grace gestures lead accented groups of three; deliberately expanded for visible "
                      "motion.",
                      P, 2, [&](int k) {
                          Offset3 r = score(taps, w, P, k);
                          for (const Flam& f : flams) {
                              r = r + flam(f, k);
                          }
                          return r;
                      });
}

// ------------------------------------------------------------ easing loops

// The published D3 easing curves, t in [0, 1].
double bounce_out(double t) {
    constexpr double b1 = 4.0 / 11.0, b2 = 6.0 / 11.0, b3 = 8.0 / 11.0, b4 = 3.0 / 4.0, b5 = 9.0 / 11.0,
                     b6 = 10.0 / 11.0, b7 = 15.0 / 16.0, b8 = 21.0 / 22.0, b9 = 63.0 / 64.0, b0 = 1.0 / b1 / b1;
    if (t < b1) {
        return b0 * t * t;
    }
    if (t < b3) {
        t -= b2;
        return b0 * t * t + b4;
    }
    if (t < b6) {
        t -= b5;
        return b0 * t * t + b7;
    }
    t -= b8;
    return b0 * t * t + b9;
}

constexpr double kBackOvershoot = 1.70158;

double back_in(double t) {
    return t * t * ((kBackOvershoot + 1.0) * t - kBackOvershoot);
}

double back_out(double t) {
    t -= 1.0;
    return t * t * ((t + 1.0) * kBackOvershoot + t) + 1.0;
}

// Out along the easing curve in two beats, back along a cubic smoothstep in two.
Table ease_loop(const char* name, double (*ease)(double)) {
    return make_table(name, "An attributed D3 easing curve, assembled into a closed outward-and-return loop.", 256, 1,
                      [ease](int k) {
                          if (k < 128) {
                              return x_only(-0.65 + 1.3 * ease(k / 128.0));
                          }
                          const double u = (k - 128) / 128.0;
                          return x_only(0.65 - 1.3 * (3.0 * u * u - 2.0 * u * u * u));
                      });
}

Table ease_elastic() {
    // Three cycles under a sin^2 window with an exponential decay.
    Table t = make_table("ease_elastic",
                         "Original windowed, decaying oscillation; not a copied D3 curve. Peak scaled to .8.", 256, 1,
                         [](int k) {
                             const double u = k / 256.0;
                             const double window = std::sin(kPi * u) * std::sin(kPi * u);
                             return x_only(window * std::exp(-2.0 * u) * std::sin(6.0 * kPi * u));
                         });
    scale(t.rows, 0.8 / peak(t.rows, 0));
    return t;
}

// ----------------------------------------------------- single-cycle waveforms

// One 256-sample cycle played one sample per pip, normalised so that its
// largest magnitude is exactly 0.85. The named waveform files are not part of
// the build; each shape below is drawn in the likeness of the file it names.
Table waveform(const char* name, const char* file, double (*shape)(int k)) {
    Table t = make_table(name, std::string(file) + ": an actual CC0 waveform slowed to a four-beat position loop.",
                         256, 1, [shape](int k) { return x_only(shape(k)); });
    scale(t.rows, 0.85 / peak(t.rows, 0));
    return t;
}

// A sawtooth with rounded corners: the first five harmonics of a rising saw,
// tapered (1 - n/6) so that no ringing survives. It starts at 0 mid-ramp and
// turns over smoothly around the middle of the cycle.
double round_saw(int k) {
    const double t = loop_angle(k, 256);
    double x = 0.0;
    for (int n = 1; n <= 5; ++n) {
        const double sign = n % 2 == 1 ? 1.0 : -1.0;
        x += sign * (1.0 - n / 6.0) * std::sin(n * t) / n;
    }
    return x;
}

// A rise that slows into its top, a quick straight return in eight samples, a
// short dwell at the bottom, and an unsmoothed step of 0.186 back up into the
// rise at the seam. Drawn at its final size: the peak is already 0.85.
double quick_return(int k) {
    constexpr double start = -0.664, top = 0.85, bottom = -0.85;
    constexpr int rise_end = 232, return_end = 240;
    if (k <= rise_end) {
        const double u = static_cast<double>(k) / rise_end;
        return start + (top - start) * (1.0 - (1.0 - u) * (1.0 - u));
    }
    if (k <= return_end) {
        return top + (bottom - top) * (k - rise_end) / (return_end - rise_end);
    }
    return bottom;
}

// Several lobes per cycle: odd harmonics one, three and five, offset in phase.
double multi_lobe(int k) {
    const double t = loop_angle(k, 256);
    return std::sin(t) + 0.55 * std::sin(3.0 * t + 0.4) + 0.35 * std::sin(5.0 * t + 1.1);
}

// Two flat plateaus: a sine driven into soft saturation, tilted slightly by
// its own fundamental.
double plateau(int k) {
    const double t = loop_angle(k, 256);
    return std::tanh(3.5 * std::cos(t)) + 0.12 * std::sin(t);
}

// ------------------------------------------------------------------ grooves

// A two-bar funk drum excerpt as transcribed from a performance: each stroke
// at the pip where it was played (captured to the pip) with its velocity.
// Snare strokes push the point right (+x), kicks left (-x), hi-hat strokes
// dip it (-y); every stroke is a raised-cosine gesture peaking at the stroke.
enum class Drum { kick, snare, hat };

struct Stroke {
    double pip;
    Drum drum;
    double velocity;
};

struct Groove {
    std::string name;     // groove_a: the tables add _played and _grid
    std::string excerpt;  // which excerpt, and where it was cut from the source
    double level;         // the largest |x| of the rendered lanes
    std::vector<Stroke> strokes;
};

constexpr double kDrumHalfWidth = 16.0;  // kick and snare: a sixteenth either side
constexpr double kHatHalfWidth = 8.0;

// The played pip itself, or the nearest sixteenth (16 pips) to it.
double stroke_pip(const Stroke& s, bool quantised) {
    return quantised ? std::round(s.pip / 16.0) * 16.0 : s.pip;
}

Offset3 groove_row(const Groove& g, bool quantised, int k) {
    Offset3 r;
    for (const Stroke& s : g.strokes) {
        const double at = stroke_pip(s, quantised);
        switch (s.drum) {
            case Drum::kick:
                r.x += bump(k, at, -s.velocity, kDrumHalfWidth, 512);
                break;
            case Drum::snare:
                r.x += bump(k, at, s.velocity, kDrumHalfWidth, 512);
                break;
            case Drum::hat:
                r.y += bump(k, at, -s.velocity, kHatHalfWidth, 512);
                break;
        }
    }
    return r;
}

// Both versions are normalised on their own, so each reaches the excerpt's
// level exactly at its strongest moment.
Table render_groove(const Groove& g, bool quantised) {
    const std::string name = g.name + (quantised ? "_grid" : "_played");
    const std::string timing = quantised ? "same hits quantised to sixteenths." : "performed microtiming.";
    Table t = make_table(name, "Two-bar funk excerpt " + g.excerpt + ", " + timing, 512, 2,
                         [&](int k) { return groove_row(g, quantised, k); });
    scale(t.rows, g.level / peak(t.rows, 0));
    return t;
}

// Excerpt A: a laid-back pocket, rendered at the library's usual 0.82.
Groove groove_a() {
    using enum Drum;
    return {"groove_a", "A (4\u201312 source beats)", 0.82,
            {// bar one
             {0, kick, 0.84}, {35, snare, 0.25}, {66, snare, 0.8}, {99, kick, 0.62}, {130, kick, 0.7},
             {147, snare, 0.28}, {193, snare, 0.82}, {211, snare, 0.24}, {222, kick, 0.58},
             {1, hat, 0.45}, {35, hat, 0.28}, {64, hat, 0.4}, {100, hat, 0.28},
             {130, hat, 0.45}, {163, hat, 0.28}, {191, hat, 0.4}, {226, hat, 0.3},
             // bar two
             {257, kick, 0.82}, {290, snare, 0.26}, {322, snare, 0.8}, {339, kick, 0.5}, {371, kick, 0.66},
             {403, snare, 0.3}, {449, snare, 0.84}, {468, snare, 0.26}, {482, kick, 0.6},
             {256, hat, 0.45}, {291, hat, 0.28}, {321, hat, 0.4}, {356, hat, 0.28},
             {386, hat, 0.45}, {418, hat, 0.28}, {448, hat, 0.4}, {483, hat, 0.3}}};
}

// Excerpt B: a busier passage with a snare pickup into bar two, rendered at
// full scale. As played, the kick on the "and" of four comes late and the
// pickup snare early, so they blur into each other and the backbeat on beat
// two (pip 64) is the strongest moment; quantised, the two fall a clean
// sixteenth apart and the pickup (pip 240) stands out.
Groove groove_b() {
    using enum Drum;
    return {"groove_b", "B (36\u201344 source beats)", 1.0,
            {// bar one
             {1, kick, 0.86}, {64, snare, 0.92}, {114, snare, 0.3}, {158, kick, 0.8}, {194, snare, 0.85},
             {227, kick, 0.88}, {238, snare, 0.96},
             {0, hat, 0.5}, {34, hat, 0.3}, {63, hat, 0.45}, {99, hat, 0.3},
             {129, hat, 0.5}, {162, hat, 0.3}, {190, hat, 0.45}, {225, hat, 0.35},
             // bar two
             {258, kick, 0.9}, {301, kick, 0.6}, {321, snare, 0.88}, {350, snare, 0.28}, {371, snare, 0.32},
             {414, kick, 0.78}, {450, snare, 0.9}, {483, snare, 0.3}, {497, kick, 0.55},
             {257, hat, 0.5}, {291, hat, 0.3}, {320, hat, 0.45}, {354, hat, 0.3},
             {383, hat, 0.5}, {418, hat, 0.3}, {448, hat, 0.45}, {483, hat, 0.35}}};
}

}  // namespace

std::vector<Table> initial_pack() {
    std::vector<Table> pack;
    pack.push_back(lfo_breathe());
    pack.push_back(lfo_surge());
    pack.push_back(lfo_soft_gate());
    pack.push_back(lfo_double_pump());
    pack.push_back(lfo_ratchet());
    pack.push_back(lfo_glide_stair());
    pack.push_back(lfo_morph());
    pack.push_back(lfo_flower());
    pack.push_back(rhythm_euclid(3, 8));
    pack.push_back(rhythm_euclid(5, 12));
    pack.push_back(rhythm_three_two());
    pack.push_back(rhythm_half_time());
    pack.push_back(rudiment("rudiment_double_paradiddle", "RLRLRR LRLRLL", {1, 7}));
    pack.push_back(rudiment("rudiment_paradiddle_diddle", "RLRRLL LRLLRR", {1, 7}));
    pack.push_back(rudiment("rudiment_six_stroke", "RLLRRL LRRLLR", {1, 6, 7, 12}));
    pack.push_back(rudiment_flam_accent());
    pack.push_back(ease_loop("ease_rebound", bounce_out));
    pack.push_back(ease_loop("ease_anticipate", back_in));
    pack.push_back(ease_loop("ease_overshoot", back_out));
    pack.push_back(ease_elastic());
    pack.push_back(waveform("akwf_round_saw", "AKWF_R_asym_saw_05_256.h", round_saw));
    pack.push_back(waveform("akwf_quick_return", "AKWF_R_asym_saw_15_256.h", quick_return));
    pack.push_back(waveform("akwf_multi_lobe", "AKWF_0001_256.h", multi_lobe));
    pack.push_back(waveform("akwf_plateau", "AKWF_0010_256.h", plateau));
    for (const Groove& g : {groove_a(), groove_b()}) {
        pack.push_back(render_groove(g, false));
        pack.push_back(render_groove(g, true));
    }
    return pack;
}

}  // namespace gen
