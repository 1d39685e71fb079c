// Bass-led dive: the bass line drives the point forward through the depth in
// broad plunges, each note pushing it further with a slow return; the drums answer
// as counterweights, swinging it to alternate sides, the kick dipping and
// the snare lifting and holding it back. Hats and percussion ride the plunge
// with small depth ticks.
//
// Without a bass line the lowest voice leads: the strongest kick of each bar
// (the earliest of equals) drives that bar's plunge, so a bare pulse of four
// equal kicks plunges once per bar, from its downbeat.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// The plunge of one driving note: a quarter-beat attack and a decay of 1.75
// beats, so that the notes of a line merge into one broad movement.
constexpr double kPlungeAttack = 16.0;
constexpr double kPlungeDecay = 112.0;
constexpr double kPlungeDepth = 0.24;

// The drum counterweight: a kick envelope per onset; the onsets of kick and
// snare alternate sides.
constexpr double kKickSwing = 0.341;
constexpr double kKickDip = -0.126;
constexpr double kSnareSwing = 0.22;
constexpr double kSnareLift = 0.12;
constexpr double kSnareHold = -0.08;

constexpr double kTickDepth = 0.07;  // tuned so hat patterns over one kick dive visibly differently
constexpr double kTickWidth = 6.0;

// The notes that drive the plunge: the bass line, or else each bar's
// strongest kick.
std::vector<Hit> drivers(const Score& score) {
    std::vector<Hit> bass = score.of(Group::bass);
    if (!bass.empty()) {
        return bass;
    }
    std::vector<Hit> out;
    for (const Hit& h : score.of(Group::kick)) {
        const bool same_bar = !out.empty() && static_cast<int>(out.back().pip) / kPipsPerBar ==
                                                  static_cast<int>(h.pip) / kPipsPerBar;
        if (!same_bar) {
            out.push_back(h);
        } else if (h.weight() > out.back().weight()) {
            out.back() = h;
        }
    }
    return out;
}

}  // namespace

Rendering render_dive(const Score& score) {
    const std::vector<Hit> plunge = drivers(score);

    // The counterweight of each drum onset: its side, and the heights its kick
    // and its snare give.
    std::vector<Hit> drums = score.of(Group::kick);
    const std::vector<Hit> snares = score.of(Group::backbeat);
    drums.insert(drums.end(), snares.begin(), snares.end());
    std::stable_sort(drums.begin(), drums.end(), [](const Hit& a, const Hit& b) { return a.pip < b.pip; });
    struct Counter {
        double pip;
        Offset3 height;
    };
    std::vector<Counter> counters;
    double side = 1.0;
    for (const std::vector<Hit>& onset : drum_onsets(drums)) {
        for (const Hit& h : onset) {
            const double w = relative_weight(h);
            if (h.group() == Group::kick) {
                counters.push_back({h.pip, {side * kKickSwing * w, kKickDip * w, 0.0}});
            } else {
                counters.push_back({h.pip, {side * kSnareSwing * w, kSnareLift * w, kSnareHold * w}});
            }
        }
        side = -side;
    }
    std::vector<Hit> ticks = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    ticks.insert(ticks.end(), percussion.begin(), percussion.end());

    const int period = score.period();
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        Offset3 r;
        for (const Hit& h : plunge) {
            r.z += shapes::envelope(k, h.pip, kPlungeDepth * relative_weight(h), kPlungeAttack, kPlungeDecay, period);
        }
        for (const Counter& c : counters) {
            r.x += shapes::envelope(k, c.pip, c.height.x, shapes::kKickEnvelope, period);
            r.y += shapes::envelope(k, c.pip, c.height.y, shapes::kKickEnvelope, period);
            r.z += shapes::envelope(k, c.pip, c.height.z, shapes::kKickEnvelope, period);
        }
        for (const Hit& h : ticks) {
            r.z += shapes::bump(k, h.pip, kTickDepth * relative_weight(h), kTickWidth, period);
        }
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
