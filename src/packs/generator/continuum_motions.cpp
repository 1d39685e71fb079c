// Continuum families 7 to 12: reaches, surfaces, braids, two-link arms, dwell
// phrases and oscillation packets. y grows upwards, as the gallery draws it;
// z is depth.
#include <cmath>
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"
#include "continuum.hpp"
#include "continuum_paths.hpp"

namespace gen::continuum {

using namespace paths;

namespace {

double squared(double v) {
    return v * v;
}

// ---- Reach shapes ----------------------------------------------------------
// One reach in its own frame, u running 0 to 1 over its share of the loop:
// `out` along the reach's direction, `side` across it, `lift` in depth. Every
// term carries g = sin^2(pi u), so each reach leaves the centre and settles
// back on it at rest, and the next departs from where it settled.
struct ReachStep {
    double out;
    double side;
    double lift;
};

// Out on one side and back along the other, dipping on the way out: a scoop.
ReachStep scoop(double u) {
    const double g = squared(std::sin(kPi * u));
    return {g, 0.45 * g * std::cos(kPi * u) - 0.25 * g * g, 0.0};
}

// Nearly straight out, the tip curling sharply aside, then back.
ReachStep hook(double u) {
    const double g = squared(std::sin(kPi * u));
    return {g - 0.3 * g * g * g, 0.75 * g * g * g + 0.12 * g * std::sin(kTwoPi * u), 0.0};
}

// Out and back with the depth rising early and falling before the return.
ReachStep lift(double u) {
    const double g = squared(std::sin(kPi * u));
    return {g, 0.3 * g * std::cos(kPi * u), 0.5 * g * (1.0 + 0.6 * std::cos(kPi * u))};
}

// A thrust out, snapping back through the centre to a rebound of about a
// fifth of the reach on the far side, which settles from there.
ReachStep recoil(double u) {
    const double g = squared(std::sin(kPi * u));
    return {g * (1.4 * std::cos(kPi * u) + 0.6), 0.15 * g * std::sin(kTwoPi * u), 0.0};
}

}  // namespace

std::vector<Table> reach_family() {
    // N reaches in turn, each over an equal share of the loop, pointing at
    // evenly spread directions from the top round anticlockwise, their
    // lengths 1, 0.7 and 0.85 in rotation.
    struct Kind {
        const char* name;
        ReachStep (*shape)(double u);
        int dimensions;
    };
    static const Kind kinds[] = {{"scoop", scoop, 2}, {"hook", hook, 2}, {"lift", lift, 3}, {"recoil", recoil, 2}};
    static const double lengths[3] = {1.0, 0.7, 0.85};
    std::vector<Table> family;
    for (int count : {3, 4, 5, 7}) {
        for (const Kind& kind : kinds) {
            const auto path = [&](double k) {
                const double share = k * count / kSixteenBeats;
                const int j = static_cast<int>(std::floor(share));
                const ReachStep step = kind.shape(share - j);
                const double a = kPi / 2.0 + kTwoPi * j / count;
                const double length = lengths[j % 3];
                const Offset3 out{std::cos(a), std::sin(a), 0.0};
                const Offset3 side{-std::sin(a), std::cos(a), 0.0};
                return length * (step.out * out + step.side * side + Offset3{0.0, 0.0, step.lift});
            };
            family.push_back(peak_on_curve(
                std::string("reach_") + kind.name + "_" + std::to_string(count),
                "Separate shaped reaches depart from and settle at a shared centre, without reset jumps.",
                kSixteenBeats, kind.dimensions, path));
        }
    }
    return family;
}

std::vector<Table> surface_family() {
    // A point on a lumpy sphere seen from the side (y up, z towards the
    // viewer): the longitude makes A turns while the latitude swings B times
    // about the equator, pushed along by the longitude; the radius swells
    // with both. A low path keeps near the equator, a wide one climbs
    // towards the poles.
    struct Kind {
        const char* name;
        double latitude;  // largest swing from the equator, in radians
    };
    static const Kind kinds[] = {{"low", 0.38}, {"wide", 1.05}};
    std::vector<Table> family;
    for (const Kind& kind : kinds) {
        for (const Pair& pair : kPairs) {
            const auto path = [&](double k) {
                const double t = angle(k, kSixteenBeats);
                const double longitude = pair.a * t;
                const double latitude = kind.latitude * std::sin(pair.b * t + 0.45 * std::sin(longitude));
                const double radius = 1.0 + 0.16 * std::cos(2.0 * longitude - 1.5 * latitude);
                const double ring = radius * std::cos(latitude);
                return Offset3{ring * std::sin(longitude), radius * std::sin(latitude), ring * std::cos(longitude)};
            };
            family.push_back(peak_on_pips("surface_" + pair_name(pair) + "_" + kind.name,
                                          "A varying-radius surface path with coupled longitude and latitude; all "
                                          "three coordinates are retained.",
                                          kSixteenBeats, 3, path));
        }
    }
    return family;
}

std::vector<Table> braid_family() {
    // A tube whose centreline is an ellipse set off to the right of the
    // centre and tipped in depth; the point circles the tube's elliptic
    // cross-section B times while going A times round the centreline, and
    // the cross-section rolls a full turn per lap. A second, faster ripple
    // runs in depth.
    static const Pair braids[16] = {{1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 3}, {2, 5}, {3, 4}, {3, 5},
                                    {1, 6}, {2, 7}, {3, 7}, {4, 5}, {4, 7}, {5, 6}, {5, 7}, {5, 8}};
    std::vector<Table> family;
    for (const Pair& pair : braids) {
        const auto path = [&](double k) {
            const double t = angle(k, kSixteenBeats);
            const double lap = pair.a * t;
            const Offset3 centre{std::cos(lap) + 0.2, 0.7 * std::sin(lap), 0.3 * std::sin(lap)};
            const double nx = 0.7 * std::cos(lap);
            const double ny = std::sin(lap);
            const double norm = std::hypot(nx, ny);
            const Offset3 outward{nx / norm, ny / norm, 0.0};
            const Offset3 depth{0.0, 0.0, 1.0};
            const double roll = lap;
            const Offset3 major = std::cos(roll) * outward + std::sin(roll) * depth;
            const Offset3 minor = std::cos(roll) * depth - std::sin(roll) * outward;
            const double turn = pair.b * t;
            const Offset3 ripple{0.0, 0.0, 0.07 * std::sin(2.0 * turn + 0.6)};
            return centre + 0.3 * std::cos(turn) * major + 0.17 * std::sin(turn) * minor + ripple;
        };
        family.push_back(peak_on_curve("braid_" + pair_name(pair),
                                       "An offset tube centreline and a rolling cross-section with a second depth "
                                       "ripple.",
                                       kSixteenBeats, 3, path));
    }
    return family;
}

std::vector<Table> arm_coupled_family() {
    // The tip of an upper link of length 1 and a forelink, driven at the
    // joints: the shoulder angle turns `turns` times round and swings by
    // `swing` about `shoulder`; the elbow bends by `elbow` and swings by
    // `elbow_swing` `rate` times per loop, `lag` behind. From 09 the arm's
    // plane also yaws about the vertical by up to `yaw`, carrying the tip
    // into depth. The trace is centred on its mean.
    struct Arm {
        int turns;
        double shoulder, swing;
        double fore;
        double elbow, elbow_swing;
        int rate;
        double lag;
        double yaw;
    };
    static const Arm arms[16] = {
        {0, -1.2, 0.9, 0.8, 0.9, 0.7, 1, 0.8, 0.0},   {0, -0.6, 1.2, 0.6, 1.4, 0.5, 2, 0.0, 0.0},
        {1, 0.0, 0.0, 0.5, 0.0, 1.1, 2, 0.5, 0.0},    {0, -1.5, 0.7, 1.0, 0.5, 1.0, 3, 1.2, 0.0},
        {1, 0.0, 0.3, 0.35, 0.0, 2.5, 3, 0.0, 0.0},   {0, -0.9, 1.0, 0.7, 2.0, 0.6, 1, -1.0, 0.0},
        {1, 0.5, 0.0, 0.45, 1.0, 1.4, 4, 0.3, 0.0},   {0, -1.0, 0.5, 0.9, 0.2, 1.3, 2, 2.0, 0.0},
        {0, -1.1, 0.9, 0.8, 0.8, 0.8, 2, 0.4, 0.6},   {1, 0.0, 0.2, 0.5, 0.3, 1.0, 3, 1.0, 0.5},
        {0, -0.7, 1.1, 0.65, 1.2, 0.7, 1, 1.5, 0.8},  {0, -1.3, 0.6, 1.0, 0.4, 1.1, 3, 0.2, 0.4},
        {1, 0.3, 0.0, 0.4, 0.0, 1.8, 2, 0.7, 0.7},    {0, -0.5, 1.3, 0.55, 1.6, 0.5, 2, -0.6, 0.9},
        {1, 0.0, 0.4, 0.6, 0.5, 0.9, 5, 0.0, 0.5},    {0, -1.0, 0.8, 0.85, 1.0, 1.0, 4, 1.1, 0.6},
    };
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        const Arm& arm = arms[i - 1];
        const auto tip = [&](double k) {
            const double t = angle(k, kSixteenBeats);
            const double q1 = arm.shoulder + arm.turns * t + arm.swing * std::sin(t);
            const double q2 = arm.elbow + arm.elbow_swing * std::sin(arm.rate * t - arm.lag);
            const double x = std::cos(q1) + arm.fore * std::cos(q1 + q2);
            const double y = std::sin(q1) + arm.fore * std::sin(q1 + q2);
            const double yaw = arm.yaw * std::sin(t + 1.1);
            return Offset3{x * std::cos(yaw), y, x * std::sin(yaw)};
        };
        Offset3 sum;
        for (int k = 0; k < kSixteenBeats; ++k) {
            sum = sum + tip(k);
        }
        const Offset3 mean = (1.0 / kSixteenBeats) * sum;
        family.push_back(peak_on_curve(
            "arm_coupled_" + two_digits(i),
            "Tip position of two kinematically driven links; not a dynamics simulation or anatomical model.",
            kSixteenBeats, i <= 8 ? 2 : 3, [&](double k) { return tip(k) - mean; }));
    }
    return family;
}

