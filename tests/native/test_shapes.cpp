// The shape library at its edges: where a group of hits ends, where a lane
// and a phase meet the seam, and the stored rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "names.hpp"
#include "shapes.hpp"

namespace {

using namespace gesturon::shapes;

struct Item {
    double pip;
};

struct GroupCase {
    std::string name;
    std::vector<double> pips;
    double window;
    Edge edge;
    std::vector<std::size_t> sizes;
};

void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << c.name;
}

class Together : public testing::TestWithParam<GroupCase> {};

// A group is measured from its first hit, never chained from hit to hit.
TEST_P(Together, GroupsFromTheFirstHit) {
    std::vector<Item> items;
    for (const double pip : GetParam().pips) {
        items.push_back({pip});
    }
    std::vector<std::size_t> sizes;
    for (const auto& group : together(items, GetParam().window, GetParam().edge)) {
        sizes.push_back(group.size());
    }
    EXPECT_EQ(sizes, GetParam().sizes);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Together,
    testing::Values(GroupCase{"open edge parts at the window", {0.0, 0.5, 1.0}, 0.5, Edge::open, {1, 1, 1}},
                    GroupCase{"closed edge keeps the window", {0.0, 0.5, 1.0}, 0.5, Edge::closed, {2, 1}},
                    GroupCase{"no chaining", {0.0, 2.0, 4.0, 6.0}, 3.0, Edge::closed, {2, 2}},
                    GroupCase{"nothing", {}, 3.0, Edge::open, {}}),
    gesturon::testing_names::ByName());

TEST(LoopLane, PassesThroughItsKeysAndEasesAcrossTheSeam) {
    const std::vector<Key> keys{{10.0, 1.0}, {30.0, -1.0}};
    EXPECT_EQ(loop_lane(keys, 40, 10.0), 1.0);
    EXPECT_EQ(loop_lane(keys, 40, 30.0), -1.0);
    // Half-way from the last key round the seam to the first (pip 0 is 10
    // pips after the last key, 10 before the first): the middle value.
    EXPECT_EQ(loop_lane(keys, 40, 0.0), 0.0);
    EXPECT_EQ(loop_lane(std::vector<Key>{}, 40, 5.0), 0.0);
    EXPECT_EQ(loop_lane(std::vector<Key>{{3.0, 0.25}}, 40, 37.0), 0.25);
}

TEST(WeightedPhase, RunsFromZeroAndClosesAtTheSeam) {
    const auto speed = [](int k) { return 1.0 + (k % 7 == 0 ? 3.0 : 0.0); };
    for (const Integration rule : {Integration::steps, Integration::trapezoid}) {
        const std::vector<double> phase = weighted_phase(48, speed, rule);
        ASSERT_EQ(phase.size(), 48u);
        EXPECT_EQ(phase[0], 0.0);
        for (std::size_t k = 1; k < phase.size(); ++k) {
            EXPECT_GT(phase[k], phase[k - 1]);
        }
        EXPECT_LT(phase.back(), 1.0);
    }
    // An even speed is the plain share of the loop.
    const std::vector<double> even = weighted_phase(64, [](int) { return 2.5; });
    EXPECT_EQ(even[16], 0.25);
}

TEST(PhaseClock, ReachesOneAtTheSeamWithAnEventAcrossIt) {
    const PhaseClock clock({{1.0, 3.0}, {60.0, 2.0}}, 4.0, 16.0, 64);
    EXPECT_EQ(clock.at(0.0), 0.0);
    EXPECT_NEAR(clock.at(64.0), 1.0, 1e-15);
    EXPECT_GT(clock.at(2.0) - clock.at(1.0), clock.at(40.0) - clock.at(39.0));
}

TEST(Envelope, PeaksOnItsHitAndReachesAcrossTheSeam) {
    EXPECT_EQ(envelope(5.0, 5.0, 0.7, kKickEnvelope, 256), 0.7);
    EXPECT_EQ(envelope(kKickEnvelope.decay, 0.0, 0.7, kKickEnvelope, 256), 0.0);
    EXPECT_EQ(envelope(256.0 - kKickEnvelope.attack, 0.0, 0.7, kKickEnvelope, 256), 0.0);
    EXPECT_GT(envelope(255.0, 0.0, 0.7, kKickEnvelope, 256), 0.0);
    EXPECT_GT(envelope(3.0, 250.0, 1.0, kKickEnvelope, 256), 0.0);
    EXPECT_EQ(envelope(3.0, 250.0, 1.0, kKickEnvelope, 256), envelope(259.0, 250.0, 1.0, kKickEnvelope, 256));
}

TEST(Quantise, TwelveDecimalsAndNoNegativeZero) {
    EXPECT_EQ(quantise(0.1234567890126), 0.123456789013);
    EXPECT_FALSE(std::signbit(quantise(-0.0)));
    EXPECT_FALSE(std::signbit(quantise(-1e-13)));
}

}  // namespace
