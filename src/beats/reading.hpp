// How a motion reads a score: the weight of a hit relative to a normal one,
// one number per group of instruments, how busily and strongly the score
// plays (its drive) and the size that follows from it, and the hits that
// sound together as one move (gestures) or one onset.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "beats.hpp"
#include "shapes.hpp"

namespace gesturon::beats {

// Hits closer than this are one move of a dancer: a flam, or a kick under a
// clap, is a single gesture.
inline constexpr double kSameMove = 0.5;

// The hats' light bounce between the kicks: a quick envelope, an attack of
// a sixteenth of a beat and a decay of 14 pips.
inline constexpr shapes::Envelope kHatEnvelope{4.0, 14.0};

// Kicks and snares closer than this are one onset of the drums.
inline constexpr double kSameOnset = 3.0;

// The hits (in time order) grouped into drum onsets: each onset holds the
// hits within kSameOnset pips of its first hit.
inline std::vector<std::vector<Hit>> drum_onsets(const std::vector<Hit>& hits) {
    return shapes::together(hits, kSameOnset, shapes::Edge::closed);
}

// A hit's weight relative to a normal hit: exactly 1 for a normal hit, so
// that a score of plain hits renders every height unscaled; 1.25 for an
// accent, 0.5 for a ghost.
inline double relative_weight(const Hit& hit) noexcept {
    return hit.weight() / level_weight(Level::normal);
}

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

// How much each group counts towards the size of the motions that grow with
// the whole kit: kicks and backbeats most, bass and percussion half, hats a
// quarter (they play most often, so each counts least).
inline constexpr GroupWeights kWholeKit{1.0, 0.8, 0.25, 0.5, 0.5};

// A motion's size relative to the bare pulse: its amplitude for the score's
// drive over its amplitude at the pulse, so exactly 1 for four plain kicks a
// bar, above 1 for busier and stronger scores, below it for sparser ones.
inline double size_for(const Score& score, const GroupWeights& weights, const AmplitudeRange& r) {
    return amplitude(drive(score, weights), r) / r.at_pulse;
}

// One gesture of a dancer: hits that sound together are one move, as strong
// as the strongest of them plus a fifth of the rest. `main` gestures are
// accents and normal hits; ghosts are small moves.
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
    for (const std::vector<Hit>& move : shapes::together(hits, kSameMove)) {
        Gesture g{move.front().pip, 0.0, false, false, false};
        double strongest = 0.0, rest = 0.0;
        for (const Hit& h : move) {
            const double w = h.weight();
            rest += std::min(w, strongest);
            strongest = std::max(w, strongest);
            g.weight = strongest + 0.2 * rest;
            g.main = g.main || h.level != Level::ghost;
            g.kick = g.kick || h.group() == Group::kick;
            g.other = g.other || h.group() != Group::kick;
        }
        out.push_back(g);
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

// One onset: the hits that sound together, their time, their summed strength
// (relative weight times the group's gain) and the group of the strongest of
// them. Hits of a group without gain do not sound.
struct Onset {
    double pip = 0.0;
    double strength = 0.0;
    Group lead = Group::kick;
};

inline std::vector<Onset> onsets(const Score& score, const GroupGains& gains) {
    std::vector<Hit> sounding;
    for (const Hit& h : score.hits) {
        if (relative_weight(h) * gains.of(h.group()) > 0.0) {
            sounding.push_back(h);
        }
    }
    std::vector<Onset> out;
    for (const std::vector<Hit>& group : shapes::together(sounding, kSameMove)) {
        Onset o{group.front().pip, 0.0, group.front().group()};
        double strongest = 0.0;
        for (const Hit& h : group) {
            const double s = relative_weight(h) * gains.of(h.group());
            o.strength += s;
            if (s > strongest) {
                strongest = s;
                o.lead = h.group();
            }
        }
        out.push_back(o);
    }
    return out;
}

}  // namespace gesturon::beats
