// The built-in catalogue: the fifteen procedural patterns followed by every
// stored pattern, listed and sampled by name. Also the face of caller-made
// patterns (SampledPattern) and of libraries laid over the catalogue
// (PatternLibrary), whose headers are included at the end.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core.hpp"

namespace gesturon {

// The process-wide list of every built-in record: the procedural records in
// their fixed order, then the stored records in pack order. Built at the
// first call (thread-safe), the same object on every call, never changed.
const std::vector<PatternInfo>& catalogue();

// A name that is in no catalogue: a std::invalid_argument whose message is
// "Unknown gesturon: " followed by the name. The name is kept whole beside
// the message, since a caller's name may hold NUL bytes that the C string of
// what() would cut short.
class UnknownPattern : public std::invalid_argument {
public:
    explicit UnknownPattern(std::string_view name)
        : std::invalid_argument(std::string(kPrefix) + std::string(name)), name_(name) {}
    static constexpr std::string_view kPrefix = "Unknown gesturon: ";
    const std::string& name() const noexcept { return name_; }

private:
    std::string name_;
};

// The built-in record of exactly that name, or null.
const PatternInfo* find_builtin(std::string_view name) noexcept;

// The position of the built-in pattern `name` at `pip`. Throws UnknownPattern
// for any other name.
Offset3 sample(std::string_view name, std::int32_t pip);

}  // namespace gesturon

#include "pattern_library.hpp"
#include "sampled_pattern.hpp"
