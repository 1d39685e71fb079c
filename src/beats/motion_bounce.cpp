// Kick-led bounce: every kick drops the body into a bounce that lifts y with
// a short attack and a long decay; snares and claps add side accents in x,
// alternately left and right; the hats keep a light bob going in y between
// the kicks; where the beat uses depth, hats and percussion add a small
// forward cue in z.
//
// The size of the bounce follows how hard and how often the kicks play (the
// kick drive), so four normal kicks a bar give exactly the bare-pulse
// heights and the bare four-kick bar is the plain kick envelope.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// Heights for a normal hit, before the bounce is sized to its drive.
constexpr double kKickHeight = 0.55;
constexpr double kSideHeight = 0.18;
constexpr double kDepthHeight = 0.05;
// The hats' bob: quick and small beside the kick's bounce.
constexpr double kBob = 0.06;

// Largest y: 0.55 for the bare pulse, 0.135 more per doubling of the kick
// drive, 0.2 less per halving, within 0.3962 .. 0.6826.
constexpr AmplitudeRange kLift{0.3962, 0.55, 0.6826, 0.135, 0.2};
// The kicks lead; backbeats count a quarter, the rest a tenth or less.
constexpr GroupWeights kListen{1.0, 0.25, 0.0625, 0.125, 0.125};

constexpr double kSideLimit = 0.27;
// The depth cue: up to 0.06, in proportion to how busy the hats and
// percussion are (full at two normal hits a beat).
constexpr double kDepthLimit = 0.06;
constexpr GroupWeights kDepthListen{0.0, 0.0, 1.0, 1.0, 0.0};

double contribution(int k, const Gesture& g, double height, int period) {
    return shapes::envelope(k, g.pip, height * (g.weight / level_weight(Level::normal)), shapes::kKickEnvelope, period);
}

}  // namespace

Rendering render_bounce(const Score& score) {
    const int period = score.period();
    const std::vector<Gesture> kicks = gestures(score.of(Group::kick));
    std::vector<Hit> accents = score.of(Group::backbeat);
    if (accents.empty()) {
        // No backbeat: the percussion (or else the hats) marks the sides.
        accents = score.of(Group::percussion);
        if (accents.empty()) {
            accents = score.of(Group::hats);
        }
    }
    const std::vector<Gesture> sides = gestures(accents);
    const std::vector<double> side = alternate_sides(sides);
    // The upper kit (hats and percussion) bobs the point between the kicks.
    std::vector<Hit> upper = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    upper.insert(upper.end(), percussion.begin(), percussion.end());
    const std::vector<Gesture> cues = gestures(upper.empty() ? score.hits : upper);

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        for (const Gesture& g : kicks) {
            r.y += contribution(k, g, kKickHeight, period);
        }
        for (const Hit& h : upper) {
            r.y += shapes::envelope(k, h.pip, kBob * relative_weight(h), kHatEnvelope, period);
        }
        for (std::size_t i = 0; i < sides.size(); ++i) {
            r.x += contribution(k, sides[i], side[i] * kSideHeight, period);
        }
        if (score.depth) {
            for (const Gesture& g : cues) {
                r.z += contribution(k, g, kDepthHeight, period);
            }
        }
        return r;
    });

    const double lift = amplitude(drive(score, kListen), kLift);
    const double s = shapes::peak_factor(rows, 1, lift);
    shapes::scale(rows, s);
    if (shapes::peak(rows, 0) > kSideLimit) {
        shapes::scale_axis(rows, 0, shapes::peak_factor(rows, 0, kSideLimit));
    }
    if (score.depth) {
        const double busy = std::min(1.0, drive(score, kDepthListen) / 2.0);
        shapes::scale_axis(rows, 2, shapes::peak_factor(rows, 2, kDepthLimit * std::max(busy, 0.25)));
    }
    return finish(rows, score.depth ? 3 : 2);
}

}  // namespace gesturon::beats
