// The eight smooth body motions. Each folds the pip by a power-of-two mask
// (the floor modulo of its period) and evaluates its formula exactly as
// written: where a step is a single fused multiply-add it is spelled std::fma,
// and nowhere else, so that results agree to the last bit on every platform.
#include <array>
#include <cmath>

#include "core.hpp"

namespace gesturon {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kFourPi = 12.566370614359172;
constexpr double kPi = 3.141592653589793;

// Smoothstep S(u) = (u * u) * (3 - 2u), the second factor one fused multiply-add.
double smoothstep(double u) noexcept {
    return (u * u) * std::fma(u, -2.0, 3.0);
}

// a + (b - a) * s as one fused multiply-add.
double ease(double a, double b, double s) noexcept {
    return std::fma(b - a, s, a);
}

struct Corner {
    double x;
    double y;
};

// step_touch: x per half-beat quarter goes -1 -> 0 -> +1 -> 0 -> -1.
constexpr std::array<double, 4> kStepFrom{-1.0, 0.0, 1.0, 0.0};
constexpr std::array<double, 4> kStepTo{0.0, 1.0, 0.0, -1.0};

// box_step: the corners of the square, one beat per side.
constexpr std::array<Corner, 4> kBoxCorners{{{-1.0, -1.0}, {1.0, -1.0}, {1.0, 1.0}, {-1.0, 1.0}}};

// The keyframes of the four-beat background drift: pip, x, y.
struct Keyframe {
    std::int32_t pip;
    double x;
    double y;
};

constexpr std::array<Keyframe, 14> kBackgroundKeys{{
    {0, 0.0, 0.0},
    {23, 2.0 / 14.0, -0.1},
    {33, 13.0 / 14.0, -0.8},
    {49, 5.0 / 14.0, -0.4},
    {87, -3.0 / 14.0, 0.2},
    {100, -1.0, 0.9},
    {118, -5.0 / 14.0, 0.5},
    {154, 1.0 / 14.0, 0.0},
    {169, 12.0 / 14.0, 1.0},
    {187, 4.0 / 14.0, 0.5},
    {215, -2.0 / 14.0, -0.2},
    {228, -10.0 / 14.0, -0.9},
    {243, -3.0 / 14.0, -0.3},
    {256, 0.0, 0.0},
}};

// Eases between consecutive keyframes; a pip that equals a keyframe's pip
// belongs to the segment that ends there.
std::array<Offset3, 256> build_background() noexcept {
    std::array<Offset3, 256> table{};
    std::size_t k = 0;
    for (std::int32_t i = 0; i < 256; ++i) {
        while (i > kBackgroundKeys[k + 1].pip) {
            ++k;
        }
        const Keyframe& from = kBackgroundKeys[k];
        const Keyframe& to = kBackgroundKeys[k + 1];
        const double t = static_cast<double>(i - from.pip) / static_cast<double>(to.pip - from.pip);
        const double s = smoothstep(t);
        table[static_cast<std::size_t>(i)] = {ease(from.x, to.x, s), ease(from.y, to.y, s), 0.0};
    }
    return table;
}

// Filled once while the shared object loads, read-only afterwards.
const std::array<Offset3, 256> kBackground = build_background();

}  // namespace

Offset3 bounce(std::int32_t pip) noexcept {
    const double phi = static_cast<double>(pip & 63) / 64.0;
    return {std::fma(std::abs(phi - 0.5), -4.0, 1.0), 0.0, 0.0};
}

Offset3 sway(std::int32_t pip) noexcept {
    const double phi = static_cast<double>(pip & 127) / 128.0;
    return {std::sin(phi * kTwoPi), 0.0, 0.0};
}

Offset3 circle(std::int32_t pip) noexcept {
    const double phi = static_cast<double>(pip & 63) / 64.0;
    const double a = std::fma(phi, kTwoPi, -kHalfPi);
    return {std::cos(a), std::sin(a), 0.0};
}

Offset3 figure_eight(std::int32_t pip) noexcept {
    const double theta = (static_cast<double>(pip & 127) / 128.0) * kTwoPi;
    return {std::sin(theta), std::sin(theta + theta), 0.0};
}

Offset3 step_touch(std::int32_t pip) noexcept {
    const auto q = static_cast<std::size_t>((pip >> 5) & 3);
    const double u = static_cast<double>(pip & 31) / 32.0;
    return {ease(kStepFrom[q], kStepTo[q], smoothstep(u)), std::sin(u * kPi) * -0.35, 0.0};
}

Offset3 box_step(std::int32_t pip) noexcept {
    const auto q = static_cast<std::size_t>((pip >> 6) & 3);
    const double u = static_cast<double>(pip & 63) / 64.0;
    const double s = smoothstep(u);
    const Corner& from = kBoxCorners[q];
    const Corner& to = kBoxCorners[(q + 1) & 3];
    return {ease(from.x, to.x, s), ease(from.y, to.y, s), 0.0};
}

Offset3 helix(std::int32_t pip) noexcept {
    const double phi = static_cast<double>(pip & 255) / 256.0;
    const double a = phi * kFourPi;
    return {std::cos(a), std::sin(a), std::sin(phi * kTwoPi)};
}

Offset3 morvel_background(std::int32_t pip) noexcept {
    return kBackground[static_cast<std::size_t>(pip & 255)];
}

}  // namespace gesturon
