#include <gtest/gtest.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "recording.hpp"

namespace {

using gesturon::RecordingRows;
using gesturon::SampledRecording;

// Rows laid out the way the constructor reads them.
struct Rows {
    std::vector<double> values;
    std::vector<std::size_t> ends;

    Rows(std::initializer_list<std::vector<double>> rows) {
        for (const std::vector<double>& row : rows) {
            values.insert(values.end(), row.begin(), row.end());
            ends.push_back(values.size());
        }
    }
    RecordingRows view() const { return RecordingRows(values, ends); }
};

SampledRecording make(std::vector<std::string> axes, const Rows& rows, std::int32_t start_pip = 0) {
    return SampledRecording("take", std::move(axes), rows.view(), 120.0, 0.0, start_pip);
}

TEST(SampledRecording, ReportsBadInputAsInvalidArgumentAndOutsidePipsAsOutOfRange) {
    const Rows ragged{{0.1, 0.2}, {0.3}};
    EXPECT_THROW(make({"x", "y"}, ragged), std::invalid_argument);
    EXPECT_THROW(make({"x"}, Rows{}), std::invalid_argument);
    const SampledRecording r = make({"x"}, Rows{{0.5}}, -1);
    EXPECT_THROW(r.sample(0), std::out_of_range);
    EXPECT_THROW(r.sample(-2), std::out_of_range);
}

TEST(SampledRecording, KeepsNothingOfTheRowsItRead) {
    Rows rows{{0.1, 0.2}, {0.3, 0.4}};
    const SampledRecording r = make({"x", "y"}, rows, 5);
    rows.values.assign(rows.values.size(), 0.9);
    EXPECT_EQ(r.sample(6), (std::vector<double>{0.3, 0.4}));
}

TEST(SampledRecording, MovedFromRecordingHasNoRowsAndAnswersNoPip) {
    SampledRecording r = make({"x", "y"}, Rows{{0.1, 0.2}, {0.3, 0.4}});
    const SampledRecording moved = std::move(r);
    EXPECT_EQ(moved.sample_count(), 2);
    EXPECT_EQ(r.sample_count(), 0);  // NOLINT(bugprone-use-after-move): the state is the point
    EXPECT_THROW(r.sample(0), std::out_of_range);
}

}  // namespace
