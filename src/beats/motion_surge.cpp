// Forward surge: every kick thrusts the point forward through depth, dipping
// a little and swaying to alternate sides; the snares answer with the
// contrary gesture, a lift that draws back out of the depth; hats and
// percussion add small flicks on top.
//
// Every hit is a kick-style envelope (quick attack, long decay) scaled by the
// hit's weight relative to a normal hit. A bare pulse of plain kicks is
// therefore nothing but the kick envelopes at their stated heights.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// The thrust envelope: an attack of 0.11 of a beat, a decay of 0.48.
constexpr double kAttack = 7.04;
constexpr double kDecay = 30.72;

// A plain kick: forward, slightly down, to one side (the sides alternate).
constexpr double kKickDepth = 0.506;
constexpr double kKickDip = -0.1535;
constexpr double kKickSway = 0.153;

// A plain snare (clap, rim): up and back, the contrary of the thrust.
constexpr double kSnareLift = 0.34;
constexpr double kSnareBack = -0.16;

// Hat and percussion detail: short bumps, alternating sides.
constexpr double kHatWidth = 5.0;
constexpr double kHatSide = 0.07;
constexpr double kHatLift = 0.045;
constexpr double kPercWidth = 6.0;
constexpr double kPercSide = 0.04;
constexpr double kPercLift = 0.05;

}  // namespace

Rendering render_surge(const Score& score) {
    const std::vector<Hit> kicks = score.of(Group::kick);
    const std::vector<Hit> snares = score.of(Group::backbeat);
    const std::vector<Hit> hats = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    const int period = score.period();
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        double side = 1.0;
        for (const Hit& h : kicks) {
            const double w = relative_weight(h);
            r.x += shapes::envelope(k, h.pip, side * kKickSway * w, kAttack, kDecay, period);
            r.y += shapes::envelope(k, h.pip, kKickDip * w, kAttack, kDecay, period);
            r.z += shapes::envelope(k, h.pip, kKickDepth * w, kAttack, kDecay, period);
            side = -side;
        }
        for (const Hit& h : snares) {
            const double w = relative_weight(h);
            r.y += shapes::envelope(k, h.pip, kSnareLift * w, kAttack, kDecay, period);
            r.z += shapes::envelope(k, h.pip, kSnareBack * w, kAttack, kDecay, period);
        }
        side = 1.0;
        for (const Hit& h : hats) {
            const double w = relative_weight(h);
            r.x += shapes::bump(k, h.pip, side * kHatSide * w, kHatWidth, period);
            r.y += shapes::bump(k, h.pip, kHatLift * w, kHatWidth, period);
            side = -side;
        }
        side = -1.0;
        for (const Hit& h : percussion) {
            const double w = relative_weight(h);
            r.x += shapes::bump(k, h.pip, side * kPercSide * w, kPercWidth, period);
            r.y += shapes::bump(k, h.pip, kPercLift * w, kPercWidth, period);
            side = -side;
        }
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
