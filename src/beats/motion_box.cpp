// Rounded corner tour: the point goes once round a square with softened
// corners each bar, the four corners tilted alternately forward and back in
// depth. Its phase is weighted by the rhythm: every hit sends it on along the
// side it is on, so it rushes after the hits and lingers where the bar is
// quiet; a kick also pushes the square out and a backbeat tips it forward.
// The phase closes exactly after the period.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// How hard each group drives the tour on (extra pips of phase per pip at a
// plain hit's peak) over a short attack and a half-beat decay.
constexpr GroupGains kDrive{.kick = 2.4, .backbeat = 2.0, .hats = 0.5, .percussion = 1.4, .bass = 1.0};
constexpr double kDriveAttack = 4.0;
constexpr double kDriveDecay = 32.0;

// The square: half its side, and how square it is (the exponent of the
// superellipse |x|^n + |y|^n = r^n; 2 is a circle, higher is squarer).
constexpr double kHalfSide = 0.62;
constexpr double kSquareness = 6.0;

// The tilt of the corners through depth.
constexpr double kTilt = 0.3;

// A plain kick pushes the square out, a plain backbeat tips it forward.
constexpr double kKickPush = 0.06;
constexpr double kBackbeatTip = 0.22;

// The square's size follows how busily and strongly the score plays, so a
// sparse half-time beat tours a smaller square than a busy four-floor one.
// Tuned so the busiest beats (drive about 4) just reach the path ceiling and
// a beat below the pulse's drive never shrinks under 0.78 of its square.
constexpr AmplitudeRange kSize{0.78, 1.0, 1.3, 0.16, 0.22};

}  // namespace

Rendering render_box(const Score& score) {
    const int period = score.period();
    std::vector<shapes::PhaseClock::Event> drive;
    for (const Hit& h : score.hits) {
        drive.push_back({h.pip, relative_weight(h) * kDrive.of(h.group())});
    }
    const shapes::PhaseClock clock(std::move(drive), kDriveAttack, kDriveDecay, period);
    const std::vector<Hit> kicks = score.of(Group::kick);
    const std::vector<Hit> backbeats = score.of(Group::backbeat);
    const double size = size_for(score, kWholeKit, kSize);
    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        // One tour per bar, starting on a corner.
        const double a = shapes::kTwoPi * score.bars * clock.at(k) + shapes::kPi / 4.0;
        const double c = std::cos(a);
        const double s = std::sin(a);
        const double corner = std::pow(std::pow(std::abs(c), kSquareness) + std::pow(std::abs(s), kSquareness),
                                       -1.0 / kSquareness);
        double half_side = kHalfSide;
        for (const Hit& h : kicks) {
            half_side += shapes::envelope(k, h.pip, kKickPush * relative_weight(h), shapes::kKickEnvelope, period);
        }
        double z = kTilt * std::sin(2.0 * a);
        for (const Hit& h : backbeats) {
            z += shapes::envelope(k, h.pip, kBackbeatTip * relative_weight(h), shapes::kKickEnvelope, period);
        }
        return Offset3{size * half_side * corner * c, size * half_side * corner * s, size * z};
    });
    shapes::limit_peak(rows, kPathCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
