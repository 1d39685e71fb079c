// Kick-led bounce: every kick lifts y with a short attack and a long decay.
#include "render_blocks.hpp"

namespace gesturon::beats {

namespace {

// The kick envelope: an attack of a tenth of a beat and a decay of 0.46 of a
// beat, exactly at full height on the kick.
constexpr double kAttack = 6.4;
constexpr double kDecay = 29.44;

}  // namespace

Rendering render_bounce(const Score& score) {
    const std::vector<Hit> kicks = score.of(Group::kick);
    const std::vector<Hit> backbeats = score.of(Group::backbeat);
    const std::vector<Hit> hats = score.of(Group::hats);
    const int period = score.period();
    const std::vector<Row> rows = rows_over(score, [&](int k) {
        Row r;
        for (const Hit& kick : kicks) {
            r.y += gen::envelope(k, kick.pip, 0.55 * (kick.weight() / level_weight(Level::normal)), kAttack, kDecay,
                                 period);
        }
        // Backbeats give side accents, alternately left and right.
        double side = 1.0;
        for (const Hit& b : backbeats) {
            r.x += gen::envelope(k, b.pip, side * 0.2 * b.weight(), kAttack, kDecay, period);
            side = -side;
        }
        if (score.depth) {
            for (const Hit& h : hats) {
                r.z += gen::envelope(k, h.pip, 0.04 * h.weight(), kAttack, kDecay, period);
            }
        }
        return r;
    });
    return finish(rows, score.depth ? 3 : 2);
}

}  // namespace gesturon::beats
