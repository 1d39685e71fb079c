// The built-in catalogue: the fifteen procedural patterns followed by every
// stored pattern, listed and sampled by name. Also the face of caller-made
// patterns (SampledPattern) and of libraries laid over the catalogue
// (PatternLibrary), whose headers are included at the end.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core.hpp"

namespace gesturon {

// The process-wide list of every built-in record: the procedural records in
// their fixed order, then the stored records in pack order. Built at the
// first call (thread-safe), the same object on every call, never changed.
const std::vector<PatternInfo>& catalogue();

// The position of the built-in pattern `name` at `pip`. Throws
// std::invalid_argument "Unknown gesturon: <name>" for any other name.
Offset3 sample(std::string_view name, std::int32_t pip);

}  // namespace gesturon

#include "pattern_library.hpp"
#include "sampled_pattern.hpp"
