// Drum slalom: the point swings from side to side in one S each bar, like a
// skier down a run of gates. Each kick is a gate: it nudges the line to
// alternate sides, lifts the point, and shifts the weight through depth the
// other way (the depth runs from gate to gate, alternately forward and back).
// Snares and claps cut back: a sharp pull towards the centre line against the
// swing, with a small drop.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// The side-to-side swing, one S per bar.
constexpr double kSwing = 0.5758;

// A plain kick's gate: its push to the side (rising over 0.11 beat, fading
// over 0.46), its lift, and how far it leans through depth.
constexpr double kGatePush = 0.0602;
constexpr double kGateAttack = 7.04;
constexpr double kGateDecay = shapes::kKickEnvelope.decay;
constexpr double kGateLift = 0.3;
constexpr double kGateLean = 0.346;

// A plain snare's cutback towards the centre, and its drop.
constexpr double kCutback = 0.24;
constexpr double kCutbackDrop = 0.08;
constexpr double kCutbackAttack = 4.8;
constexpr double kCutbackDecay = 22.4;

// Hats and percussion ripple the lift a little, and each bass onset sits the
// skier back in depth against the gates' lean. Both tuned so that beats on the
// same four-floor kick that differ in hats or bass line (house, bassline,
// psy) run visibly different courses.
constexpr double kRipple = 0.08;
constexpr double kBassSitBack = 0.14;

}  // namespace

Rendering render_slalom(const Score& score) {
    const int period = score.period();
    // The gates are the kicks; a score without kicks takes its backbeats, and
    // one without either all its hits.
    std::vector<Hit> gates = score.of(Group::kick);
    if (gates.empty()) {
        gates = score.of(Group::backbeat);
    }
    if (gates.empty()) {
        gates = score.hits;
    }
    const std::vector<Hit> cutbacks = score.of(Group::backbeat);
    const auto swing = [](double k) { return kSwing * std::sin(shapes::kTwoPi * k / kPipsPerBar); };

    std::vector<shapes::Key> lean;
    double side = 1.0;
    // Two gates within a pip share one lean, the first one's.
    for (const std::vector<Hit>& gate : shapes::together(gates, 1.0)) {
        lean.push_back({gate.front().pip, -side * kGateLean * relative_weight(gate.front())});
        side = -side;
    }
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r{swing(k), 0.0, shapes::loop_lane(lean, period, k)};
        double gate_side = 1.0;
        for (const Hit& g : gates) {
            const double w = relative_weight(g);
            r.x += shapes::envelope(k, g.pip, gate_side * kGatePush * w, kGateAttack, kGateDecay, period);
            r.y += shapes::envelope(k, g.pip, kGateLift * w, kGateAttack, kGateDecay, period);
            gate_side = -gate_side;
        }
        for (const Hit& c : cutbacks) {
            const double w = relative_weight(c);
            const double against = swing(c.pip) > 0.0 ? -1.0 : 1.0;
            r.x += shapes::envelope(k, c.pip, against * kCutback * w, kCutbackAttack, kCutbackDecay, period);
            r.y -= shapes::envelope(k, c.pip, kCutbackDrop * w, kCutbackAttack, kCutbackDecay, period);
        }
        for (const Hit& h : score.hits) {
            if (h.group() == Group::bass) {
                r.z -= shapes::envelope(k, h.pip, kBassSitBack * relative_weight(h), kGateAttack, kGateDecay, period);
            }
            if (h.group() == Group::hats || h.group() == Group::percussion) {
                r.y += shapes::envelope(k, h.pip, kRipple * relative_weight(h), kCutbackAttack, kCutbackDecay, period);
            }
        }
        return r;
    });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
