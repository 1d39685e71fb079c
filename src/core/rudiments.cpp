// The seven drum rudiments. A rudiment is a constant table of strokes; each
// stroke is a sine-squared bell of its own length and height, signed by the
// hand in x and pushed downward in y. One routine sums the strokes in table
// order, which is also the order that fixes the rounding of the result.
#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "core.hpp"

namespace gesturon {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::int32_t R = 1;   // right hand: positive x
constexpr std::int32_t L = -1;  // left hand: negative x

struct Stroke {
    std::int32_t onset;   // pip within the period
    std::int32_t hand;    // R or L
    double amplitude;     // peak height of the bell
    std::int32_t length;  // pips; the stroke spans k = 0 .. length - 1
};

Offset3 evaluate(std::span<const Stroke> strokes, std::int32_t period, std::int32_t pip) noexcept {
    double x = 0.0;
    double y = 0.0;
    for (const Stroke& s : strokes) {
        // The difference wraps in 32 bits; the mask is the floor modulo.
        const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(pip) -
                                                    static_cast<std::uint32_t>(s.onset));
        const std::int32_t k = diff & (period - 1);
        double e = 0.0;
        if (k < s.length) {
            const double sine = std::sin((static_cast<double>(k) / static_cast<double>(s.length)) * kPi);
            e = sine * (sine * s.amplitude);
        }
        x = x + static_cast<double>(s.hand) * e;
        // A silent stroke (e is +0.0) leaves y as it is to the bit, signed
        // zeros included: fma(+0.0, -0.72, y) is -0.0 + y, which is y. So the
        // fused multiply-add is made only where a stroke sounds. (x keeps its
        // addition: -0.0 + +0.0 would turn a negative zero positive.)
        if (e != 0.0) {
            y = std::fma(e, -0.72, y);
        }
    }
    return {std::clamp(x, -1.0, 1.0), std::clamp(y, -1.0, 1.0), 0.0};
}

constexpr std::array<Stroke, 8> kSingleStroke{{
    {0, R, 0.92, 8}, {8, L, 0.92, 8}, {16, R, 0.92, 8}, {24, L, 0.92, 8},
    {32, R, 0.92, 8}, {40, L, 0.92, 8}, {48, R, 0.92, 8}, {56, L, 0.92, 8},
}};

constexpr std::array<Stroke, 8> kDoubleStroke{{
    {0, R, 0.88, 8}, {8, R, 0.72, 8}, {16, L, 0.88, 8}, {24, L, 0.72, 8},
    {32, R, 0.88, 8}, {40, R, 0.72, 8}, {48, L, 0.88, 8}, {56, L, 0.72, 8},
}};

constexpr std::array<Stroke, 8> kMultipleBounce{{
    {0, R, 0.92, 6}, {6, R, 0.68, 6}, {12, R, 0.48, 6}, {18, R, 0.32, 6},
    {32, L, 0.92, 6}, {38, L, 0.68, 6}, {44, L, 0.48, 6}, {50, L, 0.32, 6},
}};

constexpr std::array<Stroke, 16> kSingleParadiddle{{
    {0, R, 1.0, 8}, {8, L, 0.72, 8}, {16, R, 0.72, 8}, {24, R, 0.72, 8},
    {32, L, 1.0, 8}, {40, R, 0.72, 8}, {48, L, 0.72, 8}, {56, L, 0.72, 8},
    {64, R, 1.0, 8}, {72, L, 0.72, 8}, {80, R, 0.72, 8}, {88, R, 0.72, 8},
    {96, L, 1.0, 8}, {104, R, 0.72, 8}, {112, L, 0.72, 8}, {120, L, 0.72, 8},
}};

constexpr std::array<Stroke, 4> kFlam{{
    {0, L, 0.34, 10},   // grace
    {5, R, 0.9, 14},    // primary
    {32, R, 0.34, 10},  // grace
    {37, L, 0.9, 14},   // primary
}};

constexpr std::array<Stroke, 6> kDrag{{
    {0, L, 0.28, 8},    // grace
    {5, L, 0.32, 8},    // grace
    {10, R, 0.88, 14},  // primary
    {32, R, 0.28, 8},   // grace
    {37, R, 0.32, 8},   // grace
    {42, L, 0.88, 14},  // primary
}};

constexpr std::array<Stroke, 10> kFiveStroke{{
    {0, R, 0.72, 9}, {8, R, 0.62, 9}, {16, L, 0.72, 9}, {24, L, 0.62, 9}, {36, R, 1.0, 14},
    {64, L, 0.72, 9}, {72, L, 0.62, 9}, {80, R, 0.72, 9}, {88, R, 0.62, 9}, {100, L, 1.0, 14},
}};

}  // namespace

Offset3 single_stroke_roll(std::int32_t pip) noexcept { return evaluate(kSingleStroke, 64, pip); }
Offset3 double_stroke_roll(std::int32_t pip) noexcept { return evaluate(kDoubleStroke, 64, pip); }
Offset3 multiple_bounce_roll(std::int32_t pip) noexcept { return evaluate(kMultipleBounce, 64, pip); }
Offset3 single_paradiddle(std::int32_t pip) noexcept { return evaluate(kSingleParadiddle, 128, pip); }
Offset3 flam(std::int32_t pip) noexcept { return evaluate(kFlam, 64, pip); }
Offset3 drag(std::int32_t pip) noexcept { return evaluate(kDrag, 64, pip); }
Offset3 five_stroke_roll(std::int32_t pip) noexcept { return evaluate(kFiveStroke, 128, pip); }

}  // namespace gesturon