std::vector<Table> dwell_phrase_family() {
    // From rest the point lifts to a first pose and holds it, transfers
    // through a low waypoint to a second, differently placed pose and holds
    // that longer or shorter, then returns, overshooting the rest a little
    // before settling on it and staying there across the seam. The moments
    // are fractions of the loop: reach the first pose, leave it, reach the
    // second, leave it, settle; every segment is a smootherstep ease. Poses
    // are on a grid of about +-10, the rest low in the middle.
    struct Dwell {
        double lift, leave, arrive, release, settled;
        Offset3 first, second;
        double dip;  // how far the transfer sinks below the poses' mean
    };
    static const Dwell dwells[16] = {
        {0.10, 0.20, 0.40, 0.60, 0.85, {-4, 7, 3}, {5, 4.5, -3}, 3},
        {0.08, 0.30, 0.45, 0.55, 0.80, {3, 8, -2}, {-5, 3, 4}, 4},
        {0.15, 0.25, 0.50, 0.75, 0.92, {-6, 5, -4}, {2, 9, 2}, 2},
        {0.12, 0.35, 0.55, 0.65, 0.88, {0, 9, 5}, {6, 3, -5}, 5},
        {0.05, 0.15, 0.35, 0.60, 0.82, {5, 6, 2}, {-3, 8, -4}, 3},
        {0.18, 0.28, 0.42, 0.70, 0.90, {-2, 4, 6}, {7, 7, 0}, 4},
        {0.10, 0.40, 0.55, 0.68, 0.86, {-7, 8, 0}, {4, 5, 5}, 2},
        {0.14, 0.22, 0.38, 0.62, 0.84, {4, 9, 4}, {-6, 6, -2}, 6},
        {0.06, 0.26, 0.48, 0.58, 0.80, {-5, 6, -5}, {6, 8, 3}, 3},
        {0.12, 0.19, 0.33, 0.66, 0.90, {2, 5, -6}, {-4, 9, 2}, 2},
        {0.20, 0.32, 0.46, 0.72, 0.93, {-3, 9, 2}, {7, 4, -4}, 5},
        {0.09, 0.24, 0.52, 0.64, 0.83, {6, 7, -3}, {-2, 5, 6}, 4},
        {0.16, 0.36, 0.50, 0.62, 0.87, {-6, 7, 4}, {3, 9, -5}, 3},
        {0.07, 0.17, 0.44, 0.74, 0.91, {1, 6, -4}, {-7, 8, 3}, 2},
        {0.11, 0.29, 0.41, 0.57, 0.78, {-4, 8, -2}, {5, 6, 6}, 6},
        {0.13, 0.21, 0.47, 0.69, 0.89, {5, 5, 5}, {-5, 9, -3}, 4},
    };
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        const Dwell& d = dwells[i - 1];
        const auto at = [](double fraction) { return fraction * kSixteenBeats; };
        const Offset3 rest{0.0, -4.0, 0.0};
        const Offset3 low = 0.5 * (d.first + d.second) - Offset3{0.0, d.dip, 0.0};
        const Offset3 overshoot = rest - 0.15 * (d.second - rest);
        const std::vector<Pose> keys = {
            {0.0, rest},
            {at(d.lift), d.first},
            {at(d.leave), d.first},
            {at((d.leave + d.arrive) / 2.0), low},
            {at(d.arrive), d.second},
            {at(d.release), d.second},
            {at(d.release + 0.55 * (d.settled - d.release)), overshoot},
            {at(d.settled), rest},
        };
        family.push_back(peak_on_curve("dwell_phrase_" + two_digits(i),
                                       "Two unequal lift-and-hold gestures, a transfer and a settling return; holds "
                                       "have finite musical duration.",
                                       kSixteenBeats, 3, [&](double k) { return pose_path(keys, kSixteenBeats, k); }));
    }
    return family;
}

