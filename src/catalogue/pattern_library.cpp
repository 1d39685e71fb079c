#include "pattern_library.hpp"

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "catalogue.hpp"

namespace gesturon {
namespace {

// Whether `p` repeats the built-in pattern `record` exactly: the same
// description, the same period, and every sample equal in all three
// components to the built-in value at that pip.
bool repeats_builtin(const SampledPattern& p, const PatternInfo& record) {
    if (p.description() != record.description || p.period_pips() != record.period_pips) {
        return false;
    }
    for (std::int32_t pip = 0; pip < p.period_pips(); ++pip) {
        const Offset3 mine = p.sample(pip);
        const Offset3 theirs = gesturon::sample(record.name, pip);
        if (mine.x != theirs.x || mine.y != theirs.y || mine.z != theirs.z) {
            return false;
        }
    }
    return true;
}

}  // namespace

PatternLibrary::PatternLibrary(std::vector<SampledPattern> patterns) {
    if (patterns.size() > max_patterns) {
        throw std::invalid_argument("Too many patterns");
    }
    std::unordered_set<std::string> names_seen;
    std::size_t total_samples = 0;

    // Per pattern, in this order: empty, duplicate, total, built-in.
    for (SampledPattern& p : patterns) {
        if (p.period_pips() == 0) {
            throw std::invalid_argument("Empty/moved-from pattern");
        }
        if (!names_seen.insert(p.name()).second) {
            throw std::invalid_argument("Duplicate pattern name: " + p.name());
        }
        total_samples += static_cast<std::size_t>(p.period_pips());
        if (total_samples > max_total_samples) {
            throw std::invalid_argument("Pattern pack is too large");
        }
        if (const PatternInfo* record = find_builtin(p.name())) {
            if (!repeats_builtin(p, *record)) {
                throw std::invalid_argument("Cannot override default pattern: " + p.name());
            }
            continue;  // identical to the built-in one: nothing to add
        }
        patterns_.push_back(std::move(p));
    }
    place_names();
}

// Open addressing by name_hash, at most half full, as the stored names are
// placed: a kept name is found, and a built-in one passed on, at or near its
// first slot, however many patterns the library holds.
void PatternLibrary::place_names() {
    if (patterns_.empty()) {
        return;
    }
    std::size_t count = 1;
    while (count < 2 * patterns_.size()) {
        count *= 2;
    }
    slots_.assign(count, Slot{});
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
        const std::uint64_t hash = name_hash(patterns_[i].name());
        std::size_t slot = hash & (count - 1);
        while (slots_[slot].position != 0) {
            slot = (slot + 1) & (count - 1);
        }
        slots_[slot] = Slot{static_cast<std::uint32_t>(hash >> 32), static_cast<std::uint32_t>(i + 1)};
    }
}

const SampledPattern* PatternLibrary::find_own(std::string_view name) const noexcept {
    if (slots_.empty()) {
        return nullptr;
    }
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t hash = name_hash(name);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.position == 0) {
            return nullptr;
        }
        // The tag settles nearly every stranger in the probe without reading
        // its name.
        if (held.tag == tag && patterns_[held.position - 1].name() == name) {
            return &patterns_[held.position - 1];
        }
    }
}

Offset3 PatternLibrary::sample(std::string_view name, std::int32_t pip) const {
    if (const SampledPattern* own = find_own(name)) {
        return own->sample(pip);
    }
    return gesturon::sample(name, pip);
}

std::vector<PatternInfo> PatternLibrary::catalogue() const {
    const std::vector<PatternInfo>& builtins = gesturon::catalogue();
    std::vector<PatternInfo> records;
    records.reserve(builtins.size() + patterns_.size());
    records.insert(records.end(), builtins.begin(), builtins.end());
    for (const SampledPattern& p : patterns_) {
        records.push_back(p.info());
    }
    return records;
}

}  // namespace gesturon
