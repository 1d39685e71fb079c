// Percussion orbit: one turn round a closed orbit per bar, whose speed,
// radius and depth are weighted by the score's events. Each event speeds the
// phase up around it and swells the radius back out to full size from a
// tighter resting circle; percussion weighs most, then kicks, backbeats and
// hats. The busier the percussion is around a point of the turn, the more
// the orbit tilts through depth there.
//
// The bare four-kick bar passes (r, 0), (0, r), (-r, 0), (0, -r) on its
// kicks, hurrying through each kick and easing in between, and stays flat.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// How much each group moves the orbit (speed and radius), per normal hit.
constexpr GroupWeights kEvents{1.0, 0.6, 0.45, 1.2, 0.5};
// Speed: 1 at rest plus up to this much at an event (a bump of half-width
// kRush pips).
constexpr double kRushGain = 1.2;
constexpr double kRush = 14.0;
// Radius: rests at 1 - kTighten, back to 1 at the strongest events.
constexpr double kTighten = 0.22;
// Depth: the orbit tilts by up to kTilt where percussion (and, less, the
// backbeat and hats) is busy, measured over a window of kWindow pips.
constexpr GroupWeights kDepthEvents{0.0, 0.4, 0.3, 1.0, 0.3};
constexpr double kTilt = 0.9;
constexpr double kWindow = 48.0;

// Largest x: 0.58 for the bare pulse, 0.0126 more per doubling of the drive,
// 0.16 less per halving, within 0.541 .. 0.6048.
constexpr AmplitudeRange kRadius{0.541, 0.58, 0.6048, 0.0126, 0.16};
constexpr GroupWeights kListen{1.0, 0.5, 0.25, 1.0, 0.5};

}  // namespace

Rendering render_orbit(const Score& score) {
    const int period = score.period();
    const double turns = score.bars;

    const auto event_sum = [&](int k, const GroupWeights& w, const auto& shape) {
        double sum = 0.0;
        for (const Hit& h : score.hits) {
            const double g = w.of(h.group());
            if (g != 0.0) {
                sum += g * relative_weight(h) * shape(k, h.pip);
            }
        }
        return sum;
    };
    const std::vector<double> phase = shapes::weighted_phase(period, [&](int k) {
        return 1.0 + kRushGain * event_sum(k, kEvents, [&](int kk, double t) {
                         return shapes::bump(kk, t, 1.0, kRush, period);
                     });
    });
    std::vector<double> swell(static_cast<std::size_t>(period));
    std::vector<double> busy(static_cast<std::size_t>(period));
    bool tilts = false;
    for (int k = 0; k < period; ++k) {
        swell[k] = event_sum(k, kEvents, [&](int kk, double t) {
            return shapes::envelope(kk, t, 1.0, shapes::kKickEnvelope, period);
        });
        busy[k] = event_sum(k, kDepthEvents, [&](int kk, double t) {
            return shapes::bump(kk, t, 1.0, kWindow, period);
        });
        tilts = tilts || busy[k] != 0.0;
    }
    const double strongest = *std::max_element(swell.begin(), swell.end());

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double r = 1.0 - kTighten + kTighten * (swell[k] / strongest);
        const double a = shapes::kTwoPi * turns * phase[k];
        // The tilt saturates: busy / (busy + 1) approaches 1 in dense passages.
        const double tilt = kTilt * busy[k] / (busy[k] + 1.0);
        return Offset3{r * std::cos(a), r * std::sin(a), r * tilt * std::sin(a + shapes::kPi / 4.0)};
    });
    shapes::scale(rows, shapes::peak_factor(rows, 0, amplitude(drive(score, kListen), kRadius)));
    return finish(rows, tilts ? 3 : 2);
}

}  // namespace gesturon::beats
