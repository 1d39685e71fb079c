// Breathing spiral: two turns round the loop, winding in through the first
// and out again through the second, on a tilted cone: the tighter the spiral,
// the further forward. Turn and breath share one rhythm-weighted phase, so the
// spiral winds on after every hit and closes at the seam on the turn it
// started with; kicks breathe it out for a moment and backbeats tip it
// forward.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

constexpr double kTurns = 2.0;

// How hard each group winds the spiral on, over a third of a beat around the
// hit.
constexpr GroupGains kWind{.kick = 1.6, .backbeat = 1.6, .hats = 0.8, .percussion = 1.2, .bass = 0.8};
constexpr double kWindAttack = 8.0;
constexpr double kWindDecay = 24.0;

// The radius at the seam (breathed out) and halfway (breathed in).
constexpr double kOuter = 0.62;
constexpr double kInner = 0.16;

// Depth: the cone (forward when breathed in) and its tilt.
constexpr double kCone = 0.42;
constexpr double kTilt = 0.3;

// A plain kick breathes the spiral out by a fifth of its radius, a plain
// backbeat tips it forward.
constexpr double kKickBreath = 0.2;
constexpr double kBackbeatTip = 0.16;

// The whole spiral is sized by how busily and strongly the score plays.
// Tuned so that a beat of twice the bare pulse's drive winds a spiral about
// a sixth wider than the pulse's, and the busiest grow until their kick
// swells touch the path ceiling; the rest radius (kOuter) leaves them that
// room.
constexpr AmplitudeRange kSize{0.78, 1.0, 1.3, 0.16, 0.22};

}  // namespace

Rendering render_spiral(const Score& score) {
    const int period = score.period();
    std::vector<shapes::PhaseClock::Event> wind;
    for (const Hit& h : score.hits) {
        wind.push_back({h.pip, relative_weight(h) * kWind.of(h.group())});
    }
    const shapes::PhaseClock clock(std::move(wind), kWindAttack, kWindDecay, period);
    const std::vector<Hit> kicks = score.of(Group::kick);
    const std::vector<Hit> backbeats = score.of(Group::backbeat);
    const double size = size_for(score, kWholeKit, kSize);
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double u = clock.at(k);
        const double turn = shapes::kTwoPi * kTurns * u;
        // 1 at the seam, 0 halfway: breathed out, then in, then out again.
        const double breath = 0.5 + 0.5 * std::cos(shapes::kTwoPi * u);
        double swell = 1.0;
        for (const Hit& h : kicks) {
            swell += shapes::envelope(k, h.pip, kKickBreath * relative_weight(h), shapes::kKickEnvelope, period);
        }
        const double radius = (kInner + (kOuter - kInner) * breath) * swell;
        const double x = radius * std::cos(turn);
        const double y = radius * std::sin(turn);
        double z = kCone * (0.5 - breath) + kTilt * y;
        for (const Hit& h : backbeats) {
            z += shapes::envelope(k, h.pip, kBackbeatTip * relative_weight(h), shapes::kKickEnvelope, period);
        }
        return Offset3{size * x, size * y, size * z};
    });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
