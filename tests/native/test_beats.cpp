// The drum score reader: where each step lands, levels, microtiming, and the
// message of each faulty score.
#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "beats.hpp"
#include "names.hpp"

namespace {

using namespace gesturon::beats;

std::string score_text(int bars, const std::string& lanes) {
    return "key test_beat\ntitle Test\nnote\nbars " + std::to_string(bars) + "\ndepth no\n" + lanes;
}

// The pips of one instrument's hits are the expected ones (to a few ulps:
// 256 i / n and the sums written here may round differently).
void expect_pips(const Score& s, Instrument instrument, const std::vector<double>& expected) {
    std::vector<double> pips;
    for (const Hit& h : s.hits) {
        if (h.instrument == instrument) {
            pips.push_back(h.pip);
        }
    }
    ASSERT_EQ(pips.size(), expected.size());
    for (std::size_t i = 0; i < pips.size(); ++i) {
        EXPECT_DOUBLE_EQ(pips[i], expected[i]) << "hit " << i;
        EXPECT_GE(pips[i], 0.0);
        EXPECT_LT(pips[i], s.period());
    }
}

struct GridCase {
    std::string name;
    std::string cell;
    std::vector<double> pips;
};

void PrintTo(const GridCase& c, std::ostream* os) {
    *os << "bar \"" << c.cell << "\"";
}

class StepGrid : public testing::TestWithParam<GridCase> {};

// The number of steps in a bar sets the grid; blanks only group the steps.
TEST_P(StepGrid, StepsSpreadEvenlyOverTheBar) {
    const Score s = parse_score(score_text(1, "hat | " + GetParam().cell + " |\n"));
    expect_pips(s, Instrument::hat, GetParam().pips);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, StepGrid,
    testing::Values(GridCase{"sixteenths", "x... x... x... ..x.", {0.0, 64.0, 128.0, 224.0}},
                    GridCase{"triplet eighths", "x..x.. x..x..", {0.0, 64.0, 128.0, 192.0}},
                    GridCase{"triplet sixteenths", "...... ...... ...... xx....", {192.0, 192.0 + 32.0 / 3.0}},
                    GridCase{"half notes", "x.x.", {0.0, 128.0}},
                    GridCase{"thirty seconds", "......x. ........ ........ .......x", {48.0, 248.0}}),
    gesturon::testing_names::ByName());

TEST(ScoreReader, BarsMayUseDifferentGridsAndFollowOneAnother) {
    const Score s = parse_score(score_text(2, "hat | x... .... .... .... | ..x..x ...... ...... ...... |\n"));
    expect_pips(s, Instrument::hat, {0.0, 256.0 + 2.0 * 256.0 / 24.0, 256.0 + 5.0 * 256.0 / 24.0});
    EXPECT_EQ(s.period(), 512);
}

TEST(ScoreReader, LevelsAndTheirWeights) {
    const Score s = parse_score(score_text(1, "snare | X x o . |\n"));
    ASSERT_EQ(s.hits.size(), 3u);
    EXPECT_EQ(s.hits[0].level, Level::accent);
    EXPECT_EQ(s.hits[1].level, Level::normal);
    EXPECT_EQ(s.hits[2].level, Level::ghost);
    EXPECT_EQ(s.hits[0].weight(), 1.0);
    EXPECT_EQ(s.hits[1].weight(), 0.8);
    EXPECT_EQ(s.hits[2].weight(), 0.4);
    EXPECT_EQ(s.hits[0].group(), Group::backbeat);
}

struct TimingCase {
    std::string name;
    std::string lane;
    std::vector<double> pips;  // in time order
};

void PrintTo(const TimingCase& c, std::ostream* os) {
    *os << "lane \"" << c.lane << "\"";
}

class Microtiming : public testing::TestWithParam<TimingCase> {};

// Swing delays the off-steps of each cell; shift moves every hit; a hit moved
// past either end of the loop wraps round.
TEST_P(Microtiming, MovesHitsAndWrapsRound) {
    const Score s = parse_score(score_text(2, GetParam().lane));
    expect_pips(s, Instrument::hat, GetParam().pips);
}

INSTANTIATE_TEST_SUITE_P(
    Timings, Microtiming,
    testing::Values(
        TimingCase{"swing", "hat | xx.. .... .... ...x | x... .... .... .... | swing 6\n", {0.0, 22.0, 246.0, 256.0}},
        TimingCase{"shift wraps to the start", "hat | x... .... .... .... | .... .... .... ...x | shift -2.5\n",
                   {493.5, 509.5}},
        TimingCase{"swing wraps past the seam", "hat | .... .... .... .... | .... .... .... ...x | swing 20\n", {4.0}},
        // Wrapped from just before the loop's start, it lands on pip 0, not on the period.
        TimingCase{"tiny shift lands on pip 0", "hat | x... | x... | shift -1e-20\n", {0.0, 256.0}},
        TimingCase{"swing and shift", "hat | .x.. | .... | swing 3 shift 1.5\n", {68.5}}),
    gesturon::testing_names::ByName());

TEST(ScoreReader, HeaderAndHitsInTimeOrder) {
    const Score s = parse_score(
        "# comment\nkey  house_test\ntitle  House / test\nnote   \nbars 1\ndepth yes\n"
        "hat  | ..x. ..x. ..x. ..x. |\nkick | x... x... x... x... |\n");
    EXPECT_EQ(s.key, "house_test");
    EXPECT_EQ(s.title, "House / test");
    EXPECT_EQ(s.note, "");
    EXPECT_TRUE(s.depth);
    ASSERT_EQ(s.hits.size(), 8u);
    for (std::size_t i = 1; i < s.hits.size(); ++i) {
        EXPECT_LE(s.hits[i - 1].pip, s.hits[i].pip);
    }
    EXPECT_EQ(s.of(Group::kick).size(), 4u);
    EXPECT_EQ(s.of(Group::hats).size(), 4u);
}

struct FaultCase {
    std::string text;
    std::string message;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << "score \"" << c.text << "\" -> \"" << c.message << "\"";
}

class Faults : public testing::TestWithParam<FaultCase> {};

TEST_P(Faults, NameTheFirstFault) {
    try {
        parse_score(GetParam().text);
        FAIL() << "accepted: " << GetParam().text;
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), GetParam().message);
    }
}

