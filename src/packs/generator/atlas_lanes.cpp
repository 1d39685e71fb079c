// Atlas blocks 1 to 3: single-lane control waves, vertical envelopes and
// programmed position sequences, all over eight beats.
#include <cmath>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"

namespace gen::atlas {

std::vector<Table> wave_family() {
    struct Wave {
        const char* name;
        const char* phrase;
        double (*shape)(double t);
    };
    // Each wave is x = s f(t), s making the largest |x| exactly 0.82. The
    // pinched sine and the rounded square peak at exactly 1 (at t = pi/2), so
    // for them s is 0.82 itself.
    static const Wave waves[] = {
        {"wave_pinched", "Pinched sine", [](double t) { return std::pow(std::sin(t), 3); }},
        {"wave_shouldered", "Shouldered sine",
         [](double t) { return 0.69 * std::sin(t) + 0.31 * std::sin(3.0 * t); }},
        {"wave_folded", "Folded sine", [](double t) { return std::sin(2.2 * std::sin(t)); }},
        {"wave_double_fold", "Double-fold wave", [](double t) { return std::sin(3.8 * std::sin(t)); }},
        {"wave_rounded_square", "Rounded square",
         [](double t) { return std::tanh(2.0 * std::sin(t)) / std::tanh(2.0); }},
        {"wave_soft_rectifier", "Soft rectified swell", designed::wave_soft_rectifier},
        {"wave_skew_warp", "Phase-skew sweep", [](double t) { return std::sin(t + 0.7 * std::sin(t)); }},
        {"wave_scoop_warp", "Scooped return", designed::wave_scoop_warp},
        {"wave_shelf_wave", "Shelf and scoop", designed::wave_shelf_wave},
        {"wave_notched", "Notched crest",
         [](double t) { return std::sin(t) - 0.36 * std::sin(3.0 * t) + 0.12 * std::cos(5.0 * t); }},
        {"wave_bottle", "Bottle-neck swell", designed::wave_bottle},
        {"wave_reed", "Reed flutter",
         [](double t) { return 0.85 * std::sin(t) - 0.2 * std::sin(6.0 * t) + 0.2 * std::sin(8.0 * t); }},
        {"wave_unequal_peaks", "Unequal double crest", designed::wave_unequal_peaks},
        {"wave_ripple_return", "Rippled recovery",
         [](double t) { return std::sin(t) + 0.09 * std::sin(5.0 * t) * (1.0 + std::cos(t)); }},
        {"wave_soft_teeth", "Soft triple teeth", designed::wave_soft_teeth},
        {"wave_warped_fold", "Warped wave fold", designed::wave_warped_fold},
    };
    std::vector<Table> family;
    for (const Wave& w : waves) {
        family.push_back(scaled_path(
            w.name, std::string(w.phrase) + "; a continuous shaped control wave, mapped to horizontal displacement.",
            kEightBeats, 1, [&](double t) { return Offset3{w.shape(t), 0.0, 0.0}; }, kPeak, PeakOver::x));
    }
    return family;
}

std::vector<Table> env_family() {
    struct Envelope {
        const char* name;
        const char* phrase;
        std::vector<Key> keys;  // (pip, y); the lane eases back to 0 at the seam
    };
    static const Envelope envelopes[] = {
        {"env_lift_hold_drop", "Lift, hold, settle", {{0, 0}, {64, -0.8}, {192, -0.8}, {256, 0.2}, {320, 0}}},
        {"env_inhale_exhale", "Long inhale, short exhale", {{0, 0}, {320, -0.8}, {384, 0.1}, {448, 0}}},
        {"env_triple_swell", "Three unequal swells",
         {{0, 0}, {64, -0.8}, {128, 0}, {192, -0.5}, {256, 0}, {384, -0.3}}},
        {"env_rising_echo", "Rising echo ladder",
         {{0, 0}, {64, -0.25}, {128, 0}, {192, -0.5}, {256, 0}, {320, -0.8}, {384, 0}}},
        {"env_falling_echo", "Falling echo ladder",
         {{0, 0}, {64, -0.8}, {128, 0}, {192, -0.45}, {256, 0}, {320, -0.15}}},
        {"env_anticipation", "Backward anticipation",
         {{0, 0}, {64, 0.35}, {128, 0}, {192, -0.82}, {256, -0.82}, {384, 0.12}}},
        {"env_plateau_scoop", "Plateau then scoop", {{0, 0}, {64, -0.7}, {256, -0.7}, {320, -0.3}, {384, 0.4}}},
        {"env_hesitant", "Hesitant reach",
         {{0, 0}, {64, -0.3}, {128, -0.2}, {192, -0.5}, {256, -0.4}, {320, -0.8}}},
        {"env_double_hold", "Two-height hold", {{0, 0}, {64, -0.4}, {192, -0.4}, {256, -0.8}, {384, -0.8}}},
        {"env_swell_recoil", "Deep swell and recoil",
         {{0, 0}, {192, -0.8}, {256, 0.5}, {320, -0.2}, {384, 0.08}}},
        {"env_late_release", "Late release", {{0, 0}, {256, -0.8}, {384, -0.8}, {448, 0.25}}},
        {"env_split_attack", "Split attack", {{0, 0}, {32, -0.6}, {64, -0.2}, {128, -0.8}, {320, -0.2}}},
        {"env_suspended", "Suspended answer",
         {{0, 0}, {64, -0.75}, {128, 0}, {256, 0}, {384, -0.55}, {448, -0.55}}},
        {"env_valley_peaks", "Valley between peaks", {{0, 0}, {64, -0.7}, {192, -0.3}, {256, -0.82}, {384, 0.2}}},
        {"env_four_breaths", "Four breathing accents",
         {{0, 0}, {64, -0.7}, {128, 0}, {192, -0.5}, {256, 0}, {320, -0.8}, {384, 0}, {448, -0.3}}},
        {"env_return_stair", "Stepped soft recovery",
         {{0, 0}, {128, -0.8}, {192, -0.8}, {256, -0.5}, {320, -0.5}, {384, -0.2}, {448, -0.2}}},
    };
    std::vector<Table> family;
    for (const Envelope& e : envelopes) {
        // Vertical only: x rests at 0 while the table still counts two axes.
        family.push_back(make_table(e.name, std::string(e.phrase) + " over an eight-beat phrase; smooth, resting joins.",
                                    kEightBeats, 2, [&](int k) {
                                        return Offset3{0.0, lane(e.keys, kEightBeats, k), 0.0};
                                    }));
    }
    return family;
}

std::vector<Table> seq_family() {
    struct Shape {
        const char* name;
        std::vector<double> x;  // one x keyframe per segment
    };
    static const Shape shapes[] = {
        {"up_down", {-0.82, -0.3075, 0.205, 0.82, 0.41, -0.1025}},
        {"pendulum", {0, 0.82, 0, -0.82, 0, 0.41, 0, -0.41}},
        {"octave", {0, 0.82, 0.205, 0.66625, -0.205, -0.82, -0.41, -0.66625}},
        {"unequal", {0, 0.615, -0.205, 0.82, -0.7175, 0.1025}},
        {"question", {-0.615, -0.205, 0.3075, 0.82, 0.615, 0.205}},
        {"answer", {0.615, 0.1025, -0.82, -0.5125, -0.1025, 0.3075}},
        {"ratchet", {0, 0.3075, 0, 0.615, 0, 0.82, 0, -0.3075}},
        {"stairs", {-0.82, -0.41, 0, 0.41, 0.82, 0.82, 0, -0.82}},
    };
    std::vector<Table> family;
    for (const Shape& shape : shapes) {
        const int n = static_cast<int>(shape.x.size());
        for (const bool lilt : {false, true}) {
            // Even timing: n equal segments. Lilt: pairs of equal length, each
            // split 2:1 with the long segment first.
            std::vector<Key> x_keys;
            std::vector<Key> y_keys;
            const double pair = 2.0 * kEightBeats / n;
            for (int i = 0; i < n; ++i) {
                const double pip = lilt ? (i / 2) * pair + (i % 2) * pair * 2.0 / 3.0
                                        : static_cast<double>(kEightBeats) * i / n;
                x_keys.push_back({pip, shape.x[static_cast<std::size_t>(i)]});
                y_keys.push_back({pip, 0.287 * std::sin(kTwoPi * i / n)});
            }
            const std::string timing = lilt ? "lilt" : "even";
            Table t = make_table("seq_" + std::string(shape.name) + "_" + timing,
                                 "A programmed position sequence with " + timing +
                                     " segment durations and softened transitions.",
                                 kEightBeats, 2, [&](int k) {
                                     return Offset3{lane(x_keys, kEightBeats, k), lane(y_keys, kEightBeats, k), 0.0};
                                 });
            // A +-0.82 key on a fractional pip is never sampled exactly, so
            // both lanes are lifted until the largest stored |x| is 0.82.
            scale(t.rows, kPeak / peak(t.rows, 0));
            family.push_back(std::move(t));
        }
    }
    return family;
}

}  // namespace gen::atlas
