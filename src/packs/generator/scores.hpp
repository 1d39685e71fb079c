// Gesture scores shared by the packs: a list of hits, each a raised-cosine
// bump per axis; a list of gestures, each with its own attack and decay; and
// the Euclidean onset rule that places K hits as evenly as a grid of N steps
// allows.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "table.hpp"

namespace gen {

// One gesture of a score: its time in pips (possibly fractional) and the
// signed height it reaches on each axis.
struct Hit {
    double pip;
    Offset3 height;
};

// The sum of the bumps of every hit, all of half-width w, at pip k.
inline Offset3 score(std::span<const Hit> hits, double w, int period, double k) {
    Offset3 r;
    for (const Hit& h : hits) {
        r = r + bump(k, h.pip, h.height, w, period);
    }
    return r;
}

// Hits at the given times whose x heights alternate +x, -x, +x, ... and whose
// y and z heights are the same every time.
inline std::vector<Hit> alternating(std::span<const double> pips, double x, double y, double z = 0.0) {
    std::vector<Hit> hits;
    double sign = 1.0;
    for (double p : pips) {
        hits.push_back({p, {sign * x, y, z}});
        sign = -sign;
    }
    return hits;
}

// Euclidean onsets: onset j (0 .. onsets - 1) falls on step ceil(j N / K) of
// an N-step grid, the earliest step at or after its even share of the grid.
inline std::vector<int> euclid_steps(int onsets, int steps) {
    std::vector<int> out;
    for (int j = 0; j < onsets; ++j) {
        out.push_back((j * steps + onsets - 1) / onsets);
    }
    return out;
}

// The hand of each stroke of a sticking such as "RLRLRR LRLRLL": +1 for R,
// -1 for L; blanks only group the strokes and are skipped.
inline std::vector<double> hands(std::string_view sticking) {
    std::vector<double> out;
    for (char c : sticking) {
        if (c == 'R' || c == 'L') {
            out.push_back(c == 'R' ? 1.0 : -1.0);
        }
    }
    return out;
}

// How a gesture rises to and falls from its crest.
enum class Contour {
    raised_cosine,  // the asymmetric raised-cosine envelope
    smoothstep,     // the smoothstep bump, its two flanks as wide as attack and decay
};

// One gesture of an event score: the position it reaches exactly at `pip`
// (possibly fractional), approached over `attack` pips and left over `decay`
// pips, every axis with the same contour.
struct Gesture {
    double pip;
    Offset3 height;
    double attack;
    double decay;
    Contour contour = Contour::raised_cosine;
};

// One axis of a gesture at pip k; the flank before the crest is `attack` wide,
// the one after it `decay`.
inline double gesture_axis(const Gesture& g, double h, int period, double k) {
    if (g.contour == Contour::raised_cosine) {
        return envelope(k, g.pip, h, g.attack, g.decay, period);
    }
    const double w = loop_distance(k, g.pip, period) < 0.0 ? g.attack : g.decay;
    return smooth_bump(k, g.pip, h, w, period);
}

// The sum of every gesture of a score at pip k, the distances taken around the
// loop.
inline Offset3 gestures(std::span<const Gesture> score, int period, double k) {
    Offset3 r;
    for (const Gesture& g : score) {
        r = r + Offset3{gesture_axis(g, g.height.x, period, k), gesture_axis(g, g.height.y, period, k),
                    gesture_axis(g, g.height.z, period, k)};
    }
    return r;
}

}  // namespace gen
