// A caller's own patterns laid over the built-in catalogue: new names extend
// it, and a built-in name may only be repeated by an identical pattern, which
// is then dropped.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "core.hpp"
#include "sampled_pattern.hpp"

namespace gesturon {

class PatternLibrary {
public:
    // The most patterns one library may be given, and the most samples they
    // may hold together (every given pattern counts, dropped ones included).
    static constexpr std::size_t max_patterns = 1024;
    static constexpr std::size_t max_total_samples = 1048576;

    // Validates the pack as a whole and keeps the accepted patterns, moved
    // out of `patterns`, in the given order. Throws std::invalid_argument
    // with the message of the first check that fails.
    explicit PatternLibrary(std::vector<SampledPattern> patterns);

    // The position of a user pattern by name, else of the built-in pattern of
    // that name; UnknownPattern (a std::invalid_argument, "Unknown gesturon: <name>") otherwise.
    Offset3 sample(std::string_view name, std::int32_t pip) const;

    // The built-in records followed by one record per kept user pattern. The
    // user records view strings owned by this library.
    std::vector<PatternInfo> catalogue() const;

private:
    void place_names();
    const SampledPattern* find_own(std::string_view name) const noexcept;

    // One slot of the name lookup: the high half of the name's hash and its
    // position in patterns_ plus one, 0 for a free slot.
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t position = 0;
    };

    std::vector<SampledPattern> patterns_;
    std::vector<Slot> slots_;  // empty when the library holds no pattern of its own
};

}  // namespace gesturon
