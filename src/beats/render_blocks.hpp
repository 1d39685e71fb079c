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

// ---------------------------------------------------------------------------
#include <cmath>

// Onsets, rhythm-weighted phase, loop lanes and a peak guard: shared by the
// motions that travel, ring or jump from onset to onset (box, corkscrew,
// spiral, slalom, spring, ricochet) and free for any other motion.

namespace gesturon::beats {

// The weight of a hit relative to a plain (normal) hit: 1.25 accent, 1
// normal, 0.5 ghost.
inline double relative_weight(const Hit& h) {
    return h.weight() / level_weight(Level::normal);
}

// What a motion gives each group of the score: one gain per group.
struct GroupGains {
    double kick = 0.0;
    double backbeat = 0.0;
    double hats = 0.0;
    double percussion = 0.0;
    double bass = 0.0;

    double of(Group g) const {
        switch (g) {
            case Group::kick: return kick;
            case Group::backbeat: return backbeat;
            case Group::hats: return hats;
            case Group::percussion: return percussion;
            case Group::bass: return bass;
        }
        return 0.0;
    }
};

// One onset: the hits that sound together (within half a pip of the first),
// their time, their summed strength (relative weight times the group's gain)
// and the group of the strongest of them.
struct Onset {
    double pip = 0.0;
    double strength = 0.0;
    Group lead = Group::kick;
};

inline std::vector<Onset> onsets(const Score& score, const GroupGains& gains) {
    std::vector<Onset> out;
    double strongest = 0.0;
    for (const Hit& h : score.hits) {
        const double s = relative_weight(h) * gains.of(h.group());
        if (s <= 0.0) {
            continue;
        }
        if (out.empty() || h.pip - out.back().pip >= 0.5) {
            out.push_back({h.pip, 0.0, h.group()});
            strongest = 0.0;
        }
        out.back().strength += s;
        if (s > strongest) {
            strongest = s;
            out.back().lead = h.group();
        }
    }
    return out;
}

// The area under gen::envelope(., t0, 1, attack, decay) over [0, k] of the
// loop, for k in [0, period]: the part of a phase that one event adds.
inline double envelope_area(double k, double t0, double attack, double decay, int period) {
    // Area from the start of the envelope to a distance d past its peak.
    const auto from_start = [&](double d) {
        if (d <= -attack) {
            return 0.0;
        }
        if (d < 0.0) {
            return (d + attack) / 2.0 + attack / (2.0 * gen::kPi) * std::sin(gen::kPi * d / attack);
        }
        if (d < decay) {
            return attack / 2.0 + d / 2.0 + decay / (2.0 * gen::kPi) * std::sin(gen::kPi * d / decay);
        }
        return (attack + decay) / 2.0;
    };
    const double p = static_cast<double>(period);
    double a = 0.0;
    for (const double image : {t0 - p, t0, t0 + p}) {
        a += from_start(k - image) - from_start(-image);
    }
    return a;
}

// A phase that runs faster after events: the loop's time k is stretched by
// 1 + sum of the events' envelopes, and normalised so that it runs from 0 at
// pip 0 to exactly 1 at the seam. With no events it is k / period.
class PhaseClock {
public:
    struct Event {
        double pip;
        double gain;  // how many extra pips of phase the envelope's peak adds per pip
    };

    PhaseClock(std::vector<Event> events, double attack, double decay, int period)
        : events_(std::move(events)), attack_(attack), decay_(decay), period_(period) {
        total_ = static_cast<double>(period);
        for (const Event& e : events_) {
            total_ += e.gain * (attack_ + decay_) / 2.0;
        }
    }

    // The fraction of the loop's phase reached at pip k, k in [0, period].
    double at(double k) const {
        double w = k;
        for (const Event& e : events_) {
            w += e.gain * envelope_area(k, e.pip, attack_, decay_, period_);
        }
        return w / total_;
    }

private:
    std::vector<Event> events_;
    double attack_;
    double decay_;
    int period_;
    double total_;
};

// A keyframe lane around the loop: keys at any pips in [0, period) in
// increasing order, smootherstep from key to key, and from the last key across
// the seam to the first. Values may be numbers or rows; with no keys the lane
// rests at zero.
template <typename V>
struct LoopKey {
    double pip;
    V value;
};

inline double mix(double a, double b, double s) {
    return a + (b - a) * s;
}
inline Row mix(const Row& a, const Row& b, double s) {
    return {mix(a.x, b.x, s), mix(a.y, b.y, s), mix(a.z, b.z, s)};
}

// From value a at pip `from` to b at pip `to` by smootherstep, at pip k.
template <typename V>
V ease_keys(const V& a, const V& b, double from, double to, double k) {
    const double u = (k - from) / (to - from);
    return u == 0.0 ? a : mix(a, b, gen::smootherstep(u));
}

template <typename V>
V loop_lane(const std::vector<LoopKey<V>>& keys, int period, double k) {
    if (keys.empty()) {
        return V{};
    }
    if (keys.size() == 1) {
        return keys.front().value;
    }
    const double p = static_cast<double>(period);
    const LoopKey<V>& first = keys.front();
    const LoopKey<V>& last = keys.back();
    if (k < first.pip) {  // before the first key: on the way in from the last
        return ease_keys(last.value, first.value, last.pip - p, first.pip, k);
    }
    std::size_t i = 0;
    while (i + 1 < keys.size() && keys[i + 1].pip <= k) {
        ++i;
    }
    if (i + 1 == keys.size()) {  // after the last key: across the seam
        return ease_keys(last.value, first.value, last.pip, first.pip + p, k);
    }
    return ease_keys(keys[i].value, keys[i + 1].value, keys[i].pip, keys[i + 1].pip, k);
}

// Scales every row down so that no value's magnitude exceeds `limit`; a
// rendering that stays within it is left exactly as it is.
inline void limit_peak(std::vector<Row>& rows, double limit) {
    const double peak = gen::peak_any(rows);
    if (peak > limit) {
        gen::scale(rows, limit / peak);
    }
}

}  // namespace gesturon::beats
