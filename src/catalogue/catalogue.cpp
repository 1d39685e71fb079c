#include "catalogue.hpp"

#include <array>
#include <stdexcept>
#include <string>

#include "packs.hpp"

namespace gesturon {
namespace {

struct Procedural {
    PatternInfo info;
    Offset3 (*function)(std::int32_t) noexcept;
};

constexpr std::array<Procedural, 15> kProcedural{{
    {{"bounce", "One-beat vertical bounce", 64, 1}, &bounce},
    {{"sway", "Two-beat side-to-side sway", 128, 1}, &sway},
    {{"circle", "One-beat circular orbit", 64, 2}, &circle},
    {{"figure_eight", "Two-beat figure eight", 128, 2}, &figure_eight},
    {{"step_touch", "Two-beat side step with a small lift", 128, 2}, &step_touch},
    {{"box_step", "Four-beat softened square path", 256, 2}, &box_step},
    {{"helix", "Four-beat double-turn helix", 256, 3}, &helix},
    {{"morvel_background", "Morvel/Zendra four-beat accented background drift", 256, 2}, &morvel_background},
    {{"single_stroke_roll", "Alternating R/L strokes with smooth attack and decay", 64, 2}, &single_stroke_roll},
    {{"double_stroke_roll", "RRLL strokes with a softer second motion", 64, 2}, &double_stroke_roll},
    {{"multiple_bounce_roll", "Decaying same-hand bounce clusters", 64, 2}, &multiple_bounce_roll},
    {{"single_paradiddle", "RLRR LRLL with accented lead strokes", 128, 2}, &single_paradiddle},
    {{"flam", "Grace motion flowing into an opposite-hand primary motion", 64, 2}, &flam},
    {{"drag", "Two grace motions flowing into an opposite-hand primary motion", 64, 2}, &drag},
    {{"five_stroke_roll", "Two diddles resolving to an accented fifth motion", 128, 2}, &five_stroke_roll},
}};

std::vector<PatternInfo> build_catalogue() {
    const auto entries = pack_entries();
    std::vector<PatternInfo> list;
    list.reserve(kProcedural.size() + entries.size());
    for (const Procedural& p : kProcedural) {
        list.push_back(p.info);
    }
    for (const PackEntry& e : entries) {
        list.push_back(e.info);
    }
    return list;
}

}  // namespace

const std::vector<PatternInfo>& catalogue() {
    static const std::vector<PatternInfo> list = build_catalogue();
    return list;
}

const PatternInfo* find_builtin(std::string_view name) noexcept {
    for (const Procedural& p : kProcedural) {
        if (p.info.name.size() == name.size() && p.info.name == name) {
            return &p.info;
        }
    }
    const PackEntry* stored = find_stored(name);
    return stored != nullptr ? &stored->info : nullptr;
}

Offset3 sample(std::string_view name, std::int32_t pip) {
    // Procedural names: the length selects the candidates (at most three share
    // one), then the bytes decide.
    for (const Procedural& p : kProcedural) {
        if (p.info.name.size() == name.size() && p.info.name == name) {
            return p.function(pip);
        }
    }
    if (const PackEntry* stored = find_stored(name)) {
        return stored->sampler(pip);
    }
    throw UnknownPattern(name);
}

}  // namespace gesturon
