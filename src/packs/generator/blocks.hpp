// Building blocks shared by the pack constructions: smootherstep keyframe
// lanes, raised-cosine bumps, peak scaling and the twelve-decimal rule.
// Times are in pips and may be fractional (256/3, 512/7, ...).
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "table.hpp"

namespace gen {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;

// t = 2 pi k / P, the loop angle of row k.
double loop_angle(int k, int period);

// s(u) = 6u^5 - 15u^4 + 10u^3 on [0, 1].
double smootherstep(double u);

// A keyframe (pip, value) of a lane; the first key of a lane is at pip 0.
struct Key {
    double pip;
    double value;
};

// The lane's value at pip k: smootherstep from key to key, and from the last
// key back to the first key's value, reached at pip `period` (the seam).
double lane(std::span<const Key> keys, int period, double k);

// A pose (x, y, z) at a pip, for paths whose axes move together.
struct Pose {
    double pip;
    Row value;
};
Row pose_path(std::span<const Pose> poses, int period, double k);

// A closed cubic Hermite path through timed controls (pip, position), the
// first at pip 0: each control's tangent is the Catmull-Rom difference of its
// neighbours over their time span, so unequal segment times bend the path
// where the controls crowd together; after the last control the path runs on
// to the first, reached at pip `period`.
Row hermite_loop(std::span<const Pose> controls, int period, double k);

// Signed distance from t0 to k taken around a loop of `period` pips, in
// [-period/2, period/2).
double loop_distance(double k, double t0, int period);

// A raised-cosine bump of height h and half-width w centred at t0:
// h cos^2(pi d / 2w) for |d| < w, 0 elsewhere, d measured around the loop.
double bump(double k, double t0, double h, double w, int period);

// The same bump on every axis at once, each with its own height.
Row bump(double k, double t0, const Row& height, double w, int period);

// An asymmetric raised-cosine envelope: attack a before t0, decay d after it,
// exactly h at t0.
double envelope(double k, double t0, double h, double attack, double decay, int period);

// A smoothstep bump of height h and half-width w centred at t0:
// h (1 - (3u^2 - 2u^3)) with u = |d| / w for |d| < w, 0 elsewhere, d measured
// around the loop. Flatter at its crest and steeper at its flanks than the
// raised cosine.
double smooth_bump(double k, double t0, double h, double w, int period);

// Largest |value| of one axis (0 = x, 1 = y, 2 = z) over the rows.
double peak(const std::vector<Row>& rows, int axis);
// Largest |value| of any axis over the rows.
double peak_any(const std::vector<Row>& rows);

// Largest |value| of a curve of the pip over `per_pip` evenly spaced points
// per pip (the stored pips among them), on one axis (0 = x, 1 = y, 2 = z) or,
// with kAnyAxis, on all three. A peak measured this way sits between pips as
// well as on them.
inline constexpr int kAnyAxis = -1;
double fine_peak(const std::function<Row(double k)>& curve, int period, int per_pip, int axis = kAnyAxis);

// Multiplies every axis of every row by s.
void scale(std::vector<Row>& rows, double s);

// The stored form of a value: the double nearest to the nearest multiple of
// 1e-12, with zero always +0.0.
double quantise(double v);

}  // namespace gen
