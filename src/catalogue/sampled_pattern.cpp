#include "sampled_pattern.hpp"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace gesturon {
namespace {

// False for NaN and both infinities as well as for a magnitude above 1.
bool is_valid_component(double v) noexcept { return std::abs(v) <= 1.0; }

}  // namespace

SampledPattern::SampledPattern(std::string name, std::string description, std::vector<Offset3> samples)
    : name_(std::move(name)), description_(std::move(description)), samples_(std::move(samples)) {
    if (!is_identifier(name_)) {
        throw std::invalid_argument("Invalid pattern name");
    }
    if (samples_.empty() || samples_.size() > max_samples) {
        throw std::invalid_argument("A pattern requires 1..65535 samples (one per pip)");
    }
    // One pass: each sample is checked, then counted towards the dimensions.
    // A non-zero z makes three; a non-zero y two unless z already did; x
    // never counts. -0.0 compares equal to 0 and so counts as zero.
    for (const Offset3& s : samples_) {
        if (!is_valid_component(s.x) || !is_valid_component(s.y) || !is_valid_component(s.z)) {
            throw std::invalid_argument("Pattern samples must be finite and within [-1, 1]");
        }
        if (s.z != 0.0) {
            dimensions_ = 3;
        } else if (s.y != 0.0 && dimensions_ != 3) {
            dimensions_ = 2;
        }
    }
}

SampledPattern::SampledPattern(SampledPattern&& other) noexcept
    : name_(std::exchange(other.name_, {})),
      description_(std::exchange(other.description_, {})),
      samples_(std::exchange(other.samples_, {})),
      dimensions_(other.dimensions_) {}

SampledPattern& SampledPattern::operator=(SampledPattern&& other) noexcept {
    if (this != &other) {
        name_ = std::exchange(other.name_, {});
        description_ = std::exchange(other.description_, {});
        samples_ = std::exchange(other.samples_, {});
        dimensions_ = other.dimensions_;
    }
    return *this;
}

PatternInfo SampledPattern::info() const noexcept {
    return PatternInfo{name_, description_, static_cast<std::uint16_t>(samples_.size()), dimensions_};
}

Offset3 SampledPattern::sample(std::int32_t pip) const {
    if (samples_.empty()) {
        throw std::logic_error("Cannot sample a moved-from pattern");
    }
    return samples_[static_cast<std::size_t>(wrap_pip(pip, period_pips()))];
}

}  // namespace gesturon
