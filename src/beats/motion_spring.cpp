// Causal spring: the point hangs at rest until an onset strikes it; each
// onset starts a damped ringing that swings out, back past rest and out again,
// every swing much smaller than the one before, and has settled within a beat.
// Nothing moves before its onset, and a ringing still going at the seam goes
// on through it (each onset's ringing is measured from the onset around the
// loop, and the ringings of all onsets add).
//
// A plain kick's ringing reaches its first extreme 5 pips after the hit and
// then swings to the other side every 14 pips. Stronger onsets (accents, and
// hits that sound together) ring higher and faster, so their attacks are the
// sharpest of any motion; gentler ones ring lower and slower.
#include <algorithm>
#include <array>
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// How much an onset's hits strike the spring, by group.
constexpr GroupGains kStrike{.kick = 1.0, .backbeat = 1.0, .hats = 0.4, .percussion = 0.7, .bass = 0.6};

// The ringing of a plain kick (strength 1): its first extreme along the
// onset's direction and upward, when it comes, and how often it swings to the
// other side.
constexpr double kSwing = 0.3241;
constexpr double kLift = 0.0612;
constexpr double kFirstExtreme = 5.0;
constexpr double kHalfPeriod = 14.0;

// The swings die away as e^(-kDamping d) (1 - d / kSettle)^2, d pips after the
// onset: an exponential damping, and a friction that brings the spring to rest
// kSettle pips after a plain kick.
constexpr double kDamping = 0.0726;
constexpr double kSettle = 57.2;

// How an onset's strength s sets its attack: the ringing runs s^kSnap times as
// fast as a plain kick's and swings s^kSnap times as high. The one constant
// that sets how sharp the sharpest attacks are.
constexpr double kSnap = 0.342;

// Strengths outside this range ring as its ends do.
constexpr double kWeakest = 0.25;
constexpr double kStrongest = 3.5;

// The lift of an onset's ringing, relative to a kick's, by the group that
// leads it: a snare springs up, bass pulls down.
double lift_of(Group lead) {
    switch (lead) {
        case Group::kick: return 1.0;
        case Group::backbeat: return 2.0;
        case Group::hats: return 0.6;
        case Group::percussion: return 1.4;
        case Group::bass: return -1.2;
    }
    return 1.0;
}

// Successive onsets ring in turn forward, right, back and left.
constexpr std::array<Offset3, 4> kDirections{{{0.0, 0.0, 1.0}, {1.0, 0.0, 0.0}, {0.0, 0.0, -1.0}, {-1.0, 0.0, 0.0}}};

double damping(double d) {
    const double rest = 1.0 - d / kSettle;
    return std::exp(-kDamping * d) * rest * rest;
}

// The ringing of a plain kick, d pips after it, as a fraction of its first
// extreme: from rest to each extreme and on to the next by smootherstep, the
// extremes alternating in sign, back at rest at kSettle.
double ringing(double d) {
    if (d <= 0.0 || d >= kSettle) {
        return 0.0;
    }
    double from_pip = 0.0;
    double from = 0.0;
    double sign = 1.0;
    for (double at = kFirstExtreme; at < kSettle; at += kHalfPeriod) {
        const double height = sign * damping(at) / damping(kFirstExtreme);
        if (d <= at) {
            return shapes::ease_keys(from, height, from_pip, at, d);
        }
        from_pip = at;
        from = height;
        sign = -sign;
    }
    return shapes::ease_keys(from, 0.0, from_pip, kSettle, d);
}

}  // namespace

Rendering render_spring(const Score& score) {
    const std::vector<Onset> hits = onsets(score, kStrike);
    const int period = score.period();
    const double p = static_cast<double>(period);
    struct Ring {
        double pip;
        double speed;  // how many times as fast as a plain kick's ringing
        Offset3 swing;     // the first extreme on each axis
    };
    std::vector<Ring> rings;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const Onset& o = hits[i];
        const double snap = std::pow(std::clamp(o.strength, kWeakest, kStrongest), kSnap);
        const Offset3& dir = kDirections[i % kDirections.size()];
        const double h = kSwing * snap;
        rings.push_back({o.pip, snap, {dir.x * h, kLift * snap * lift_of(o.lead), dir.z * h}});
    }
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        for (const Ring& ring : rings) {
            // Pips since the onset, around the loop: a ringing that started
            // before the seam is still heard after it.
            double d = std::fmod(static_cast<double>(k) - ring.pip, p);
            if (d < 0.0) {
                d += p;
            }
            const double v = ringing(d * ring.speed);
            r = r + v * ring.swing;
        }
        return r;
    });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
