// Weighted pendulum: a bob hanging from a pivot above swings through a
// rising arc, one full swing every two beats, so that it turns at the top of
// its arc once a beat, as if each beat pushed it, and crosses the bottom
// between the beats: half-way when the score is even, early or late where
// it hurries or lingers. The score weights it: every hit quickens the swing
// around it, so busy stretches hurry and sparse ones linger, and the swing
// widens where kicks and snares are dense and narrows in the gaps. Seen from above the bob
// traces a narrow ellipse, forward on one pass and back on the next.
//
// The swing phase is the integral of the angular speed, normalised by its
// integral over the loop so that it closes after exactly the swings of the period.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// Two beats a swing: the bob crosses the bottom every beat.
constexpr int kBeatsPerSwing = 2;

// What a plain hit of a group does: how much it quickens the swing around it
// (the speed is 1 away from hits) and how much it widens the swing.
// Tuned so that four-floor beats that differ only in their hats, toms or
// bass line (disco and psy, trance and speed garage) swing visibly apart.
struct Weighting {
    double quicken;
    double widen;
};

Weighting weighting(Group g) {
    switch (g) {
        case Group::kick: return {0.8, 1.0};
        case Group::backbeat: return {0.6, 0.7};
        case Group::hats: return {0.8, 0.25};
        case Group::percussion: return {0.6, 0.3};
        case Group::bass: return {0.6, 0.45};
    }
    return {0.0, 0.0};
}

// How far around a hit it quickens and widens the swing.
constexpr double kQuickenWidth = 10.0;
constexpr double kWidenWidth = 32.0;

// The swing angle in radians: a base that the score widens, saturating.
// kWiden sets how soon the widening saturates; tuned so that a swing over
// a full beat of kicks and snares opens well beyond one over an empty beat,
// so the arc breathes with the bar instead of holding one width.
constexpr double kBaseAngle = 0.45;
constexpr double kAddedAngle = 0.6;
constexpr double kWiden = 0.4;

// The arm and where the bob hangs at the bottom of its arc.
constexpr double kArm = 0.8;
constexpr double kBottom = -0.45;
// Depth of the ellipse per radian of swing.
constexpr double kDepth = 0.32;

// The whole pendulum (arm, hang and depth) is sized by how busily and
// strongly the score plays: the kicks and backbeats most, the hats least.
// The range was tuned so that a beat of twice the bare pulse's drive (most
// house and garage) swings about a fifth wider than the pulse, and the
// busiest (italo, funky, afro, drive about 4) reach the pile-up ceiling;
// below the pulse it shrinks a quarter per halving.
constexpr AmplitudeRange kSize{0.75, 1.0, 1.45, 0.22, 0.25};

}  // namespace

Rendering render_pendulum(const Score& score) {
    const int period = score.period();
    const double swings = static_cast<double>(period / (kBeatsPerSwing * PIPS_PER_BEAT));

    // Angular speed and swing drive at every pip.
    std::vector<double> speed(static_cast<std::size_t>(period), 1.0);
    std::vector<double> drive(static_cast<std::size_t>(period), 0.0);
    for (int k = 0; k < period; ++k) {
        for (const Hit& h : score.hits) {
            const double w = relative_weight(h);
            const Weighting g = weighting(h.group());
            speed[k] += shapes::bump(k, h.pip, g.quicken * w, kQuickenWidth, period);
            drive[k] += shapes::bump(k, h.pip, g.widen * w, kWidenWidth, period);
        }
    }
    // The phase at pip k: the speed integrated from pip 0 to k by the
    // trapezoid rule, so that each step (the seam's too, from the last pip
    // back to pip 0) moves by the mean speed at its two ends.
    const std::vector<double> phase =
        shapes::weighted_phase(period, [&](int k) { return speed[k]; }, shapes::Integration::trapezoid);

    const double size = size_for(score, kWholeKit, kSize);
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double phi = shapes::kTwoPi * swings * phase[k];
        const double amplitude = kBaseAngle + kAddedAngle * std::tanh(kWiden * drive[k]);
        const double theta = amplitude * std::cos(phi);
        Offset3 r;
        r.x = size * kArm * std::sin(theta);
        r.y = size * (kBottom + kArm * (1.0 - std::cos(theta)));
        r.z = size * kDepth * amplitude * std::sin(phi);
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
