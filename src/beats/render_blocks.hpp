// What the motion renderers share: the building blocks of the stored tables
// (smootherstep lanes, raised-cosine bumps and envelopes, peak scaling, the
// twelve-decimal rule) and the last step of every rendering.
#pragma once

#include <algorithm>
#include <functional>
#include <span>
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

// ---------------------------------------------------------------------------
// Helpers of the score-driven dancefloor motions: weights relative to a
// normal hit, hits that sound together, a smooth lane through keys anywhere
// on the loop, and a ceiling on a busy table's peak.

// A hit's weight relative to a normal hit: exactly 1 for a normal hit, so
// that a score of plain hits renders every height unscaled; 1.25 for an
// accent, 0.5 for a ghost.
inline double relative_weight(const Hit& hit) noexcept {
    return hit.weight() / level_weight(Level::normal);
}

// The hits (in time order) grouped into onsets that sound together: each
// group holds the hits within `within` pips of its first hit.
inline std::vector<std::vector<Hit>> together(const std::vector<Hit>& hits, double within) {
    std::vector<std::vector<Hit>> groups;
    for (const Hit& h : hits) {
        if (groups.empty() || h.pip - groups.back().front().pip > within) {
            groups.emplace_back();
        }
        groups.back().push_back(h);
    }
    return groups;
}

// A smootherstep lane through keys at any pips of the loop, in increasing
// order in [0, period): from key to key, and from the last key round the seam
// to the first. No keys give 0; a single key holds its value.
inline double loop_lane(std::span<const gen::Key> keys, int period, double k) {
    if (keys.empty()) {
        return 0.0;
    }
    // The last key at or before k, or the last key of the loop before the first.
    auto next = std::upper_bound(keys.begin(), keys.end(), k,
                                 [](double pip, const gen::Key& key) { return pip < key.pip; });
    const gen::Key& from = next == keys.begin() ? keys.back() : *(next - 1);
    const gen::Key& to = next == keys.end() ? keys.front() : *next;
    const double p = static_cast<double>(period);
    double span = to.pip - from.pip;
    double done = k - from.pip;
    if (span <= 0.0) {
        span += p;
    }
    if (done < 0.0) {
        done += p;
    }
    return from.value + (to.value - from.value) * gen::smootherstep(done / span);
}

// Scales the rows down so that their largest magnitude is `ceiling` when they
// go past it; rows within it are left exactly as they are.
inline void limit_peak(std::vector<Row>& rows, double ceiling) {
    const double top = gen::peak_any(rows);
    if (top > ceiling) {
        gen::scale(rows, ceiling / top);
    }
}

}  // namespace gesturon::beats
