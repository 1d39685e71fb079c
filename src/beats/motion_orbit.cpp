#include "render_blocks.hpp"

namespace gesturon::beats {

Rendering render_orbit(const Score& score) {
    return stand_in(score, score.of(Group::kick).size() == score.hits.size() ? 2 : 3);
}

}  // namespace gesturon::beats
