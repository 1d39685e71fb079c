#include "invariants.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string_view>

#include "table.hpp"

namespace gen {
namespace {

constexpr std::array<int, 16> kPeriods{160, 224, 256, 288, 320, 352, 384, 416,
                                       448, 480, 512, 544, 608, 640, 768, 1024};

constexpr std::array<std::string_view, 15> kProcedural{
    "bounce", "sway", "circle", "figure_eight", "step_touch", "box_step", "helix", "morvel_background",
    "single_stroke_roll", "double_stroke_roll", "multiple_bounce_roll", "single_paradiddle", "flam",
    "drag", "five_stroke_roll"};

// The only tables allowed to reach magnitude 1.0.
bool may_reach_one(const std::string& name) {
    return name == "groove_b_played" || name == "groove_b_grid";
}

bool valid_name(const std::string& n) {
    if (n.size() < 8 || n.size() > 32 || n[0] < 'a' || n[0] > 'z') {
        return false;
    }
    return std::all_of(n.begin(), n.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

double distance(const Offset3& a, const Offset3& b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    const double dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

bool positive_zero(double v) {
    return v == 0.0 && !std::signbit(v);
}

}  // namespace

std::string check_table(const Table& t) {
    if (!valid_name(t.name)) {
        return "name is not 8..32 bytes of a-z, 0-9 and _ starting with a letter";
    }
    if (t.description.size() < 43 || t.description.size() > 224) {
        return "description is not 43..224 bytes";
    }
    // 1. The period is one of the whole-half-beat periods.
    if (std::find(kPeriods.begin(), kPeriods.end(), t.period) == kPeriods.end()) {
        return "invariant 1: period " + std::to_string(t.period) + " is not an allowed period";
    }
    if (t.rows.size() != static_cast<std::size_t>(t.period)) {
        return "invariant 1: the table does not have one row per pip of its period";
    }
    if (t.dimensions < 1 || t.dimensions > 3) {
        return "invariant 2: dimensions must be 1, 2 or 3";
    }
    bool moves[3] = {false, false, false};
    for (std::size_t k = 0; k < t.rows.size(); ++k) {
        const double v[3] = {t.rows[k].x, t.rows[k].y, t.rows[k].z};
        for (int a = 0; a < 3; ++a) {
            const std::string where = " (row " + std::to_string(k) + ", axis " + "xyz"[a] + ")";
            // 3. Finite and within [-1, 1]; only two tables reach 1.0.
            if (!std::isfinite(v[a]) || std::abs(v[a]) > 1.0) {
                return "invariant 3: value outside [-1, 1] or not finite" + where;
            }
            if (std::abs(v[a]) == 1.0 && !may_reach_one(t.name)) {
                return "invariant 3: magnitude 1.0 is reserved for the groove_b tables" + where;
            }
            // 2. Unused axes are +0.0, and -0.0 never occurs.
            if (v[a] == 0.0 && !positive_zero(v[a])) {
                return "invariant 2: negative zero" + where;
            }
            if (a >= t.dimensions && !positive_zero(v[a])) {
                return "invariant 2: an axis beyond the dimensions is not 0.0" + where;
            }
            // 4. Twelve decimals.
            if (quantise(v[a]) != v[a]) {
                return "invariant 4: value has more than twelve decimals" + where;
            }
            moves[a] = moves[a] || v[a] != 0.0;
        }
    }
    // The dimension count is the number of leading axes in use: the last one
    // must move (x may rest in the vertical-only two-axis tables).
    if (!moves[t.dimensions - 1]) {
        return "invariant 2: the last counted axis never moves, so dimensions is too large";
    }
    // 5. Closed loop: the seam step is no larger than the largest inner step.
    double largest = 0.0;
    for (std::size_t k = 1; k < t.rows.size(); ++k) {
        largest = std::max(largest, distance(t.rows[k - 1], t.rows[k]));
    }
    if (distance(t.rows.back(), t.rows.front()) > largest) {
        return "invariant 5: the step from the last row back to row 0 is larger than any other step";
    }
    return {};
}

std::string check_names(const std::vector<const Table*>& all) {
    std::set<std::string_view> seen;
    for (const Table* t : all) {
        if (std::find(kProcedural.begin(), kProcedural.end(), t->name) != kProcedural.end()) {
            return t->name + ": invariant 6: the name is a procedural pattern's name";
        }
        if (!seen.insert(t->name).second) {
            return t->name + ": invariant 6: the name is used twice";
        }
    }
    return {};
}

}  // namespace gen
