#include "shapes.hpp"

#include <algorithm>
#include <cmath>

namespace gesturon::shapes {

std::vector<Offset3> rows_over(int period, const std::function<Offset3(int k)>& f) {
    std::vector<Offset3> rows;
    rows.reserve(static_cast<std::size_t>(period));
    for (int k = 0; k < period; ++k) {
        rows.push_back(f(k));
    }
    return rows;
}

double loop_angle(int k, int period) {
    return kTwoPi * static_cast<double>(k) / static_cast<double>(period);
}

double smootherstep(double u) {
    return u * u * u * (u * (u * 6.0 - 15.0) + 10.0);
}

Offset3 hermite_loop(std::span<const Pose> controls, int period, double k) {
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
        return Offset3{(after.value.x - before.value.x) / span, (after.value.y - before.value.y) / span,
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
    const Offset3 m0 = tangent(i);
    const Offset3 m1 = tangent(i + 1);
    const double u2 = u * u;
    const double u3 = u2 * u;
    const double h00 = 2.0 * u3 - 3.0 * u2 + 1.0;
    const double h10 = (u3 - 2.0 * u2 + u) * h;
    const double h01 = -2.0 * u3 + 3.0 * u2;
    const double h11 = (u3 - u2) * h;
    const auto blend = [&](double a, double ta, double b, double tb) {
        return h00 * a + h10 * ta + h01 * b + h11 * tb;
    };
    return {blend(from.value.x, m0.x, to.value.x, m1.x), blend(from.value.y, m0.y, to.value.y, m1.y),
            blend(from.value.z, m0.z, to.value.z, m1.z)};
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

Offset3 bump(double k, double t0, const Offset3& height, double w, int period) {
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

double envelope_area(double k, double t0, double attack, double decay, int period) {
    // Area from the start of the envelope to a distance d past its peak.
    const auto from_start = [&](double d) {
        if (d <= -attack) {
            return 0.0;
        }
        if (d < 0.0) {
            return (d + attack) / 2.0 + attack / (2.0 * kPi) * std::sin(kPi * d / attack);
        }
        if (d < decay) {
            return attack / 2.0 + d / 2.0 + decay / (2.0 * kPi) * std::sin(kPi * d / decay);
        }
        return (attack + decay) / 2.0;
    };
    const double p = static_cast<double>(period);
    double a = 0.0;
    for (const double image : {t0 - p, t0, t0 + p}) {
        a += from_start(k - image) - from_start(-image);
    }
    return a;
}

std::vector<double> weighted_phase(int period, const std::function<double(int k)>& speed, Integration rule) {
    std::vector<double> covered(static_cast<std::size_t>(period) + 1, 0.0);
    if (rule == Integration::steps) {
        for (int k = 0; k < period; ++k) {
            covered[k + 1] = covered[k] + speed(k);
        }
    } else {
        std::vector<double> at(static_cast<std::size_t>(period));
        for (int k = 0; k < period; ++k) {
            at[k] = speed(k);
        }
        for (int k = 0; k < period; ++k) {
            covered[k + 1] = covered[k] + 0.5 * (at[k] + at[(k + 1) % period]);
        }
    }
    const double total = covered[period];
    covered.pop_back();
    for (double& c : covered) {
        c /= total;
    }
    return covered;
}

PhaseClock::PhaseClock(std::vector<Event> events, double attack, double decay, int period)
    : events_(std::move(events)), attack_(attack), decay_(decay), period_(period) {
    total_ = static_cast<double>(period);
    for (const Event& e : events_) {
        total_ += e.gain * (attack_ + decay_) / 2.0;
    }
}

double PhaseClock::at(double k) const {
    double w = k;
    for (const Event& e : events_) {
        w += e.gain * envelope_area(k, e.pip, attack_, decay_, period_);
    }
    return w / total_;
}

double peak(const std::vector<Offset3>& rows, int axis) {
    double m = 0.0;
    for (const Offset3& r : rows) {
        m = std::max(m, std::abs(axis_of(r, axis)));
    }
    return m;
}

double peak_any(const std::vector<Offset3>& rows) {
    return std::max({peak(rows, 0), peak(rows, 1), peak(rows, 2)});
}

double fine_peak(const std::function<Offset3(double k)>& curve, int period, int per_pip, int axis) {
    double m = 0.0;
    for (int i = 0; i < period * per_pip; ++i) {
        const Offset3 r = curve(static_cast<double>(i) / static_cast<double>(per_pip));
        if (axis == kAnyAxis) {
            m = std::max({m, std::abs(r.x), std::abs(r.y), std::abs(r.z)});
        } else {
            m = std::max(m, std::abs(axis_of(r, axis)));
        }
    }
    return m;
}

void scale(std::vector<Offset3>& rows, double s) {
    for (Offset3& r : rows) {
        r.x *= s;
        r.y *= s;
        r.z *= s;
    }
}

void scale_axis(std::vector<Offset3>& rows, int axis, double s) {
    for (Offset3& r : rows) {
        axis_of(r, axis) *= s;
    }
}

double peak_factor(const std::vector<Offset3>& rows, int axis, double target) {
    const double p = peak(rows, axis);
    return p > 0.0 ? target / p : 1.0;
}

void limit_peak(std::vector<Offset3>& rows, double ceiling) {
    const double top = peak_any(rows);
    if (top > ceiling) {
        scale(rows, ceiling / top);
    }
}

double quantise(double v) {
    const double q = std::round(v * 1e12) / 1e12;
    return q == 0.0 ? 0.0 : q;
}

}  // namespace gesturon::shapes
