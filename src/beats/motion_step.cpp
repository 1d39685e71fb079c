// Snare side-step: the dancer steps from side to side on the kicks and the
// backbeat. Every main kick or snare gesture, in time order, steps x to the
// other side and dips y; a kick dips deeper than a snare, which steps wider
// (a kick and snare together step wide and dip between the two); ghost notes
// are small echoes on the side just stepped to. Between the steps the hats
// keep a light knee bounce going in y. Where the beat uses depth, each backbeat (or, without one, each kick) also leans the body forward in z.
//
// The width of the steps follows the drive of the kicks and backbeats
// together, so the bare four-kick bar steps exactly +0.42, -0.42, +0.42,
// -0.42 with a dip of -0.22 on every kick: the plain kick envelope.
#include "render.hpp"

namespace gesturon::beats {

namespace {

constexpr shapes::Envelope kKick = shapes::kKickEnvelope;

// Heights for a normal gesture, before the step is sized to its drive.
constexpr double kKickStep = 0.42;
constexpr double kKickDip = -0.22;
constexpr double kSnareStep = 0.5;
constexpr double kSnareDip = -0.12;
constexpr double kLean = 0.14;
// The hats' knee bounce: quick and small.
constexpr double kBounce = 0.08;  // tuned so that beats on one kick and clap step differently by their hats

// Largest x: 0.42 for the bare pulse, 0.2105 more per doubling of the drive,
// 0.43 less per halving, within 0.3108 .. 0.7464.
constexpr AmplitudeRange kWidth{0.3108, 0.42, 0.7464, 0.2105, 0.43};
constexpr GroupWeights kListen{1.0, 1.0, 0.125, 0.25, 0.125};

}  // namespace

Rendering render_step(const Score& score) {
    const int period = score.period();
    std::vector<Hit> hits = score.of(Group::kick);
    const std::vector<Hit> backbeats = score.of(Group::backbeat);
    hits.insert(hits.end(), backbeats.begin(), backbeats.end());
    const std::vector<Gesture> moves = gestures(hits);
    // The hats and percussion bounce the knees between the steps.
    std::vector<Hit> hats = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    hats.insert(hats.end(), percussion.begin(), percussion.end());
    const std::vector<double> side = alternate_sides(moves);
    // A beat without a backbeat leans on its kicks instead.
    const bool lean_on_kicks = backbeats.empty();

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        for (std::size_t i = 0; i < moves.size(); ++i) {
            const Gesture& g = moves[i];
            const double w = g.weight / level_weight(Level::normal);
            const double step = g.other ? kSnareStep : kKickStep;
            const double dip = !g.other ? kKickDip : g.kick ? 0.5 * (kKickDip + kSnareDip) : kSnareDip;
            r.x += shapes::envelope(k, g.pip, side[i] * step * w, kKick, period);
            r.y += shapes::envelope(k, g.pip, dip * w, kKick, period);
            if (score.depth && lean_on_kicks) {
                r.z += shapes::envelope(k, g.pip, kLean * w, kKick.attack, 2.0 * kKick.decay, period);
            }
        }
        for (const Hit& h : hats) {
            r.y += shapes::envelope(k, h.pip, kBounce * relative_weight(h), kHatEnvelope, period);
        }
        if (score.depth) {
            for (const Hit& b : backbeats) {
                r.z += shapes::envelope(k, b.pip, kLean * relative_weight(b), kKick.attack, 2.0 * kKick.decay, period);
            }
        }
        return r;
    });
    shapes::scale(rows, shapes::peak_factor(rows, 0, amplitude(drive(score, kListen), kWidth)));
    return finish(rows, score.depth ? 3 : 2);
}

}  // namespace gesturon::beats
