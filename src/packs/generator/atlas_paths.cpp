// Atlas blocks 5 to 10: closed trigonometric paths. Weaves, roses and
// scallops, spirographs, torus knots and coprime lanes take sixteen beats for
// one traversal; the harmonic orbits and the mechanism studies take eight.
#include <cmath>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"

namespace gen::atlas {

std::vector<Table> orbit_harmonic_family() {
    // An ellipse with a horizontal ripple of m cycles and a vertical one of
    // m + 1, of depth r; patterns 09 to 16 repeat the ripple counts of 01 to
    // 08 with deeper ripples turned by a growing phase.
    static const double depth[16] = {0.18, 0.22, 0.25, 0.28, 0.25, 0.20, 0.15, 0.13,
                                     0.34, 0.31, 0.29, 0.26, 0.23, 0.20, 0.17, 0.14};
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        const double m = 2 + (i - 1) % 8;
        const double phase = i <= 8 ? 0.0 : 0.5 + 0.3 * (i - 9);
        const double r = depth[i - 1];
        family.push_back(scaled_path(
            "orbit_harmonic_" + two_digits(i),
            "An ellipse combined with unequal horizontal and vertical harmonic ripples.", kEightBeats, 2,
            [&](double t) {
                return Offset3{std::cos(t) + r * std::cos(m * t + phase),
                           0.72 * std::sin(t) - r * std::sin((m + 1.0) * t - phase), 0.0};
            },
            kPeak, PeakOver::x));
    }
    return family;
}

std::vector<Table> weave_family() {
    static const int cycles[16][2] = {{1, 3}, {1, 4}, {1, 5}, {2, 5}, {2, 7}, {3, 4}, {3, 5}, {3, 7},
                                      {3, 8}, {4, 5}, {4, 7}, {4, 9}, {5, 6}, {5, 7}, {5, 8}, {5, 9}};
    std::vector<Table> family;
    for (const auto& [a, b] : cycles) {
        const std::string sa = std::to_string(a);
        const std::string sb = std::to_string(b);
        family.push_back(scaled_path(
            "weave_" + sa + "_" + sb,
            sa + " horizontal and " + sb + " vertical cycles; a phase-offset, closed 16-beat traversal.",
            kSixteenBeats, 2,
            [&](double t) { return Offset3{std::sin(a * t + 0.37), 0.8125 * std::sin(b * t), 0.0}; }, kPeak,
            PeakOver::x));
    }
    return family;
}

std::vector<Table> polar_family() {
    std::vector<Table> family;
    // Signed-radius roses. An odd rose closes after half a turn, so its angle
    // runs u = pi k / P; an even one runs a full turn with r = cos((N/2) u).
    for (const int n : {3, 6, 7, 8, 9, 10, 11, 12}) {
        const bool odd = n % 2 == 1;
        Table t = make_table("polar_rose_" + std::to_string(n),
                             "A complete signed-radius rose traversal; odd-petal roses use a half-turn parameter.",
                             kSixteenBeats, 2, [&](int k) {
                                 const double u = odd ? kPi * k / kSixteenBeats : loop_angle(k, kSixteenBeats);
                                 const double r = kPeak * std::cos((odd ? n : n / 2) * u);
                                 return Offset3{r * std::cos(u), r * std::sin(u), 0.0};
                             });
        family.push_back(std::move(t));
    }
    for (int lobes = 2; lobes <= 9; ++lobes) {
        family.push_back(scaled_path(
            "polar_scallop_" + std::to_string(lobes),
            "A positive-radius scalloped loop; no centre crossings, with an asymmetrically bent lobe.", kSixteenBeats,
            2, [&](double t) { return designed::polar_scallop(lobes, t); }));
    }
    return family;
}

std::vector<Table> spiro_family() {
    struct Pair {
        int fixed;     // R, the fixed circle's radius
        int rolling;   // q, the rolling circle's radius
        double pen;    // d, the pen's distance from the rolling centre (< q)
    };
    static const Pair pairs[] = {{3, 1, 0.45}, {4, 1, 0.6}, {5, 2, 1.5}, {5, 1, 0.55},
                                 {7, 2, 1.3},  {7, 3, 2.1}, {8, 3, 1.8}, {9, 4, 3.2}};
    std::vector<Table> family;
    for (const bool inside : {true, false}) {
        for (const Pair& p : pairs) {
            const double q = p.rolling;
            const double d = p.pen;
            // The rolling centre makes q turns over the period; c is the
            // distance between the two centres.
            const double c = inside ? p.fixed - q : p.fixed + q;
            const double pen_x = inside ? d : -d;
            const auto path = [&](double t) {
                return Offset3{c * std::cos(q * t) + pen_x * std::cos(c * t), c * std::sin(q * t) - d * std::sin(c * t),
                           0.0};
            };
            const std::string where = inside ? "inside" : "outside";
            family.push_back(scaled_path("spiro_" + where + "_" + std::to_string(p.fixed) + "_" +
                                             std::to_string(p.rolling),
                                         "A closed " + where +
                                             "-rolling circle trace, with pen radius smaller than the rolling radius.",
                                         kSixteenBeats, 2, path, kPeak, PeakOver::x));
        }
    }
    return family;
}

