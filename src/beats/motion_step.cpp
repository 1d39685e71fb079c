// Snare side-step: kicks step to alternate sides and dip y.
#include "render_blocks.hpp"

namespace gesturon::beats {

namespace {

constexpr double kAttack = 6.4;
constexpr double kDecay = 29.44;

}  // namespace

Rendering render_step(const Score& score) {
    const std::vector<Hit> kicks = score.of(Group::kick);
    const int period = score.period();
    const std::vector<Row> rows = rows_over(score, [&](int k) {
        Row r;
        double side = 1.0;
        for (const Hit& kick : kicks) {
            const double w = kick.weight() / level_weight(Level::normal);
            r.x += gen::envelope(k, kick.pip, side * 0.42 * w, kAttack, kDecay, period);
            r.y += gen::envelope(k, kick.pip, -0.22 * w, kAttack, kDecay, period);
            side = -side;
        }
        if (score.depth) {
            for (const Hit& h : score.hits) {
                if (h.group() != Group::kick) {
                    r.z += gen::envelope(k, h.pip, 0.05 * h.weight(), kAttack, kDecay, period);
                }
            }
        }
        return r;
    });
    return finish(rows, score.depth ? 3 : 2);
}

}  // namespace gesturon::beats
