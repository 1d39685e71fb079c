// Continuum families 1 to 6: ribbons, shaped contours, harmonic silhouettes,
// splines, vertex tours and scans. Families 7 to 12 are in
// continuum_motions.cpp. y grows upwards, as the gallery draws it; z is depth.
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"
#include "continuum.hpp"
#include "continuum_paths.hpp"

namespace gen::continuum {

namespace paths {

Table peak_on_pips(std::string name, std::string description, int period, int dimensions,
                   const std::function<Offset3(double k)>& path) {
    Table t = make_table(std::move(name), std::move(description), period, dimensions,
                         [&](int k) { return path(static_cast<double>(k)); });
    scale(t.rows, kPeak / peak_any(t.rows));
    return t;
}

Table peak_on_curve(std::string name, std::string description, int period, int dimensions,
                    const std::function<Offset3(double k)>& path, int per_pip, int axis) {
    const double s = kPeak / fine_peak(path, period, per_pip, axis);
    Table t = make_table(std::move(name), std::move(description), period, dimensions,
                         [&](int k) { return s * path(static_cast<double>(k)); });
    const double stored = axis == kAnyAxis ? peak_any(t.rows) : peak(t.rows, axis);
    if (stored < kLowestStoredPeak) {
        std::cerr << "gesturon table generator: " << t.name << ": the stored peak " << stored
                  << " lies too far below the curve's peak of 0.82\n";
        std::exit(1);
    }
    return t;
}

}  // namespace paths

using namespace paths;

namespace {

// sign(c) |c|^e, with the corner at c = 0 rounded off over |c| < 0.06 so the
// point does not leap across the flat edges of a boxy oval.
double signed_power(double c, double e) {
    constexpr double soft = 0.06;
    return c * std::pow(c * c + soft * soft, (e - 1.0) / 2.0);
}

}  // namespace

std::vector<Table> ribbon_family() {
    // The spine is an ellipse bent into a bean, its top pushed out and its
    // bottom in; the point makes A laps of it while weaving B times across a
    // band around it. The band is widest at the upper left and narrowest
    // opposite, and the depth follows the weave, so the band is a strip
    // tilted out of the picture: a slim ribbon is narrow and nearly flat, a
    // deep one wider and tilted steeply.
    struct Kind {
        const char* name;
        double width;  // half-width of the band at its mean
        double tilt;   // depth per unit of sideways offset
    };
    static const Kind kinds[] = {{"slim", 0.09, 1.4}, {"deep", 0.17, 2.6}};
    std::vector<Table> family;
    for (const Kind& kind : kinds) {
        for (const Pair& pair : kPairs) {
            const auto path = [&](double k) {
                const double t = angle(k, kSixteenBeats);
                const double lap = pair.a * t;
                const double weave = std::sin(pair.b * t);
                const Offset3 spine{std::cos(lap), 0.6 * std::sin(lap) - 0.22 * std::cos(2.0 * lap), 0.0};
                const double tx = -std::sin(lap);
                const double ty = 0.6 * std::cos(lap) + 0.44 * std::sin(2.0 * lap);
                const double norm = std::hypot(tx, ty);
                const Offset3 outward{ty / norm, -tx / norm, 0.0};
                const double offset = kind.width * (1.0 + 0.5 * std::cos(lap - 2.3)) * weave;
                const Offset3 lean{0.0, 0.0, kind.tilt * offset + 0.12 * std::sin(lap + 0.5)};
                return spine + offset * outward + lean;
            };
            family.push_back(peak_on_pips("ribbon_" + pair_name(pair) + "_" + kind.name,
                                          "A curved elliptical spine with variable radial width and linked depth "
                                          "deflection.",
                                          kSixteenBeats, 3, path));
        }
    }
    return family;
}

std::vector<Table> contour_shaped_family() {
    // A superellipse x = sp(cos u, ex), y = h sp(sin u, ey) (sp the signed
    // power): exponents below 1 square the oval off, above 1 pinch it towards
    // a diamond or astroid. A ripple of `waves` crests runs along one stretch
    // of the edge only, fading out either side of its centre; then the whole
    // oval is bowed by `bow` (upwards when positive), more at the right than
    // at the left.
    // From 09 the oval tips in depth by `depth`, rippling there too.
    struct Contour {
        double ex, ey;     // signed-power exponents of x and y
        double height;     // y half-extent against x's 1
        int waves;         // ripple crests around the whole loop
        double ripple_at;  // centre of the rippled stretch, as a loop angle
        double ripple;     // ripple depth, a fraction of the radius
        double bow;
        double depth;  // 0 for the flat contours 01 to 08
    };
    static const Contour contours[16] = {
        {0.5, 0.5, 0.75, 18, 0.8, 0.07, 0.20, 0.0},  {1.6, 0.6, 0.7, 24, 2.4, 0.06, -0.25, 0.0},
        {0.7, 1.8, 0.85, 14, 4.0, 0.09, 0.30, 0.0},  {2.2, 2.2, 0.8, 30, 3.9, 0.05, 0.15, 0.0},
        {0.4, 1.0, 0.6, 20, 1.6, 0.08, -0.35, 0.0},  {1.0, 0.45, 0.9, 12, 3.2, 0.10, 0.25, 0.0},
        {1.3, 2.6, 0.65, 26, 2.0, 0.06, -0.18, 0.0}, {0.6, 1.4, 1.0, 16, 4.7, 0.08, 0.40, 0.0},
        {0.55, 0.8, 0.7, 22, 1.2, 0.07, 0.22, 0.45}, {1.8, 0.5, 0.75, 15, 3.6, 0.09, -0.30, 0.55},
        {0.8, 2.0, 0.8, 28, 5.0, 0.05, 0.18, 0.35},  {0.45, 0.45, 0.85, 19, 2.0, 0.08, -0.22, 0.6},
        {2.4, 1.2, 0.7, 13, 0.5, 0.10, 0.35, 0.4},   {1.2, 0.7, 0.95, 25, 4.3, 0.06, -0.4, 0.5},
        {0.65, 2.4, 0.6, 17, 2.8, 0.09, 0.28, 0.65}, {1.5, 1.5, 0.75, 21, 5.8, 0.07, -0.15, 0.3},
    };
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        const Contour& c = contours[i - 1];
        // The loop starts on a corner, where the edge turns slowest.
        const auto path = [&](double k) {
            const double u = angle(k, kSixteenBeats) + kPi / 4.0;
            const double fade = std::pow((1.0 + std::cos(u - c.ripple_at)) / 2.0, 6.0);
            const double radius = 1.0 + c.ripple * fade * std::sin(c.waves * u);
            const double x = radius * signed_power(std::cos(u), c.ex);
            const double y = radius * c.height * signed_power(std::sin(u), c.ey);
            const double bowed = y + c.bow * (x * x - 0.5) * (1.0 + 0.45 * x);
            const double z = c.depth * (0.8 * signed_power(std::sin(u + 0.9), 1.0) + 2.0 * (radius - 1.0));
            return Offset3{x, bowed, z};
        };
        family.push_back(peak_on_curve("contour_shaped_" + two_digits(i),
                                       "Signed-power oval edges with local ripples and an asymmetric bow.",
                                       kSixteenBeats, i <= 8 ? 2 : 3, path));
    }
    return family;
}

