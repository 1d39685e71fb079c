// What the continuum path families (continuum_paths.cpp, continuum_motions.cpp)
// share: the two ways a path is brought to its peak of 0.82.
#pragma once

#include <functional>
#include <string>

#include "table.hpp"

namespace gen::continuum::paths {

// The frequency pairs A_B of the ribbons and surfaces, in catalogue order.
struct Pair {
    int a;
    int b;
};
inline constexpr Pair kPairs[8] = {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 5}, {3, 4}, {3, 5}};

// "1_2" for the pair (1, 2).
inline std::string pair_name(const Pair& p) {
    return std::to_string(p.a) + "_" + std::to_string(p.b);
}

// The peak of every path family.
inline constexpr double kPeak = 0.82;
// A path scaled on a finer evaluation than its pips may store a peak a little
// below 0.82, never below this.
inline constexpr double kLowestStoredPeak = 0.8196;

// The loop angle 2 pi k / period of a pip that may lie between pips.
inline double angle(double k, int period) {
    return kTwoPi * k / static_cast<double>(period);
}

// A table of `path` at the pips, multiplied by the one factor that makes its
// largest stored magnitude on any axis exactly 0.82.
Table peak_on_pips(std::string name, std::string description, int period, int dimensions,
                   const std::function<Offset3(double k)>& path);

// A table of the continuous `path` at the pips, multiplied by the one factor
// that makes its largest magnitude exactly 0.82 over `per_pip` points per pip
// (on `axis`, or on any axis), so the stored peak is 0.82 or just below. The
// build stops if it falls below 0.8196: the path turns too sharply at its peak
// for its pips to follow.
Table peak_on_curve(std::string name, std::string description, int period, int dimensions,
                    const std::function<Offset3(double k)>& path, int per_pip = 4, int axis = kAnyAxis);

}  // namespace gen::continuum::paths
