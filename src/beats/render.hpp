// What every motion renderer shares: the shape library, how a motion reads
// a score (reading.hpp), the ceilings of busy tables and the last step of
// every rendering. Private to the beat renderers; their face is beats.hpp.
#pragma once

#include <functional>
#include <vector>

#include "beats.hpp"
#include "reading.hpp"
#include "shapes.hpp"

namespace gesturon::beats {

// Peak ceilings of the motions whose size is not set by a drive: a busy
// score's table is scaled back to its ceiling, a plain one is left as it
// is. The motions built of hit envelopes that pile up (surge, recoil,
// flutter, dive, pendulum, figure8) stop at 0.92; the ones that travel a
// path from onset to onset (box, corkscrew, spiral, slalom, spring,
// ricochet) may reach 0.95, as their peaks sit on the path, not on a pile-up.
inline constexpr double kPileUpCeiling = 0.92;
inline constexpr double kPathCeiling = 0.95;

// One row per pip of the score's period: row k is f(k).
inline std::vector<Offset3> rows_over(const Score& score, const std::function<Offset3(int k)>& f) {
    return shapes::rows_over(score.period(), f);
}

// Rounds every value to twelve decimals (zero always +0.0) and keeps the
// count of leading axes that move.
Rendering finish(const std::vector<Offset3>& rows, int dimensions);

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
