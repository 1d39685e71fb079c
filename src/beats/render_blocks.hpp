// What the motion renderers share: the building blocks of the stored tables
// (smootherstep lanes, raised-cosine bumps and envelopes, peak scaling, the
// twelve-decimal rule) and the last step of every rendering.
#pragma once

#include <functional>
#include <vector>

#include "beats.hpp"
#include "blocks.hpp"

namespace gesturon::beats {

using gen::Row;

// One row per pip of the score's period: row k is f(k).
std::vector<Row> rows_over(const Score& score, const std::function<Row(int k)>& f);

// Rounds every value to twelve decimals (zero always +0.0) and keeps the
// count of leading axes that move.
Rendering finish(const std::vector<Row>& rows, int dimensions);

// A plain closed loop for a motion whose renderer is not written yet: kicks
// pulse x, the rest of the score y, and a slow wave z.
Rendering stand_in(const Score& score, int dimensions);

// The renderer of each motion, one unit each (motion_<key>.cpp).
Rendering render_bounce(const Score& score);
Rendering render_step(const Score& score);
Rendering render_orbit(const Score& score);
Rendering render_glide(const Score& score);
Rendering render_surge(const Score& score);
Rendering render_recoil(const Score& score);
Rendering render_flutter(const Score& score);
Rendering render_dive(const Score& score);
Rendering render_pendulum(const Score& score);
Rendering render_figure8(const Score& score);
Rendering render_box(const Score& score);
Rendering render_corkscrew(const Score& score);
Rendering render_spiral(const Score& score);
Rendering render_slalom(const Score& score);
Rendering render_spring(const Score& score);
Rendering render_ricochet(const Score& score);

}  // namespace gesturon::beats