std::vector<Table> silhouette_harmonic_family() {
    // Three harmonics m1 < m2 < m3 with weights 1, w2, w3 on x; y takes them
    // in other proportions and phases; z is a small product term. The scale
    // makes the largest |x| 0.82 over 2048 points, twice the table's pips.
    struct Harmonics {
        int m1, m2, m3;
        double w2, w3;
    };
    static const Harmonics harmonics[16] = {
        {1, 2, 3, 0.2, 0.16},   {1, 3, 5, 0.35, 0.12},  {2, 3, 4, 0.3, 0.18},   {2, 5, 7, 0.23, 0.16},
        {1, 4, 7, 0.35, 0.21},  {3, 4, 5, 0.28, 0.14},  {2, 7, 9, 0.19, 0.12},  {3, 5, 8, 0.3, 0.17},
        {1, 2, 5, 0.4, 0.22},   {1, 5, 8, 0.27, 0.24},  {2, 3, 7, 0.34, 0.2},   {3, 7, 10, 0.26, 0.16},
        {2, 4, 9, 0.33, 0.23},  {3, 4, 9, 0.29, 0.25},  {4, 5, 7, 0.25, 0.21},  {4, 7, 11, 0.21, 0.16},
    };
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        const Harmonics& h = harmonics[i - 1];
        const auto path = [&](double k) {
            const double t = angle(k, kSixteenBeats);
            return Offset3{std::cos(h.m1 * t) + h.w2 * std::sin(h.m2 * t + 0.3) + h.w3 * std::cos(h.m3 * t),
                       0.65 * std::sin(h.m1 * t + 0.2) + h.w3 * std::sin(h.m2 * t) - h.w2 * std::cos(h.m3 * t + 0.1),
                       0.12 * std::sin((h.m1 + h.m2) * t) * std::sin(t)};
        };
        family.push_back(peak_on_curve(
            "silhouette_harmonic_" + two_digits(i),
            "Three unequal harmonic components, with cross-axis phases and a small linked depth term.", kSixteenBeats,
            3, path, 2, 0));
    }
    return family;
}

