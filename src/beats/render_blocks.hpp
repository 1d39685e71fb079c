// What the motion renderers share: the building blocks of the stored tables
// (smootherstep lanes, raised-cosine bumps and envelopes, peak scaling, the
// twelve-decimal rule) and the last step of every rendering.
#pragma once

#include <algorithm>
#include <cmath>
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

// Score-driven amplitude, gestures and event-weighted phase: what the club
// motions (bounce, step, orbit, glide) share, general enough for any motion
// whose size follows how busily and strongly a score plays.

// One number for each group of instruments. Motions use it as the weights of
// their drive (GroupWeights: how much each group counts towards it) and as
// the gains of their onsets (GroupGains: what each group gives).
struct PerGroup {
    double kick = 0.0;
    double backbeat = 0.0;
    double hats = 0.0;
    double percussion = 0.0;
    double bass = 0.0;

    double of(Group g) const noexcept {
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
using GroupWeights = PerGroup;
using GroupGains = PerGroup;

// A hit's level in tenths (accent 10, normal 8, ghost 4): whole numbers, so
// that sums of them are exact.
inline int level_tenths(Level level) noexcept {
    return level == Level::accent ? 10 : level == Level::normal ? 8 : 4;
}

// How busily and strongly a score plays for a motion: the weighted level of
// its hits per beat, relative to the bare pulse of one normal kick a beat.
// The bare four-kick bar gives exactly 1; accents, extra hits and the groups
// a motion listens to raise it, ghosts and empty beats lower it.
inline double drive(const Score& score, const GroupWeights& weights) {
    double sum = 0.0;
    for (const Hit& h : score.hits) {
        sum += level_tenths(h.level) * weights.of(h.group());
    }
    return sum / (8.0 * score.bars * 4);
}

// How a motion's size follows its drive: `at_pulse` for the bare pulse
// (drive 1), `per_doubling` more for every doubling of the drive and
// `per_halving` less for every halving, limited to [low, high]. The bare
// pulse lands exactly on `at_pulse`.
struct AmplitudeRange {
    double low;
    double at_pulse;
    double high;
    double per_doubling;
    double per_halving;
};

inline double amplitude(double drive_value, const AmplitudeRange& r) {
    if (drive_value <= 0.0) {
        return r.low;
    }
    const double octaves = std::log2(drive_value);
    const double a = r.at_pulse + octaves * (octaves >= 0.0 ? r.per_doubling : r.per_halving);
    return std::clamp(a, r.low, r.high);
}

// One gesture of a dancer: hits that sound together (within half a pip) are
// one move, as strong as the strongest of them plus a fifth of the rest.
// `main` gestures are accents and normal hits; ghosts are small moves.
struct Gesture {
    double pip;
    double weight;
    bool main;
    bool kick;   // a kick is among its hits
    bool other;  // and a hit of another group
};

inline std::vector<Gesture> gestures(std::vector<Hit> hits) {
    std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.pip < b.pip; });
    std::vector<Gesture> out;
    double strongest = 0.0, rest = 0.0;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const Hit& h = hits[i];
        const bool joins = !out.empty() && h.pip - out.back().pip < 0.5;
        if (!joins) {
            out.push_back({h.pip, 0.0, false, false, false});
            strongest = rest = 0.0;
        }
        Gesture& g = out.back();
        const double w = h.weight();
        rest += std::min(w, strongest);
        strongest = std::max(w, strongest);
        g.weight = strongest + 0.2 * rest;
        g.main = g.main || h.level != Level::ghost;
        g.kick = g.kick || h.group() == Group::kick;
        g.other = g.other || h.group() != Group::kick;
    }
    return out;
}

// The side (+1 or -1) of each gesture when a dancer alternates: every main
// gesture steps to the other side, starting right; a ghost stays on the side
// of the main gesture before it (the last one of the loop for ghosts before
// the first), a small echo of that step.
inline std::vector<double> alternate_sides(const std::vector<Gesture>& g) {
    std::vector<double> sides(g.size(), 1.0);
    double side = -1.0;
    for (std::size_t i = 0; i < g.size(); ++i) {
        if (g[i].main) {
            side = -side;
        }
        sides[i] = side;
    }
    // Ghosts before the first main gesture echo the last one, around the seam.
    for (std::size_t i = 0; i < g.size() && !g[i].main; ++i) {
        sides[i] = side;
    }
    return sides;
}

// The factor that makes the largest |value| of one axis exactly `target`
// (1 where the axis is still).
inline double peak_factor(const std::vector<Row>& rows, int axis, double target) {
    const double p = gen::peak(rows, axis);
    return p > 0.0 ? target / p : 1.0;
}

// Multiplies one axis (0 = x, 1 = y, 2 = z) of every row by s.
inline void scale_axis(std::vector<Row>& rows, int axis, double s) {
    for (Row& r : rows) {
        (axis == 0 ? r.x : axis == 1 ? r.y : r.z) *= s;
    }
}

// A phase that travels once round the loop, faster where `speed` is higher:
// entry k is the share of the loop covered before pip k (0 at pip 0), so a
// full turn is completed exactly at the seam whatever the speeds.
inline std::vector<double> weighted_phase(const Score& score, const std::function<double(int k)>& speed) {
    const int period = score.period();
    std::vector<double> covered(static_cast<std::size_t>(period) + 1, 0.0);
    for (int k = 0; k < period; ++k) {
        covered[k + 1] = covered[k] + speed(k);
    }
    const double total = covered[period];
    covered.pop_back();
    for (double& c : covered) {
        c /= total;
    }
    return covered;
}

}  // namespace gesturon::beats

// ---------------------------------------------------------------------------
#include <cmath>

// Onsets, rhythm-weighted phase, loop lanes and a peak guard: shared by the
// motions that travel, ring or jump from onset to onset (box, corkscrew,
// spiral, slalom, spring, ricochet) and free for any other motion.

namespace gesturon::beats {

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

}  // namespace gesturon::beats
