// Recordings: a captured multi-axis signal laid onto the pip grid. Unlike a
// pattern a recording does not repeat; it answers only inside its span of
// pips, one stored row per pip, and never interpolates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gesturon {

// The rows handed to a recording's constructor, read and not kept. They are
// laid out one after another in `values`; `ends[r]` is the index one past the
// last value of row r, so rows of any length, ragged ones included, can be
// passed without an allocation per row.
class RecordingRows {
public:
    RecordingRows(std::span<const double> values, std::span<const std::size_t> ends) noexcept
        : values_(values), ends_(ends) {}

    std::size_t size() const noexcept { return ends_.size(); }

    // Row r, for r < size(). The ends must be non-decreasing and within values.
    std::span<const double> operator[](std::size_t r) const noexcept {
        const std::size_t begin = r == 0 ? 0 : ends_[r - 1];
        return values_.subspan(begin, ends_[r] - begin);
    }

private:
    std::span<const double> values_;
    std::span<const std::size_t> ends_;
};

class SampledRecording {
public:
    // The most values one recording holds (64 MiB of doubles).
    static constexpr std::uint32_t MAX_VALUES = 8388608;

    // Validates everything once; throws std::invalid_argument with the message
    // of the first failing check. `name` and `dimensions` are moved in.
    SampledRecording(std::string name, std::vector<std::string> dimensions, RecordingRows samples,
                     double bpm, double beat_zero_seconds, std::int32_t start_pip);

    const std::string& name() const noexcept { return name_; }
    // The axis identifiers in the order the caller gave them.
    const std::vector<std::string>& dimensions() const noexcept { return dimensions_; }
    // Number of rows; row r belongs to pip start_pip() + r.
    std::int32_t sample_count() const noexcept;
    double bpm() const noexcept { return bpm_; }
    double beat_zero_seconds() const noexcept { return beat_zero_seconds_; }
    std::int32_t start_pip() const noexcept { return start_pip_; }

    // The row of `pip`, one value per axis in axis order. Throws
    // std::out_of_range for a pip outside the span.
    std::vector<double> sample(std::int32_t pip) const;

    // The same row without a copy: a view into the recording, valid as long
    // as the recording is.
    std::span<const double> row(std::int32_t pip) const;

private:
    std::string name_;
    std::vector<std::string> dimensions_;
    std::vector<double> values_;  // row r, axis a at r * dimensions_.size() + a
    double bpm_;
    double beat_zero_seconds_;
    std::int32_t start_pip_;
};

}  // namespace gesturon