std::vector<Table> packet_family() {
    // N packets, one per equal share of the loop, each a few cycles of
    // oscillation under a raised-cosine envelope that fills three quarters
    // of its share, so packets stand apart with calm gaps between them. A
    // packet shakes along one direction and a little across it, as the cube
    // of the sine, so it draws a narrow eye that is still flat where the
    // shake turns at the packet's centre. A slow side path eases
    // from packet to packet, at rest at each packet's centre. The kind
    // decides where the packets sit and which way they shake:
    //   alternating  left and right in turn, zigzagging downwards, shaking
    //                up and down;
    //   cascading    stepping down from upper left to lower right, shaking
    //                sideways and fading as they fall;
    //   crossing     round a small circle, shaking along the two diagonals in
    //                turn;
    //   depth        round a wide oval, shaking in depth.
    enum class Kind { alternating, cascading, crossing, depth };
    static const Named<Kind> kinds[] = {{Kind::alternating, "alternating"},
                                     {Kind::cascading, "cascading"},
                                     {Kind::crossing, "crossing"},
                                     {Kind::depth, "depth"}};
    constexpr double kCycles = 3.0;  // across a packet's full width
    struct Packet {
        double centre;  // a whole pip
        Offset3 rest;       // where the side path pauses
        Offset3 shake;      // direction and size of the oscillation
        Offset3 across;     // and of its side swing
    };
    std::vector<Table> family;
    for (int count = 2; count <= 5; ++count) {
        for (const Named<Kind>& k : kinds) {
            std::vector<Packet> packets;
            for (int j = 0; j < count; ++j) {
                const double along = static_cast<double>(j) / (count - 1);  // 0 .. 1 down the phrase
                const double around = kPi / 2.0 + kTwoPi * j / count;
                const double side = j % 2 == 0 ? -1.0 : 1.0;
                Packet p{std::round(static_cast<double>(kEightBeats) * j / count), {}, {}, {}};
                switch (k.kind) {
                    case Kind::alternating:
                        p.rest = {0.5 * side, 0.5 - along, 0.0};
                        p.shake = {0.0, 0.32, 0.0};
                        p.across = {0.16 * side, 0.0, 0.0};
                        break;
                    case Kind::cascading:
                        p.rest = {-0.5 + along, 0.5 - along, 0.0};
                        p.shake = (1.0 - 0.45 * along) * Offset3{0.34, 0.1, 0.0};
                        p.across = (1.0 - 0.45 * along) * Offset3{0.0, 0.14, 0.0};
                        break;
                    case Kind::crossing:
                        p.rest = {0.3 * std::cos(around), 0.3 * std::sin(around), 0.0};
                        p.shake = {0.38, 0.38 * side, 0.0};
                        p.across = {-0.06 * side, 0.06, 0.0};
                        break;
                    case Kind::depth:
                        p.rest = {0.55 * std::cos(around), 0.35 * std::sin(around), 0.0};
                        p.shake = {0.0, 0.0, 0.5};
                        p.across = {-0.08 * std::sin(around), 0.08 * std::cos(around), 0.0};
                        break;
                }
                packets.push_back(p);
            }
            std::vector<Pose> rests;
            for (const Packet& p : packets) {
                rests.push_back({p.centre, p.rest});
            }
            const double width = 0.375 * kEightBeats / count;
            const auto path = [&](double pip) {
                Offset3 r = pose_path(rests, kEightBeats, pip);
                for (const Packet& p : packets) {
                    const double phase = kPi * kCycles * loop_distance(pip, p.centre, kEightBeats) / width;
                    const double envelope = bump(pip, p.centre, 1.0, width, kEightBeats);
                    r = r + envelope * (std::cos(phase) * p.shake + std::pow(std::sin(phase), 3.0) * p.across);
                }
                return r;
            };
            family.push_back(peak_on_curve(std::string("packet_") + k.name + "_" + std::to_string(count),
                                           "Compact, smooth-edged oscillation packets arranged around a closed phrase, "
                                           "with shaped side motion.",
                                           kEightBeats, k.kind == Kind::depth ? 3 : 2, path));
        }
    }
    return family;
}

}  // namespace gen::continuum
