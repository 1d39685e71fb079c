// Backbeat recoil: each snare (clap, rim) pushes the point hard to one side,
// the sides alternating; each kick counters on the vertical with a short
// knock back out of the depth and a small sway; and every push leaves a
// delayed echo, a smaller pull the other way, that draws the point back.
//
// Pushes are sharp envelopes scaled by the hit's weight relative to a normal
// hit; an echo is a rounded bump 0.4 of a beat after its push.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// The push envelope: an attack of 0.08 of a beat, a decay of 0.4.
constexpr double kAttack = 5.12;
constexpr double kDecay = 25.6;

// A plain kick: the counter on y, a knock back in depth, a small sway.
constexpr double kKickCounter = 0.257;
constexpr double kKickBack = -0.072;
constexpr double kKickSway = 0.143;

// A plain snare: the sideways push, with a slight dip and knock back.
constexpr double kSnarePush = 0.42;
constexpr double kSnareDip = -0.06;
constexpr double kSnareBack = -0.04;

// The echo of a push: 0.4 of a beat later, 0.7 of its sideways reach the
// other way, drawing back in depth.
constexpr double kEchoDelay = 25.6;
constexpr double kEchoWidth = 12.0;
constexpr double kEchoShare = -0.7;
constexpr double kEchoBack = -0.06;

// Hats tick the point up a little.
constexpr double kHatTick = 0.08;  // tuned so beats that differ in their hats alone recoil visibly differently
constexpr double kHatWidth = 6.0;
// Percussion knocks it back a little.
constexpr double kPercKnock = -0.05;
constexpr double kPercWidth = 8.0;

}  // namespace

Rendering render_recoil(const Score& score) {
    struct Push {
        double pip;
        double weight;
        Offset3 height;  // sideways push, counter or dip, knock back
    };
    std::vector<Push> pushes;
    double side = 1.0;
    for (const Hit& h : score.of(Group::kick)) {
        const double w = relative_weight(h);
        pushes.push_back({h.pip, w, {side * kKickSway * w, kKickCounter * w, kKickBack * w}});
        side = -side;
    }
    side = 1.0;
    for (const Hit& h : score.of(Group::backbeat)) {
        const double w = relative_weight(h);
        pushes.push_back({h.pip, w, {side * kSnarePush * w, kSnareDip * w, kSnareBack * w}});
        side = -side;
    }
    const std::vector<Hit> hats = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    const int period = score.period();
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        for (const Push& p : pushes) {
            r.x += shapes::envelope(k, p.pip, p.height.x, kAttack, kDecay, period);
            r.y += shapes::envelope(k, p.pip, p.height.y, kAttack, kDecay, period);
            r.z += shapes::envelope(k, p.pip, p.height.z, kAttack, kDecay, period);
            const double echo = p.pip + kEchoDelay;
            r.x += shapes::bump(k, echo, kEchoShare * p.height.x, kEchoWidth, period);
            r.z += shapes::bump(k, echo, kEchoBack * p.weight, kEchoWidth, period);
        }
        for (const Hit& h : hats) {
            r.y += shapes::bump(k, h.pip, kHatTick * relative_weight(h), kHatWidth, period);
        }
        for (const Hit& h : percussion) {
            r.z += shapes::bump(k, h.pip, kPercKnock * relative_weight(h), kPercWidth, period);
        }
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
