// What the generated source and the hand-written parts of the packs share.
// Row access for the generated samplers: the rows of every stored table lie
// end to end in one read-only block that the build assembles from the
// generator's output; a sampler only knows where its table starts and how
// long its period is. And the slots of the name lookup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core.hpp"

extern "C" const gesturon::Offset3 gesturon_pack_rows[];

namespace gesturon::detail {

// The open-addressed table of the name lookup: a power-of-two count of
// slots, at least twice the count of stored patterns. A name starts at slot
// name_hash(name) & (count - 1) and moves on one slot at a time; a slot holds
// a position into pack_entries() plus one, or 0 where the probing stops.
std::span<const std::uint16_t> name_slots() noexcept;

template <std::size_t First, std::int32_t Period>
inline Offset3 stored_row(std::int32_t pip) noexcept {
    static_assert(Period >= 1 && Period <= 65535);
    if constexpr ((Period & (Period - 1)) == 0) {
        // Power-of-two period: the two's-complement mask is the floor modulo.
        return gesturon_pack_rows[First + static_cast<std::size_t>(pip & (Period - 1))];
    } else {
        return gesturon_pack_rows[First + static_cast<std::size_t>(wrap_pip(pip, Period))];
    }
}

}  // namespace gesturon::detail