std::vector<Table> spline_family() {
    // Each shape is a closed cubic Hermite path through its controls (on a
    // grid of about +-10), each segment lasting its own number of beats
    // (eight in all): the path hurries along short-timed stretches and
    // lingers on long ones. A corner control is flanked by two more, an
    // eighth of the way along its edges and a fifth of the edges' time away,
    // so the path slows into a tight turn there instead of a wide arc. The
    // last eight lift parts of their outline out of the picture in z.
    struct Control {
        Offset3 at;
        double beats;  // to the next control
        bool corner = false;
    };
    struct Shape {
        const char* name;
        std::vector<Control> controls;  // the first is never a corner
    };
    constexpr bool corner = true;
    static const Shape shapes[16] = {
        {"kite", {{{-2.5, 6.5, 0}, 0.75}, {{0, 10, 0}, 1.5, corner}, {{6, 3, 0}, 2.5, corner},
                  {{0, -10, 0}, 2.25, corner}, {{-5, 3, 0}, 1, corner}}},
        {"hourglass", {{{0, 9, 0}, 1}, {{6, 9, 0}, 1.25, corner}, {{1.5, 0.5, 0}, 1.5}, {{7.5, -9, 0}, 1.25, corner},
                       {{-7, -9, 0}, 1.5, corner}, {{-1, -0.5, 0}, 1}, {{-5, 9, 0}, 0.5, corner}}},
        {"hook", {{{1, 10, 0}, 1}, {{2, 0, 0}, 0.75}, {{1, -7, 0}, 0.75}, {{-3, -8.5, 0}, 0.75},
                  {{-6.5, -4, 0}, 0.5}, {{-5, -1, 0}, 0.75}, {{-3.5, -5, 0}, 0.75}, {{-0.5, -4.5, 0}, 1},
                  {{-1, 2, 0}, 0.75}, {{-0.5, 10, 0}, 1}}},
        {"crown", {{{0, -6, 0}, 0.75}, {{8, -6, 0}, 0.75, corner}, {{9, 7, 0}, 0.75, corner}, {{4, 0, 0}, 0.75},
                   {{0.5, 9.5, 0}, 0.75, corner}, {{-3.5, 0, 0}, 0.75}, {{-8, 5, 0}, 1.5, corner},
                   {{-8.5, -6, 0}, 2, corner}}},
        {"bow", {{{0, 0, 0}, 0.5}, {{7, 6, 0}, 1.25}, {{9.5, -3, 0}, 1.25}, {{0.5, -0.5, 0}, 0.75},
                 {{-7, -5, 0}, 1.75}, {{-7.5, 4.5, 0}, 2.5}}},
        {"crooked_cross", {{{1.5, 1.5, 0}, 0.75}, {{9, 3, 0}, 0.75, corner}, {{2, -1, 0}, 0.5},
                           {{3.5, -9, 0}, 1, corner}, {{-1, -2, 0}, 0.5}, {{-6, -1, 0}, 1.5, corner},
                           {{-1.5, 1, 0}, 1}, {{-2, 9.5, 0}, 2, corner}}},
        {"asymmetric_star", {{{2.2, 3.2, 0}, 0.75}, {{6.7, 2.2, 0}, 0.5, corner}, {{3.4, -1.1, 0}, 1},
                             {{5.3, -7.3, 0}, 0.75, corner}, {{0, -3.5, 0}, 1}, {{-3.5, -4.9, 0}, 0.75, corner},
                             {{-3.4, -1.1, 0}, 1}, {{-8.6, 2.8, 0}, 1, corner}, {{-2.1, 2.9, 0}, 0.75},
                             {{0, 10, 0}, 0.5, corner}}},
        {"scoop", {{{9.5, 5, 0}, 0.5}, {{3, 1.5, 0}, 0.75}, {{-1.5, -4.5, 0}, 1.25}, {{-7.5, -4, 0}, 1.25},
                   {{-9, 1.5, 0}, 1}, {{-5, 4, 0}, 1.25}, {{0, 3, 0}, 1.5}, {{9, 6.5, 0}, 0.5}}},
        {"rising_kite", {{{-3, 7, 4}, 0.75}, {{1, 10, 7}, 1.25, corner}, {{7, 0, 1}, 2.5, corner},
                         {{-1, -10, -7}, 2.5, corner}, {{-5, 3, 1}, 1, corner}}},
        {"twisted_bow", {{{0, 0, 0}, 0.75}, {{8, 5, 6}, 1}, {{8, -5, 2}, 1.5}, {{0, 0, 0}, 0.5},
                         {{-8.5, -4, -7}, 2.25}, {{-7.5, 6, -2}, 2}}},
        {"cup", {{{0, 7, 0}, 0.75}, {{6, 7, -2}, 0.5, corner}, {{10, 5.5, -2}, 0.75}, {{9.5, 0.5, -2}, 0.75},
                 {{5, 0, -2}, 0.75}, {{3.5, -6, 0}, 1, corner}, {{-3.5, -6, 0}, 1.5, corner},
                 {{-6, 7, 2}, 2, corner}}},
        {"bridge", {{{0, 1, 0}, 1}, {{10, 1, 0}, 0.75, corner}, {{8.5, -7, 0}, 1, corner}, {{4.5, -3, 2}, 1},
                    {{0, -2, 3}, 1}, {{-4.5, -3, 2}, 1.5}, {{-8.5, -7, 0}, 0.75, corner},
                    {{-10, 1, 0}, 1, corner}}},
        {"double_bay", {{{0, 8, 2}, 1.25}, {{-9, 2, 1}, 1.25}, {{-1, -8, 0}, 1.25}, {{6, -6, 0}, 0.75, corner},
                        {{3, -2.5, -5}, 0.75}, {{8.5, 0.5, 0}, 0.75, corner}, {{4, 3.5, -5}, 0.75},
                        {{7, 6.5, 1}, 1.25, corner}}},
        {"slanted_loop", {{{-9, -8, -4}, 1.5}, {{3, 0, 0}, 1}, {{7, 7, 4}, 0.75}, {{3.5, 9, 5}, 0.75},
                          {{0.5, 5, 3}, 1}, {{2, -3, 0}, 1}, {{8, -6, -2}, 1}, {{0, -9, -5}, 1}}},
        {"fork", {{{1, -10, 0}, 1.25}, {{1, -1, 0}, 0.5}, {{4, 1, 2}, 0.5}, {{4.5, 9, 6}, 0.5},
                  {{2.5, 3, 2}, 0.5}, {{0.5, 9.5, 6}, 0.5}, {{-1.5, 3, 2}, 0.5}, {{-4, 8.5, 6}, 0.5},
                  {{-4, 1, 2}, 0.5}, {{-1, -1, 0}, 1}, {{-1, -10, 0}, 1.75}}},
        {"folded_crown", {{{0, -6, 0}, 0.75}, {{8.5, -6, 0}, 1, corner}, {{9, 6, 4}, 0.75, corner},
                          {{4.5, 1, 0}, 0.5}, {{2, 8, -4}, 0.75, corner}, {{-0.5, 0, 0}, 0.5},
                          {{-3, 9, 4}, 0.75, corner}, {{-5.5, 1, 0}, 0.75}, {{-9, 7, -4}, 1.5, corner},
                          {{-8.5, -6, 0}, 0.75, corner}}},
    };
    std::vector<Table> family;
    for (int i = 0; i < 16; ++i) {
        const Shape& shape = shapes[i];
        const std::vector<Control>& c = shape.controls;
        const std::size_t n = c.size();
        std::vector<double> starts;  // in pips
        double beat = 0.0;
        for (const Control& control : c) {
            starts.push_back(beat * 64.0);
            beat += control.beats;
        }
        if (beat != 8.0 || c.front().corner) {
            std::cerr << "gesturon table generator: spline_" << shape.name
                      << " must last eight beats and start off a corner\n";
            std::exit(1);
        }
        std::vector<Pose> controls;
        for (std::size_t j = 0; j < n; ++j) {
            if (!c[j].corner) {
                controls.push_back({starts[j], c[j].at});
                continue;
            }
            const Control& before = c[j - 1];
            const Control& after = c[(j + 1) % n];
            controls.push_back({starts[j] - 0.2 * 64.0 * before.beats, c[j].at + 0.125 * (before.at - c[j].at)});
            controls.push_back({starts[j], c[j].at});
            controls.push_back({starts[j] + 0.2 * 64.0 * c[j].beats, c[j].at + 0.125 * (after.at - c[j].at)});
        }
        family.push_back(peak_on_curve(std::string("spline_") + shape.name,
                                       "Periodic cubic tangents connect asymmetrical controls with unequal segment "
                                       "times.",
                                       kEightBeats, i < 8 ? 2 : 3,
                                       [&](double k) { return hermite_loop(controls, kEightBeats, k); }));
    }
    return family;
}

