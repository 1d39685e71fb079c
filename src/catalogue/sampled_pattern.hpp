// A caller-made pattern: a name, a description and one position per pip over
// one period, validated once when it is built.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core.hpp"

namespace gesturon {

class SampledPattern {
public:
    // The most samples, and so the longest period, one pattern can carry.
    static constexpr std::size_t max_samples = 65535;

    // Takes ownership of all three arguments, then validates them: the name
    // (1..128 bytes of a-z, 0-9 and "_", the first a letter), the sample
    // count, then every component (finite, magnitude at most 1). Throws
    // std::invalid_argument with the message of the first check that fails.
    SampledPattern(std::string name, std::string description, std::vector<Offset3> samples);

    // Copies are deep. A move leaves the source without samples and with
    // empty strings (it keeps its dimensions); such a pattern cannot be
    // sampled.
    SampledPattern(const SampledPattern&) = default;
    SampledPattern& operator=(const SampledPattern&) = default;
    SampledPattern(SampledPattern&& other) noexcept;
    SampledPattern& operator=(SampledPattern&& other) noexcept;
    ~SampledPattern() = default;

    // The catalogue record of this pattern. Its strings view this object's
    // own and stay valid while the pattern lives unmoved and unassigned.
    PatternInfo info() const noexcept;

    const std::string& name() const noexcept { return name_; }
    const std::string& description() const noexcept { return description_; }
    // The number of samples: the period, or 0 for a moved-from pattern.
    std::int32_t period_pips() const noexcept { return static_cast<std::int32_t>(samples_.size()); }

    // The sample at wrap_pip(pip, period), exactly as it was given. Throws
    // std::logic_error for a moved-from pattern.
    Offset3 sample(std::int32_t pip) const;

private:
    std::string name_;
    std::string description_;
    std::vector<Offset3> samples_;
    std::uint8_t dimensions_ = 1;
};

}  // namespace gesturon
