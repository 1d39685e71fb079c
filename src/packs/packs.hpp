// The stored patterns: one record per pattern, in pack order, and the name
// index over them. Both are constant data fixed when the program is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

// Positions into pack_entries(), in strictly ascending byte order of name.
std::span<const std::size_t> name_index() noexcept;

}  // namespace gesturon
