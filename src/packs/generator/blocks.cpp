#include "blocks.hpp"

#include <algorithm>
#include <cmath>

namespace gen {

Table make_table(std::string name, std::string description, int period, int dimensions,
                 const std::function<Row(int k)>& f) {
    Table t{std::move(name), std::move(description), period, dimensions, {}};
    t.rows.reserve(static_cast<std::size_t>(period));
    for (int k = 0; k < period; ++k) {
        t.rows.push_back(f(k));
    }
    return t;
}

double loop_angle(int k, int period) {
    return kTwoPi * static_cast<double>(k) / static_cast<double>(period);
}

double smootherstep(double u) {
    return u * u * u * (u * (u * 6.0 - 15.0) + 10.0);
}

namespace {

// Finds the segment [from, to) of a key list holding pip k; the segment after
// the last key ends at the seam, where the path is back at the first key.
template <typename K, typename Mix>
auto ease_through(std::span<const K> keys, int period, double k, Mix mix) {
    std::size_t i = 0;
    while (i + 1 < keys.size() && keys[i + 1].pip <= k) {
        ++i;
    }
    const K& from = keys[i];
    const bool last = i + 1 == keys.size();
    const double end = last ? static_cast<double>(period) : keys[i + 1].pip;
    const auto& target = last ? keys.front().value : keys[i + 1].value;
    const double u = (k - from.pip) / (end - from.pip);
    return mix(from.value, target, smootherstep(u));
}

}  // namespace

double lane(std::span<const Key> keys, int period, double k) {
    return ease_through(keys, period, k, [](double a, double b, double s) { return a + (b - a) * s; });
}

Row pose_path(std::span<const Pose> poses, int period, double k) {
    return ease_through(poses, period, k, [](const Row& a, const Row& b, double s) {
        return Row{a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
    });
}

Row hermite_loop(std::span<const Pose> controls, int period, double k) {
    const std::size_t n = controls.size();
    const double p = static_cast<double>(period);
    // Control i with its time unwrapped around the loop, for i in [-1, n + 1].
    const auto at = [&](long i) {
        const long wrapped = ((i % static_cast<long>(n)) + static_cast<long>(n)) % static_cast<long>(n);
        const double laps = static_cast<double>((i - wrapped) / static_cast<long>(n));
        return Pose{controls[static_cast<std::size_t>(wrapped)].pip + laps * p,
                    controls[static_cast<std::size_t>(wrapped)].value};
    };
    const auto tangent = [&](long i) {
        const Pose before = at(i - 1);
        const Pose after = at(i + 1);
        const double span = after.pip - before.pip;
        return Row{(after.value.x - before.value.x) / span, (after.value.y - before.value.y) / span,
                   (after.value.z - before.value.z) / span};
    };
    long i = 0;
    while (i + 1 < static_cast<long>(n) && controls[static_cast<std::size_t>(i + 1)].pip <= k) {
        ++i;
    }
    const Pose from = at(i);
    const Pose to = at(i + 1);
    const double h = to.pip - from.pip;
    const double u = (k - from.pip) / h;
    const Row m0 = tangent(i);
    const Row m1 = tangent(i + 1);
    const double u2 = u * u;
    const double u3 = u2 * u;
    const double h00 = 2.0 * u3 - 3.0 * u2 + 1.0;
    const double h10 = (u3 - 2.0 * u2 + u) * h;
    const double h01 = -2.0 * u3 + 3.0 * u2;
    const double h11 = (u3 - u2) * h;
    const auto mix = [&](double a, double ta, double b, double tb) { return h00 * a + h10 * ta + h01 * b + h11 * tb; };
    return {mix(from.value.x, m0.x, to.value.x, m1.x), mix(from.value.y, m0.y, to.value.y, m1.y),
            mix(from.value.z, m0.z, to.value.z, m1.z)};
}

double loop_distance(double k, double t0, int period) {
    const double p = static_cast<double>(period);
    double d = std::fmod(k - t0, p);
    if (d >= p / 2.0) {
        d -= p;
    } else if (d < -p / 2.0) {
        d += p;
    }
    return d;
}

double bump(double k, double t0, double h, double w, int period) {
    const double d = loop_distance(k, t0, period);
    if (std::abs(d) >= w) {
        return 0.0;
    }
    const double c = std::cos(kPi * d / (2.0 * w));
    return h * c * c;
}

Row bump(double k, double t0, const Row& height, double w, int period) {
    return {bump(k, t0, height.x, w, period), bump(k, t0, height.y, w, period), bump(k, t0, height.z, w, period)};
}

double envelope(double k, double t0, double h, double attack, double decay, int period) {
    const double d = loop_distance(k, t0, period);
    if (d <= -attack || d >= decay) {
        return 0.0;
    }
    const double c = std::cos(kPi * d / (2.0 * (d < 0.0 ? attack : decay)));
    return h * c * c;
}

double smooth_bump(double k, double t0, double h, double w, int period) {
    const double u = std::abs(loop_distance(k, t0, period)) / w;
    if (u >= 1.0) {
        return 0.0;
    }
    return h * (1.0 - (3.0 * u * u - 2.0 * u * u * u));
}

double peak(const std::vector<Row>& rows, int axis) {
    double m = 0.0;
    for (const Row& r : rows) {
        const double v = axis == 0 ? r.x : axis == 1 ? r.y : r.z;
        m = std::max(m, std::abs(v));
    }
    return m;
}

double peak_any(const std::vector<Row>& rows) {
    return std::max({peak(rows, 0), peak(rows, 1), peak(rows, 2)});
}

double fine_peak(const std::function<Row(double k)>& curve, int period, int per_pip, int axis) {
    double m = 0.0;
    for (int i = 0; i < period * per_pip; ++i) {
        const Row r = curve(static_cast<double>(i) / static_cast<double>(per_pip));
        if (axis == kAnyAxis) {
            m = std::max({m, std::abs(r.x), std::abs(r.y), std::abs(r.z)});
        } else {
            m = std::max(m, std::abs(axis == 0 ? r.x : axis == 1 ? r.y : r.z));
        }
    }
    return m;
}

void scale(std::vector<Row>& rows, double s) {
    for (Row& r : rows) {
        r.x *= s;
        r.y *= s;
        r.z *= s;
    }
}

double quantise(double v) {
    const double q = std::round(v * 1e12) / 1e12;
    return q == 0.0 ? 0.0 : q;
}

}  // namespace gen
