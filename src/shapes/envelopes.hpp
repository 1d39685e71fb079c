// Bumps and envelopes around the loop: the shape of one hit in time. Each is
// measured around the loop, so a hit near the seam reaches across it.
#pragma once

#include "position.hpp"

namespace gesturon::shapes {

// The rise and fall of an asymmetric envelope, in pips.
struct Envelope {
    double attack;
    double decay;
};

// The kick envelope: an attack of a tenth of a beat and a decay of 0.46 of a
// beat, the punch of a kick drum. Most motions shape their hits with it.
inline constexpr Envelope kKickEnvelope{6.4, 29.44};

// Signed distance from t0 to k taken around a loop of `period` pips, in
// [-period/2, period/2).
double loop_distance(double k, double t0, int period);

// A raised-cosine bump of height h and half-width w centred at t0:
// h cos^2(pi d / 2w) for |d| < w, 0 elsewhere.
double bump(double k, double t0, double h, double w, int period);

// The same bump on every axis at once, each with its own height.
Offset3 bump(double k, double t0, const Offset3& height, double w, int period);

// An asymmetric raised-cosine envelope: attack a before t0, decay d after it,
// exactly h at t0.
double envelope(double k, double t0, double h, double attack, double decay, int period);
inline double envelope(double k, double t0, double h, const Envelope& e, int period) {
    return envelope(k, t0, h, e.attack, e.decay, period);
}

// A smoothstep bump of height h and half-width w centred at t0:
// h (1 - (3u^2 - 2u^3)) with u = |d| / w for |d| < w, 0 elsewhere. Flatter at
// its crest and steeper at its flanks than the raised cosine.
double smooth_bump(double k, double t0, double h, double w, int period);

// The area under envelope(., t0, 1, attack, decay) over [0, k] of the loop,
// for k in [0, period].
double envelope_area(double k, double t0, double attack, double decay, int period);

}  // namespace gesturon::shapes