const std::string kHead = "key k\ntitle T\nbars 1\n";

INSTANTIATE_TEST_SUITE_P(
    Messages, Faults,
    testing::Values(
        FaultCase{kHead + "kick x... |\n", "line 4: a lane starts with '|' after the instrument name"},
        FaultCase{kHead + "kick | x..q |\n", "line 4: unknown step 'q' (X accent, x normal, o ghost, . rest)"},
        FaultCase{kHead + "kick | x... | x... |\n", "line 4: the lane has more bars than the score's 1"},
        FaultCase{"key k\ntitle T\nbars 2\nkick | x... |\n", "line 4: the lane has 1 bars; the score has 2"},
        FaultCase{kHead + "kick |  | \n", "line 4: bar 1 has no steps"},
        FaultCase{kHead + "kick | " + std::string(257, '.') + " |\n", "line 4: bar 1 has more than 256 steps"},
        FaultCase{kHead + "kick | x... | swing\n", "line 4: swing needs a number, not \"\""},
        FaultCase{kHead + "kick | x... | shift 2pips\n", "line 4: shift needs a number, not \"2pips\""},
        FaultCase{kHead + "kick | x... | drag 2\n", "line 4: unknown lane option \"drag\" (swing or shift)"},
        FaultCase{kHead + "cymbal | x... |\n",
                  "line 4: unknown word \"cymbal\": a header (key, title, note, bars, meter, depth) or an instrument lane"},
        FaultCase{"key k\ntitle T\nkick | x |\nbars 1\n", "line 3: bars must be given before the first lane"},
        FaultCase{"key k\nkey j\n", "line 2: \"key\" is given twice"},
        FaultCase{"key 9k\n", "line 1: the key is 1 to 64 lowercase letters, digits and _, starting with a letter"},
        FaultCase{"key k\nbars 1.5\n", "line 2: bars must be a whole number of at least 1"},
        FaultCase{"key k\nbars 256\nkick | x |\n", "line 3: the loop lasts 65536 pips; a pattern holds at most 65535"},
        FaultCase{"key k\nbars 1\nkick | x |\nmeter 3/4\n", "line 4: the meter must be given before the first lane"},
        FaultCase{"key k\nbars 1\nmeter 3/5\n", "line 3: meter is N/D, whole numbers whose bar of 256 N / D pips is a whole number of pips"},
        FaultCase{"key k\ndepth maybe\n", "line 2: depth is yes or no"},
        FaultCase{"title T\nbars 1\nkick | x |\n", "a score needs a key, a title and bars"},
        FaultCase{kHead + "kick | .... |\n", "the score has no hits"}),
    // Each case is named by its message.
    [](const testing::TestParamInfo<FaultCase>& info) {
        return gesturon::testing_names::identifier(info.param.message);
    });

}  // namespace
