// The atlas shapes that no formula fixes, designed to do what their names
// say. Each is a closed, smooth (or, for the scallop, continuous) function of
// the loop angle t; its family scales it to the family's peak.
#include <algorithm>
#include <cmath>

#include "atlas.hpp"
#include "table.hpp"

namespace gen::atlas::designed {

namespace {

// The loop fraction of angle t, in [0, 1].
double turn(double t) {
    return t / kTwoPi;
}

// The average of a path over the 512 rows of an eight-beat table, used to
// centre linkage traces whose pivots sit away from the origin.
Offset3 mean_of(Offset3 (*path)(double t)) {
    Offset3 sum;
    for (int k = 0; k < kEightBeats; ++k) {
        const Offset3 r = path(loop_angle(k, kEightBeats));
        sum.x += r.x;
        sum.y += r.y;
        sum.z += r.z;
    }
    return {sum.x / kEightBeats, sum.y / kEightBeats, sum.z / kEightBeats};
}

}  // namespace

// ---- Control waves (x only) ------------------------------------------------

// A softplus of the sine: one rounded swell per period over a nearly flat
// floor, like a half-wave rectifier with its corners melted.
double wave_soft_rectifier(double t) {
    return std::log1p(std::exp(4.0 * std::sin(t))) / 4.0;
}

// A small crest, then a deep, broad scoop on the way back; the phase warp
// lingers in the scoop.
double wave_scoop_warp(double t) {
    const double s = std::sin(t + 0.3 * std::sin(t));
    return s - 0.45 * s * s;
}

// The upper half is flattened into a shelf (a hard tanh), the lower half
// stays a round sine scoop; the blend weights are smooth in the sine.
double wave_shelf_wave(double t) {
    const double s = std::sin(t);
    return std::tanh(3.0 * s) / std::tanh(3.0) * (1.0 + s) / 2.0 + s * (1.0 - s) / 2.0;
}

// A broad body swell with a narrow neck on top: b rises from 0 to 1 and back
// once per period, and its eighth power adds the slim crest.
double wave_bottle(double t) {
    const double b = (1.0 - std::cos(t)) / 2.0;
    return 0.6 * b + 0.4 * std::pow(b, 8);
}

// Two crests per period, the second at 0.6 of the first.
double wave_unequal_peaks(double t) {
    const double s = std::sin(t);
    return s * s * (0.8 + 0.2 * s);
}

// Three softened sawtooth teeth: sum of r^n sin(3nt)/n in closed form.
double wave_soft_teeth(double t) {
    const double r = 0.7;
    return std::atan2(r * std::sin(3.0 * t), 1.0 - r * std::cos(3.0 * t));
}

// A sine folded back on itself, driven through a skewed phase.
double wave_warped_fold(double t) {
    return std::sin(2.6 * std::sin(t + 0.5 * std::sin(t)));
}

// ---- Mechanism studies -----------------------------------------------------

// Quick return: a crank of radius 1 turns uniformly at distance 2 above the
// pivot of a slotted lever. The lever swings between +-30 degrees; its slow
// working stroke takes 240 degrees of crank (two thirds of the period) and
// its return 120 degrees. x is the lever tip, 1 at the extremes; y follows
// the slider block out along the slot on the slow stroke and in on the fast
// return, so the trace is a loop. Pip 0 is the left extreme.
Offset3 mech_whitworth(double t) {
    const double c = 2.0;
    const double crank = t - kTwoPi / 3.0;
    const double lever = std::atan2(std::sin(crank), c + std::cos(crank));
    const double slot = std::sqrt(1.0 + c * c + 2.0 * c * std::cos(crank));
    // sin(lever) reaches +-1/c at the extremes.
    return {c * std::sin(lever), -0.3 * (slot - c), 0.0};
}

// A flat-faced follower on an elliptic cam (semi-axes 1 and 0.6) turning once
// per period: the follower lifts twice, and its contact point slides across
// the face by the derivative of the lift. y is the lift (up is negative).
Offset3 mech_elliptic_cam(double t) {
    const double a = 1.0;
    const double b = 0.6;
    const double c = std::cos(t);
    const double s = std::sin(t);
    const double lift = std::sqrt(a * a * c * c + b * b * s * s);
    return {(b * b - a * a) * s * c / lift, -(lift - (a + b) / 2.0), 0.0};
}

// An anchor's pallet ticking sixteen times, once every half beat: each tick
// crosses from one side to the other in the first 12 of its 32 pips with a
// smootherstep, lifting a little on the way (a sine squared, so the lift
// too starts and ends at rest), then rests until the next.
Offset3 mech_escapement(double t) {
    const double ticks = 16.0;
    const double cell = turn(t) * ticks;
    const double index = std::min(std::floor(cell), ticks - 1.0);
    const double move = std::min(1.0, (cell - index) / 0.375);
    const double from = std::fmod(index, 2.0) == 0.0 ? -1.0 : 1.0;
    const double lift = std::sin(kPi * move);
    return {from - 2.0 * from * smootherstep(move), -0.3 * lift * lift, 0.0};
}

// The end of a beam rocking +-0.6 radian on a fulcrum 0.25 below it: the end
// swings up and down on an arc about the fulcrum, drawing in as it tilts.
Offset3 mech_rocking_beam(double t) {
    const double tilt = 0.6 * std::sin(t);
    const double c = std::cos(tilt);
    const double s = std::sin(tilt);
    return {c - 0.25 * s - 1.0, -(s + 0.25 * c - 0.25), 0.0};
}

namespace {

// A Grashof four-bar: crank 1 about (0, 0), ground 3.2, coupler 3, rocker 2.5
// about (3.2, 0). x, y trace a point 0.8 off the coupler's middle; z follows
// the rocker pin as it swings to and fro.
Offset3 crank_rocker_raw(double t) {
    const double ground = 3.2;
    const double coupler = 3.0;
    const double rocker = 2.5;
    const double ax = std::cos(t);
    const double ay = std::sin(t);
    // B lies on the rocker circle about (ground, 0) at distance `coupler`
    // from the crank pin A (the upper assembly of the linkage).
    const double vx = ax - ground;
    const double vy = ay;
    const double e = std::hypot(vx, vy);
    const double gamma = std::acos((rocker * rocker + e * e - coupler * coupler) / (2.0 * rocker * e));
    const double base = std::atan2(vy, vx) - gamma;
    const double bx = ground + rocker * std::cos(base);
    const double by = rocker * std::sin(base);
    const double mx = (ax + bx) / 2.0;
    const double my = (ay + by) / 2.0;
    const double nx = -(by - ay) / coupler;
    const double ny = (bx - ax) / coupler;
    return {mx + 0.8 * nx, my + 0.8 * ny, bx};
}

}  // namespace

Offset3 mech_crank_rocker(double t) {
    static const Offset3 centre = mean_of(crank_rocker_raw);
    return crank_rocker_raw(t) - centre;
}

// A flat-faced follower on a disc cam with a rise-dwell-return-dwell
// profile: a quick cycloidal rise over two beats, a two-beat dwell at the
// top, a slow cycloidal return over three beats and a one-beat rest. y is the
// lift, up as everywhere in the catalogue; x is the contact point's slide
// across the face, the lift's derivative in cam angle, so rise and return
// show on opposite sides.
Offset3 mech_cam_return(double t) {
    const double rise = 0.25;
    const double top = 0.5;
    const double back = 0.875;
    const double f = turn(t);
    // Cycloidal motion over a span of the turn: lift 0 -> 1 and its slope.
    const auto cycloid = [](double u, double span) {
        return Offset3{(1.0 - std::cos(kTwoPi * u)) / (kTwoPi * span), u - std::sin(kTwoPi * u) / kTwoPi, 0.0};
    };
    if (f < rise) {
        const Offset3 c = cycloid(f / rise, rise);
        return {c.x, c.y, 0.0};
    }
    if (f < top) {
        return {0.0, 1.0, 0.0};
    }
    if (f < back) {
        const Offset3 c = cycloid((f - top) / (back - top), back - top);
        return {-c.x, 1.0 - c.y, 0.0};
    }
    return {0.0, 0.0, 0.0};
}

// ---- Polar scallop ---------------------------------------------------------

// Outward arcs r = 0.7 + 0.3 cos v, v running -pi/2 .. pi/2 across each lobe,
// meet in inward corners at r = 0.7: the radius never drops below 0.7, so the
// loop never reaches the centre. The lobe at pip 0 is bent: its phase is
// pushed by 0.6 cos v, which leaves its corners in place but leans its crest
// 0.54 radian back towards the lobe before it.
Offset3 polar_scallop(int lobes, double t) {
    const double position = t * lobes / kTwoPi;
    const double nearest = std::round(position);
    double v = (position - nearest) * kPi;
    if (static_cast<long>(nearest) % lobes == 0) {
        v += 0.6 * std::cos(v);
    }
    const double r = 0.7 + 0.3 * std::cos(v);
    return {r * std::cos(t), r * std::sin(t), 0.0};
}

// ---- Gesture ---------------------------------------------------------------

// Bob and weave: the point sways right and left once over the phrase and
// ducks (down, towards negative y) each time it passes the centre, deeper on
// the way right than on the way back.
Offset3 gesture_duck_sway(double t) {
    const double c = std::cos(t);
    return {std::sin(t), -(0.6 * c * c + 0.15 * c), 0.0};
}

}  // namespace gen::atlas::designed
