#include "render_blocks.hpp"

namespace gesturon::beats {

Rendering render_recoil(const Score& score) {
    return stand_in(score, 3);
}

}  // namespace gesturon::beats
