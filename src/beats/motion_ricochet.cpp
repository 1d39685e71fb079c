// Directional ricochet: the point waits at a rest a little below centre, and
// each onset flings it out to the next target of a cycle (right and forward,
// up and back, left and forward, down and back), from where it falls back to
// rest, or, when the next onset comes before it gets there, ricochets straight
// on to the next target. Onsets reach their targets in proportion to their
// strength: a ghost only starts out towards its target, an accent overshoots
// it a little.
#include <algorithm>
#include <array>

#include "render.hpp"

namespace gesturon::beats {

namespace {

constexpr GroupGains kFling{.kick = 1.0, .backbeat = 1.0, .hats = 0.35, .percussion = 0.8, .bass = 0.6};

// Where the point waits between excursions.
constexpr Offset3 kRest{0.0, -0.12, 0.0};

// The cycle of targets, as offsets from rest reached by a plain kick.
constexpr std::array<Offset3, 4> kTargets{{
    {0.54, 0.0, 0.22},
    {0.0, 0.46, -0.22},
    {-0.54, 0.0, 0.22},
    {0.0, -0.46, -0.22},
}};

// An excursion leaves rest kRise pips before its onset and is back at rest
// kFall pips after it (the kick envelope's attack and decay).
constexpr double kRise = shapes::kKickEnvelope.attack;
constexpr double kFall = shapes::kKickEnvelope.decay;

// The reach of an onset is its strength, within these bounds.
constexpr double kLeast = 0.3;
constexpr double kMost = 1.3;
// A full excursion needs a sixteenth note after the onset before it.
constexpr double kFullFlight = 16.0;

}  // namespace

Rendering render_ricochet(const Score& score) {
    const std::vector<Onset> hits = onsets(score, kFling);
    const int period = score.period();
    const double p = static_cast<double>(period);
    std::vector<shapes::Pose> keys;
    // Where the point was sent last: an onset hard on the heels of the last
    // one only gets part of the way from there towards its own target, as
    // far as the time it has allows (the first onset counts from rest).
    Offset3 last = kRest;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const Onset& o = hits[i];
        const double previous = i > 0 ? hits[i - 1].pip : hits.back().pip - p;
        const double since = hits.size() == 1 ? p : o.pip - previous;
        const double share = std::min(1.0, since / kFullFlight);
        const double reach = std::clamp(o.strength, kLeast, kMost);
        const Offset3& t = kTargets[i % kTargets.size()];
        const Offset3 target = kRest + reach * t;
        const Offset3 key = share == 1.0 ? target : shapes::mix(last, target, share);
        keys.push_back({o.pip, key});
        last = key;
        // A long gap to the next onset: back to rest, and wait there.
        const double next = i + 1 < hits.size() ? hits[i + 1].pip : hits.front().pip + p;
        if (next - o.pip > kRise + kFall) {
            keys.push_back({o.pip + kFall, kRest});
            keys.push_back({next - kRise, kRest});
            last = kRest;
        }
    }
    // Rest keys that fall past the seam belong at the start of the loop.
    for (shapes::Pose& key : keys) {
        if (key.pip >= p) {
            key.pip -= p;
        }
    }
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.pip < b.pip; });
    std::vector<Offset3> rows = rows_over(score, [&](int k) { return shapes::loop_lane(keys, period, k); });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
