// Bass-and-phrase glide: a continuous path that travels once round a
// sideways-lying figure over the whole phrase, hurrying through busy
// passages and lingering in sparse ones; the hats widen it where they play
// densely, backbeats lift it, and every bass
// onset (the kicks, where the score has no bass) sends it on a long
// excursion forward through depth and back.
//
// How far the bass excursions reach follows the drive of the low end.
#include "render.hpp"

namespace gesturon::beats {

namespace {

// The phrase path: x once across and back, y twice up and down per phrase.
constexpr double kWidth = 0.52;
constexpr double kRise = 0.26;
// Its speed: 1 at rest plus kHurry times the event density around the pip
// (bumps of half-width kHurryWindow).
constexpr GroupWeights kEvents{1.0, 0.8, 0.6, 0.5, 0.8};
constexpr double kHurry = 0.6;
constexpr double kHurryWindow = 32.0;
// The hats and percussion widen the path by up to kBreath where they are
// dense; the window is a quarter beat, tuned so that hat patterns on the same kick (house,
// disco, afro house) shimmer differently rather than blur into one width.
constexpr double kBreath = 0.28;
constexpr double kBreathWindow = 16.0;
// Backbeat lifts: up to kLift, saturating in dense passages; over half a
// beat, so that a ghost snare lifts the path for a moment of its own.
constexpr double kLift = 0.2;
constexpr double kLiftWindow = 32.0;
// A bass excursion swells over kSwell pips and settles over kSettle pips;
// the path rests a little behind the middle (half the mean excursion).
constexpr double kSwell = 24.0;
constexpr double kSettle = 96.0;

// Largest |z|: 0.41 for a pulse of normal kicks, 0.107 more per doubling of
// the low-end drive, 0.042 less per halving, within 0.3397 .. 0.4848.
constexpr AmplitudeRange kReach{0.3397, 0.41, 0.4848, 0.107, 0.042};

}  // namespace

Rendering render_glide(const Score& score) {
    const int period = score.period();
    std::vector<Hit> low = score.of(Group::bass);
    GroupWeights listen{0.0, 0.0, 0.0, 0.0, 1.0};
    if (low.empty()) {
        low = score.of(Group::kick);
        listen = {1.0, 0.0, 0.0, 0.0, 0.0};
    }
    if (low.empty()) {
        low = score.hits;
        listen = {1.0, 1.0, 1.0, 1.0, 1.0};
    }
    const std::vector<Gesture> excursions = gestures(low);
    const std::vector<Hit> backbeats = score.of(Group::backbeat);
    std::vector<Hit> upper = score.of(Group::hats);  // the upper kit: hats and percussion
    const std::vector<Hit> percussion = score.of(Group::percussion);
    upper.insert(upper.end(), percussion.begin(), percussion.end());

    const std::vector<double> phase = shapes::weighted_phase(period, [&](int k) {
        double density = 0.0;
        for (const Hit& h : score.hits) {
            density += kEvents.of(h.group()) * h.weight() * shapes::bump(k, h.pip, 1.0, kHurryWindow, period);
        }
        return 1.0 + kHurry * density;
    });
    std::vector<double> reach(static_cast<std::size_t>(period));
    double mean = 0.0;
    for (int k = 0; k < period; ++k) {
        for (const Gesture& g : excursions) {
            reach[k] += shapes::envelope(k, g.pip, g.weight, kSwell, kSettle, period);
        }
        mean += reach[k];
    }
    mean /= period;

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double a = shapes::kTwoPi * phase[k];
        double lift = 0.0;
        for (const Hit& h : backbeats) {
            lift += h.weight() * shapes::bump(k, h.pip, 1.0, kLiftWindow, period);
        }
        double shimmer = 0.0;
        for (const Hit& h : upper) {
            shimmer += h.weight() * shapes::bump(k, h.pip, 1.0, kBreathWindow, period);
        }
        // Both saturate: d / (d + 1) approaches 1 in dense passages.
        return Offset3{(kWidth + kBreath * shimmer / (shimmer + 1.0)) * std::sin(a), kRise * std::sin(2.0 * a) + kLift * lift / (lift + 1.0),
                   reach[k] - 0.5 * mean};
    });
    shapes::scale_axis(rows, 2, shapes::peak_factor(rows, 2, amplitude(drive(score, listen), kReach)));
    return finish(rows, 3);
}

}  // namespace gesturon::beats