std::vector<Table> tour_family() {
    // The tour N_S visits the N vertices of a star polygon in steps of S,
    // vertex v sitting on a lopsided oval at angle 90 + 360 v / N degrees. At
    // each it rests, long and short in turn, then eases to the next along an
    // edge bowed to the left by a tenth of its length, arriving and leaving
    // at rest; the rests take 30% of the loop. The last eight lie on a tilted
    // plane, so the corners also step in depth.
    static const Pair tours[16] = {{5, 2},  {7, 2},  {7, 3},  {8, 3},  {9, 2},  {9, 4},  {10, 3}, {11, 2},
                                   {11, 3}, {11, 4}, {12, 5}, {13, 2}, {13, 3}, {13, 4}, {13, 5}, {14, 3}};
    struct Stop {
        double arrive, leave;  // pips
        Offset3 at;
    };
    std::vector<Table> family;
    for (int i = 0; i < 16; ++i) {
        const int n = tours[i].a;
        const int step = tours[i].b;
        const bool tilted = i >= 8;
        const int longs = (n + 1) / 2;
        const int shorts = n / 2;
        const double short_rest = 0.3 * kSixteenBeats / (2.0 * longs + shorts);
        const double travel = 0.7 * kSixteenBeats / n;
        std::vector<Stop> stops;
        double pip = 0.0;
        for (int j = 0; j < n; ++j) {
            const double a = kPi / 2.0 + kTwoPi * ((j * step) % n) / n;
            const double r = 1.0 + 0.14 * std::cos(2.0 * a + 0.6) + 0.08 * std::sin(3.0 * a);
            const double x = r * std::cos(a);
            const double y = 0.8 * r * std::sin(a);
            const double rest = j % 2 == 0 ? 2.0 * short_rest : short_rest;
            stops.push_back({pip, pip + rest, {x, y, tilted ? 0.45 * x - 0.3 * y : 0.0}});
            pip += rest + travel;
        }
        const auto path = [&](double k) {
            std::size_t j = 0;
            while (j + 1 < stops.size() && stops[j + 1].arrive <= k) {
                ++j;
            }
            const Stop& from = stops[j];
            if (k <= from.leave) {
                return from.at;
            }
            const Offset3& to = stops[(j + 1) % stops.size()].at;
            const double s = smootherstep((k - from.leave) / travel);
            const Offset3 edge = to - from.at;
            const Offset3 left{-edge.y, edge.x, 0.0};
            return from.at + s * edge + 0.1 * std::sin(kPi * s) * left;
        };
        family.push_back(peak_on_pips("tour_" + pair_name(tours[i]),
                                      "A noncircular vertex tour with eased corners and alternating dwell lengths.",
                                      kSixteenBeats, tilted ? 3 : 2, path));
    }
    return family;
}