std::vector<Table> space_family() {
    std::vector<Table> family;
    // Torus knots: p turns around the axis while q turns through the tube;
    // the distance from the axis runs from 0.82 * 1.9 / 3.9 to 0.82.
    static const int knots[8][2] = {{2, 5}, {2, 7}, {3, 4}, {3, 5}, {3, 7}, {4, 5}, {4, 7}, {5, 6}};
    for (const auto& [p, q] : knots) {
        family.push_back(make_table(
            "space_torus_" + std::to_string(p) + "_" + std::to_string(q),
            "A genuine XYZ closed torus-knot trajectory. The demo uses an oblique projection.", kSixteenBeats, 3,
            [&](int k) {
                const double t = loop_angle(k, kSixteenBeats);
                const double ring = 2.9 + std::cos(q * t);
                return Offset3{kPeak * ring * std::cos(p * t) / 3.9, kPeak * ring * std::sin(p * t) / 3.9,
                           kPeak * 2.1 * std::sin(q * t) / 3.9};
            }));
    }
    static const int lanes[8][3] = {{1, 2, 3}, {1, 3, 4}, {2, 3, 4}, {2, 3, 7},
                                    {2, 5, 7}, {3, 4, 5}, {3, 5, 7}, {4, 5, 7}};
    for (const auto& [a, b, c] : lanes) {
        family.push_back(make_table(
            "space_weave_" + std::to_string(a) + "_" + std::to_string(b) + "_" + std::to_string(c),
            "Three coprime-frequency coordinate lanes with distinct phase offsets.", kSixteenBeats, 3, [&](int k) {
                const double t = loop_angle(k, kSixteenBeats);
                return Offset3{0.82 * std::sin(a * t), 0.656 * std::sin(b * t + 0.4), 0.574 * std::cos(c * t + 0.7)};
            }));
    }
    return family;
}

std::vector<Table> mech_family() {
    struct Mechanism {
        const char* name;
        const char* phrase;
        int dimensions;
        Offset3 (*path)(double t);  // unscaled
    };
    // Every mechanism is its unscaled path times 0.82 over its largest |value|
    // on any axis. The slider-cranks (crank radius 1, rod length L) peak at
    // exactly 1 at t = 0, so their factor is 0.82 itself: x = 0.82 (cos t +
    // sqrt(L^2 - sin^2 t) - L), y = 0.246 sin t (short rod) or 0.205 sin 2t.
    static const Mechanism mechanisms[] = {
        {"mech_piston_short", "Short-rod piston", 2,
         [](double t) {
             const double s = std::sin(t);
             return Offset3{std::cos(t) + std::sqrt(4.0 - s * s) - 2.0, 0.3 * s, 0.0};
         }},
        {"mech_piston_long", "Long-rod piston", 2,
         [](double t) {
             const double s = std::sin(t);
             return Offset3{std::cos(t) + std::sqrt(16.0 - s * s) - 4.0, 0.25 * std::sin(2.0 * t), 0.0};
         }},
        // Crank radius 1, rod length 3, the slide line 0.6 off the crank axis.
        {"mech_offset_crank", "Offset crank", 2,
         [](double t) {
             const double h = std::sin(t) + 0.6;
             return Offset3{std::cos(t) + std::sqrt(9.0 - h * h) - 2.8, 0.35 * std::sin(t), 0.0};
         }},
        {"mech_scotch_yoke", "Yoke with rocking linkage", 2,
         [](double t) { return Offset3{std::cos(t), 0.35 * std::sin(t) + 0.18 * std::sin(3.0 * t), 0.0}; }},
        {"mech_whitworth", "Quick-return linkage study", 2, designed::mech_whitworth},
        {"mech_elliptic_cam", "Elliptic cam follower", 2, designed::mech_elliptic_cam},
        {"mech_two_lobe_cam", "Two-lobe cam follower", 2,
         [](double t) { return Offset3{6.0 * std::sin(t), 4.0 * std::cos(t) + 11.0 * std::cos(2.0 * t), 0.0}; }},
        {"mech_three_lobe_cam", "Three-lobe cam follower", 2,
         [](double t) { return Offset3{1.25 * std::sin(t), std::cos(t) + 5.0 * std::cos(3.0 * t), 0.0}; }},
        {"mech_escapement", "Soft escapement study", 2, designed::mech_escapement},
        {"mech_paddle", "Paddle-wheel tip", 2,
         [](double t) {
             return Offset3{std::cos(t) + 0.23 * std::cos(4.0 * t), std::sin(t) + 0.23 * std::sin(4.0 * t), 0.0};
         }},
        {"mech_wobble_plate", "Wobble-plate trace", 3,
         [](double t) { return Offset3{std::cos(t), 0.35 * std::sin(t), 0.5 * std::sin(2.0 * t + 0.3)}; }},
        {"mech_rocking_beam", "Rocking beam", 2, designed::mech_rocking_beam},
        {"mech_coupled_cranks", "Coupled cranks", 2,
         [](double t) {
             return Offset3{std::cos(t) + 0.35 * std::cos(3.0 * t + 0.6), std::sin(t) - 0.35 * std::sin(3.0 * t + 0.6),
                        0.0};
         }},
        {"mech_crank_rocker", "Crank and rocker study", 3, designed::mech_crank_rocker},
        {"mech_piston_balance", "Piston and balance mass", 3,
         [](double t) { return Offset3{std::cos(t), 0.5 * std::sin(2.0 * t), 0.25 * std::sin(t)}; }},
        {"mech_cam_return", "Cam rise and return", 2, designed::mech_cam_return},
    };
    std::vector<Table> family;
    for (const Mechanism& m : mechanisms) {
        family.push_back(scaled_path(
            m.name, std::string(m.phrase) + "; an original kinematic-style position study, not an engineering simulation.",
            kEightBeats, m.dimensions, m.path));
    }
    return family;
}

}  // namespace gen::atlas
