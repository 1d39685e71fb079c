#include "pattern_library.hpp"

#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "catalogue.hpp"

namespace gesturon {
namespace {

// The built-in record named `name`, by a scan from the start of the list.
const PatternInfo* find_builtin(const std::vector<PatternInfo>& builtins, std::string_view name) noexcept {
    for (const PatternInfo& record : builtins) {
        if (record.name.size() == name.size() && record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

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
    const std::vector<PatternInfo>& builtins = gesturon::catalogue();

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
        if (const PatternInfo* record = find_builtin(builtins, p.name())) {
            if (!repeats_builtin(p, *record)) {
                throw std::invalid_argument("Cannot override default pattern: " + p.name());
            }
            continue;  // identical to the built-in one: nothing to add
        }
        patterns_.push_back(std::move(p));
    }
}

Offset3 PatternLibrary::sample(std::string_view name, std::int32_t pip) const {
    for (const SampledPattern& p : patterns_) {
        if (p.name().size() == name.size() && p.name() == name) {
            return p.sample(pip);
        }
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
