// Closed corkscrew: the point turns twice around the loop in x and y while the
// depth makes one full wave, so the path is a screw thread bent round into a
// ring. Depth is threaded to the turn: half a wave per turn, the crest a half
// turn in and the trough a turn and a half in. Each hit throws the turn
// forward (the phase runs fast just around it and idles in the gaps), and the
// radius swells with each hit, most with percussion.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

constexpr double kTurns = 2.0;

// How hard each group throws the turn forward and swells the radius.
constexpr GroupGains kThrow{.kick = 1.0, .backbeat = 0.7, .hats = 0.15, .percussion = 0.6, .bass = 0.4};
// The backbeat's swell was raised until the ghost snares of a break widen
// the thread visibly; percussion still swells it most.
constexpr GroupGains kSwell{.kick = 1.0, .backbeat = 0.9, .hats = 0.05, .percussion = 1.6, .bass = 0.4};

// A plain kick adds kPhaseGain extra pips of phase per pip at its peak, over
// an attack of a quarter beat and a decay of 0.33 beat.
constexpr double kPhaseGain = 5.85;
constexpr double kPhaseAttack = 16.0;
constexpr double kPhaseDecay = 21.12;

// The radius at rest, and what a plain kick adds to it (over the kick
// envelope): 0.53 on the kick.
constexpr double kRadius = 0.4418;
constexpr double kKickSwell = 0.0882;

// The height of the depth wave.
constexpr double kDepth = 0.436;

}  // namespace

Rendering render_corkscrew(const Score& score) {
    const int period = score.period();
    std::vector<shapes::PhaseClock::Event> throws;
    for (const Hit& h : score.hits) {
        throws.push_back({h.pip, kPhaseGain * relative_weight(h) * kThrow.of(h.group())});
    }
    const shapes::PhaseClock clock(std::move(throws), kPhaseAttack, kPhaseDecay, period);
    const std::vector<Hit>& hits = score.hits;
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double turn = shapes::kTwoPi * kTurns * clock.at(k);
        double radius = kRadius;
        for (const Hit& h : hits) {
            const double swell = kKickSwell * relative_weight(h) * kSwell.of(h.group());
            radius += shapes::envelope(k, h.pip, swell, shapes::kKickEnvelope, period);
        }
        // Half a depth wave per turn.
        return Offset3{radius * std::cos(turn), radius * std::sin(turn), kDepth * std::sin(turn / kTurns)};
    });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
