#include "recording.hpp"

#include <cmath>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

#include "core.hpp"

namespace gesturon {

namespace {

// Every pip of a span, and the pip after it, must be a signed 32-bit value.
constexpr std::int64_t PIP_LIMIT = std::int64_t{1} << 31;

[[noreturn]] void refuse(const char* message) { throw std::invalid_argument(message); }

// The tempo must give a finite, positive length to both the beat and the pip.
// 60 / bpm overflows for every bpm below 3.3376107877608025e-307 although
// such a bpm is finite and positive; those are refused as well.
bool is_valid_tempo(double bpm, double beat_zero_seconds) {
    if (!std::isfinite(bpm) || !(bpm > 0.0)) {
        return false;
    }
    const double seconds_per_beat = 60.0 / bpm;
    if (!std::isfinite(seconds_per_beat)) {
        return false;
    }
    const double seconds_per_pip = seconds_per_beat * (1.0 / PIPS_PER_BEAT);
    if (!(seconds_per_pip > 0.0)) {
        return false;
    }
    return std::isfinite(beat_zero_seconds);
}

// At least one axis and one row, at most MAX_VALUES values, and a span that
// ends below 2^31. The row limit is the quotient in unsigned 32-bit integers,
// so the product D * rows is never formed and cannot overflow.
bool is_valid_shape(std::size_t axes, std::size_t rows, std::int32_t start_pip) {
    if (axes == 0 || axes > SampledRecording::MAX_VALUES || rows == 0) {
        return false;
    }
    if (rows > SampledRecording::MAX_VALUES / static_cast<std::uint32_t>(axes)) {
        return false;
    }
    return std::int64_t{start_pip} + static_cast<std::int64_t>(rows) < PIP_LIMIT;
}

}  // namespace

SampledRecording::SampledRecording(std::string name, std::vector<std::string> dimensions,
                                   RecordingRows samples, double bpm, double beat_zero_seconds,
                                   std::int32_t start_pip)
    : name_(std::move(name)),
      dimensions_(std::move(dimensions)),
      bpm_(bpm),
      beat_zero_seconds_(beat_zero_seconds),
      start_pip_(start_pip) {
    if (!is_identifier(name_)) {
        refuse("Invalid identifier");
    }
    if (!is_valid_tempo(bpm_, beat_zero_seconds_)) {
        refuse("A finite positive BPM and beat origin are required");
    }
    const std::size_t axes = dimensions_.size();
    const std::size_t rows = samples.size();
    if (!is_valid_shape(axes, rows, start_pip_)) {
        refuse("Empty recording or recording resource limit exceeded");
    }

    // Axes in the caller's order: a malformed axis is reported if it comes
    // before the second of a duplicate pair, the duplicate otherwise.
    std::unordered_set<std::string_view> seen;
    seen.max_load_factor(1.0f);
    seen.reserve(axes);
    for (const std::string& axis : dimensions_) {
        if (!is_identifier(axis)) {
            refuse("Invalid identifier");
        }
        if (!seen.insert(axis).second) {
            refuse("Duplicate axis");
        }
    }

    // Rows in order, each checked in full before the next is looked at. The
    // shape check above bounds axes * rows by MAX_VALUES.
    values_.reserve(axes * rows);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::span<const double> row = samples[r];
        if (row.size() != axes) {
            refuse("Ragged recording");
        }
        for (const double v : row) {
            // Also false for NaN; infinities exceed 1.
            if (!(std::fabs(v) <= 1.0)) {
                refuse("Invalid sample");
            }
            values_.push_back(v);
        }
    }
}

std::int32_t SampledRecording::sample_count() const noexcept {
    // A moved-from recording has no axes and so no rows.
    const std::size_t axes = dimensions_.size();
    return axes == 0 ? 0 : static_cast<std::int32_t>(values_.size() / axes);
}

std::span<const double> SampledRecording::row(std::int32_t pip) const {
    if (pip < start_pip_) {
        throw std::out_of_range("Pip outside non-looping recording");
    }
    // Up to 2^32 - 1 apart, so the difference is taken in 64 bits.
    const std::int64_t row = std::int64_t{pip} - std::int64_t{start_pip_};
    if (row >= sample_count()) {
        throw std::out_of_range("Pip outside non-looping recording");
    }
    const std::size_t axes = dimensions_.size();
    return std::span<const double>(values_).subspan(static_cast<std::size_t>(row) * axes, axes);
}

std::vector<double> SampledRecording::sample(std::int32_t pip) const {
    const std::span<const double> values = row(pip);
    return std::vector<double>(values.begin(), values.end());
}

}  // namespace gesturon
