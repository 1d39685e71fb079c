#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>

#include "core.hpp"
#include "names.hpp"

namespace {

using gesturon::wrap_pip;

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

struct WrapCase {
    std::int32_t pip;
    std::int32_t period;
    std::int32_t expected;
};

void PrintTo(const WrapCase& c, std::ostream* os) {
    *os << "wrap_pip(" << c.pip << ", " << c.period << ") == " << c.expected;
}

class WrapPip : public ::testing::TestWithParam<WrapCase> {};

TEST_P(WrapPip, GivesTheNonNegativeRemainder) {
    const WrapCase c = GetParam();
    EXPECT_EQ(wrap_pip(c.pip, c.period), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, WrapPip,
    ::testing::Values(WrapCase{-1, 64, 63}, WrapCase{-64, 64, 0}, WrapCase{130, 64, 2}, WrapCase{64, 64, 0},
                      WrapCase{7, 1, 0}, WrapCase{9, 0, 0}, WrapCase{9, -5, 0}, WrapCase{-9, -5, 0},
                      WrapCase{kMin, 160, 32}, WrapCase{kMax, 160, 127}, WrapCase{kMin, 64, 0},
                      WrapCase{kMin, -1, 0}, WrapCase{kMax, kMax, 0}, WrapCase{kMin, kMax, kMax - 1},
                      WrapCase{kMin, 1, 0}, WrapCase{-1, kMax, kMax - 1}),
    [](const ::testing::TestParamInfo<WrapCase>& info) {
        using gesturon::testing_names::number;
        return "pip_" + number(info.param.pip) + "_period_" + number(info.param.period);
    });

TEST(WrapPip, EqualsTheMaskForEveryPowerOfTwoPeriod) {
    const std::int32_t pips[] = {kMin, kMin + 1, -65537, -256, -255, -1, 0, 1, 255, 256, 65537, kMax - 1, kMax};
    for (int bits = 0; bits <= 30; ++bits) {
        const std::int32_t period = std::int32_t{1} << bits;
        for (std::int32_t pip : pips) {
            EXPECT_EQ(wrap_pip(pip, period), pip & (period - 1)) << "pip " << pip << " period " << period;
        }
    }
}

TEST(WrapPip, IsUsableInConstantExpressions) {
    static_assert(wrap_pip(-1, 160) == 159);
    static_assert(wrap_pip(kMin, 768) == 256);
    SUCCEED();
}

TEST(WrapPip, AddingAWholePeriodChangesNothing) {
    for (std::int32_t period : {3, 160, 224, 352, 448, 768, 65535}) {
        for (std::int32_t pip = -3 * period; pip < 3 * period; pip += 7) {
            EXPECT_EQ(wrap_pip(pip, period), wrap_pip(pip + period, period));
        }
    }
}

}  // namespace
