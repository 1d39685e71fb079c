// The lookup of a stored pattern by name, over the slots that the generator
// placed with name_hash.
#include "packs.hpp"
#include "rows.hpp"

namespace gesturon {

const PackEntry* find_stored(std::string_view name) noexcept {
    const std::span<const std::uint16_t> slots = detail::name_slots();
    const std::span<const PackEntry> entries = pack_entries();
    const std::size_t mask = slots.size() - 1;
    for (std::size_t slot = name_hash(name) & mask;; slot = (slot + 1) & mask) {
        const std::uint16_t held = slots[slot];
        if (held == 0) {
            return nullptr;
        }
        const PackEntry& entry = entries[held - 1];
        if (entry.info.name == name) {
            return &entry;
        }
    }
}

}  // namespace gesturon
