// Peaks of a table and scaling to them, and the rounding of stored values.
#pragma once

#include <functional>
#include <vector>

#include "position.hpp"

namespace gesturon::shapes {

// Largest |value| of one axis (0 = x, 1 = y, 2 = z) over the rows.
double peak(const std::vector<Offset3>& rows, int axis);
// Largest |value| of any axis over the rows.
double peak_any(const std::vector<Offset3>& rows);

// Largest |value| of a curve of the pip over `per_pip` evenly spaced points
// per pip (the stored pips among them), on one axis or, with kAnyAxis, on
// all three. A peak measured this way sits between pips as well as on them.
inline constexpr int kAnyAxis = -1;
double fine_peak(const std::function<Offset3(double k)>& curve, int period, int per_pip, int axis = kAnyAxis);

// Multiplies every axis of every row by s.
void scale(std::vector<Offset3>& rows, double s);
// Multiplies one axis of every row by s.
void scale_axis(std::vector<Offset3>& rows, int axis, double s);

// The factor that makes the largest |value| of one axis exactly `target`
// (1 where the axis is still).
double peak_factor(const std::vector<Offset3>& rows, int axis, double target);

// Scales the rows down so that their largest magnitude is `ceiling` when they
// go past it; rows within it are left exactly as they are.
void limit_peak(std::vector<Offset3>& rows, double ceiling);

// The stored form of a value: the double nearest to the nearest multiple of
// 1e-12, with zero always +0.0.
double quantise(double v);

}  // namespace gesturon::shapes
