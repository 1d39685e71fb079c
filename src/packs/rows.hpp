// Row access for the generated samplers. The rows of every stored table lie
// end to end in one read-only block that the build assembles from the
// generator's output; a sampler only knows where its table starts and how
// long its period is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core.hpp"

extern "C" const gesturon::Offset3 gesturon_pack_rows[];

namespace gesturon::detail {

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