std::vector<Table> scan_family() {
    // R rows of a serpentine from y = -0.7 up to 0.7, each crossed from side
    // to side, then an outer return over the top right corner, along the top,
    // down the left edge and back to the start; 2R + 3 evenly spaced keys
    // joined by smootherstep segments, times 0.82.
    enum class Kind { flat, bowed, tilted, depth };
    static const Named<Kind> kinds[] = {
        {Kind::flat, "flat"}, {Kind::bowed, "bowed"}, {Kind::tilted, "tilted"}, {Kind::depth, "depth"}};
    const auto place = [](Kind kind, double x, double y) {
        switch (kind) {
            case Kind::flat:
                break;
            case Kind::tilted:
                return Offset3{x + 0.3 * y, y - 0.2 * x, 0.0};
            case Kind::bowed: {
                const double bent = x + 0.2 * std::cos(kPi * y);
                return Offset3{bent, y + 0.1 * std::sin(2.0 * bent), 0.0};
            }
            case Kind::depth:
                return Offset3{x, y, 0.38 * std::cos(kPi * y / 1.4 + 4.0 * x / 7.0)};
        }
        return Offset3{x, y, 0.0};
    };
    std::vector<Table> family;
    for (int rows = 3; rows <= 6; ++rows) {
        for (const Named<Kind>& k : kinds) {
            const int count = 2 * rows + 3;
            const auto at = [&](int j) { return static_cast<double>(kSixteenBeats) * j / count; };
            std::vector<Pose> keys;
            for (int r = 0; r < rows; ++r) {
                const double y = -0.7 + 1.4 * r / (rows - 1);
                const double first = r % 2 == 0 ? -0.7 : 0.7;
                keys.push_back({at(2 * r), place(k.kind, first, y)});
                keys.push_back({at(2 * r + 1), place(k.kind, -first, y)});
            }
            keys.push_back({at(2 * rows), {0.98, 1.0, k.kind == Kind::depth ? 0.1 : 0.0}});
            keys.push_back({at(2 * rows + 1), {-1.0, 1.0, 0.0}});
            keys.push_back({at(2 * rows + 2), {-1.0, -0.95, 0.0}});
            family.push_back(make_table(std::string("scan_") + k.name + "_" + std::to_string(rows),
                                        "An eased serpentine scan and an explicit outer return to the starting point.",
                                        kSixteenBeats, k.kind == Kind::depth ? 3 : 2, [&](int pip) {
                                            return kPeak * pose_path(keys, kSixteenBeats, pip);
                                        }));
        }
    }
    return family;
}

}  // namespace gen::continuum
