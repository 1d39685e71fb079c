// The stored patterns: one record per pattern, in pack order, and the lookup
// by name over them. Both rest on constant data fixed when the program is
// built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core.hpp"

namespace gesturon {

// A stored pattern: its catalogue record and its sampler. The sampler wraps
// any pip into the period and returns that row of the table unchanged.
struct PackEntry {
    PatternInfo info;
    Offset3 (*sampler)(std::int32_t pip) noexcept;
};

// Every stored pattern, in pack order and within a pack in its listed order.
std::span<const PackEntry> pack_entries() noexcept;

// The stored pattern of exactly that name (same length, same bytes), or
// null. Constant time: one hash of the name and, almost always, one compare.
const PackEntry* find_stored(std::string_view name) noexcept;

}  // namespace gesturon
