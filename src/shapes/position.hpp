// Arithmetic on positions, axis by axis. Each operation is written once here
// so that every table that adds, scales or mixes positions rounds the same
// way.
#pragma once

#include "core.hpp"

namespace gesturon {

inline Offset3 operator+(const Offset3& a, const Offset3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

inline Offset3 operator-(const Offset3& a, const Offset3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline Offset3 operator*(double s, const Offset3& r) {
    return {s * r.x, s * r.y, s * r.z};
}

}  // namespace gesturon

namespace gesturon::shapes {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;

// The axes by number: 0 = x, 1 = y, 2 = z.
inline double& axis_of(Offset3& r, int axis) {
    return axis == 0 ? r.x : axis == 1 ? r.y : r.z;
}
inline double axis_of(const Offset3& r, int axis) {
    return axis == 0 ? r.x : axis == 1 ? r.y : r.z;
}

// From a towards b by the share s: a + (b - a) s.
inline double mix(double a, double b, double s) {
    return a + (b - a) * s;
}
inline Offset3 mix(const Offset3& a, const Offset3& b, double s) {
    return {mix(a.x, b.x, s), mix(a.y, b.y, s), mix(a.z, b.z, s)};
}

}  // namespace gesturon::shapes

#include <functional>
#include <vector>

namespace gesturon::shapes {

// One position per pip of a loop: entry k is f(k), k = 0 .. period - 1.
std::vector<Offset3> rows_over(int period, const std::function<Offset3(int k)>& f);

}  // namespace gesturon::shapes
