// Smootherstep and the keyframe lanes eased by it: the way every stored path
// and every rendered beat glides from one value to the next.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "position.hpp"

namespace gesturon::shapes {

// t = 2 pi k / P, the loop angle of row k.
double loop_angle(int k, int period);

// s(u) = 6u^5 - 15u^4 + 10u^3 on [0, 1]: starts and ends with zero speed
// and zero acceleration.
double smootherstep(double u);

// A keyframe of a lane: a value, a number or a position, at a pip.
template <typename V>
struct Keyed {
    double pip;
    V value;
};
using Key = Keyed<double>;
using Pose = Keyed<Offset3>;

// From value a at pip `from` to b at pip `to` by smootherstep, at pip k.
template <typename V>
V ease_keys(const V& a, const V& b, double from, double to, double k) {
    const double u = (k - from) / (to - from);
    return u == 0.0 ? a : mix(a, b, smootherstep(u));
}

// A lane round the loop through keys at any pips in [0, period), in
// increasing order: smootherstep from key to key, and from the last key
// across the seam to the first. No keys rest at zero; a single key holds its
// value.
template <typename V>
V loop_lane(std::span<const Keyed<V>> keys, int period, double k) {
    if (keys.empty()) {
        return V{};
    }
    if (keys.size() == 1) {
        return keys.front().value;
    }
    const double p = static_cast<double>(period);
    const Keyed<V>& first = keys.front();
    const Keyed<V>& last = keys.back();
    if (k < first.pip) {  // before the first key: on the way in from the last
        return ease_keys(last.value, first.value, last.pip - p, first.pip, k);
    }
    std::size_t i = 0;
    while (i + 1 < keys.size() && keys[i + 1].pip <= k) {
        ++i;
    }
    if (i + 1 == keys.size()) {  // after the last key: across the seam
        return ease_keys(last.value, first.value, last.pip, first.pip + p, k);
    }
    return ease_keys(keys[i].value, keys[i + 1].value, keys[i].pip, keys[i + 1].pip, k);
}

template <typename V>
V loop_lane(const std::vector<Keyed<V>>& keys, int period, double k) {
    return loop_lane(std::span<const Keyed<V>>(keys), period, k);
}

// The lane of keys whose first key is at pip 0, so that it comes back to its
// first value at the seam.
inline double lane(std::span<const Key> keys, int period, double k) {
    return loop_lane(keys, period, k);
}
inline Offset3 pose_path(std::span<const Pose> poses, int period, double k) {
    return loop_lane(poses, period, k);
}

// A closed cubic Hermite path through timed controls (pip, position), the
// first at pip 0: each control's tangent is the Catmull-Rom difference of its
// neighbours over their time span, so unequal segment times bend the path
// where the controls crowd together; after the last control the path runs on
// to the first, reached at pip `period`.
Offset3 hermite_loop(std::span<const Pose> controls, int period, double k);

}  // namespace gesturon::shapes
