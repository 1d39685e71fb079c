// Phases that run faster where the rhythm is busy: a motion that travels a
// closed path once (or a whole number of times) per loop reads its place on
// the path from such a phase, which is 0 at pip 0 and reaches exactly 1 at
// the seam however the speed varies.
#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace gesturon::shapes {

// How the speed at the pips is summed into a phase.
enum class Integration {
    steps,      // each pip moves the phase by its own speed
    trapezoid,  // each step moves it by the mean of the speeds at its two ends
};

// Entry k is the share of the loop covered before pip k, with `speed(k)` the
// speed at pip k (the seam's step, with trapezoids, runs from the last pip to
// pip 0).
std::vector<double> weighted_phase(int period, const std::function<double(int k)>& speed,
                                   Integration rule = Integration::steps);

// A phase that runs faster after events, in closed form: the loop's time k is
// stretched by 1 + the sum of the events' envelopes and normalised so that it
// runs from 0 at pip 0 to exactly 1 at the seam. With no events it is
// k / period.
class PhaseClock {
public:
    struct Event {
        double pip;
        double gain;  // how many extra pips of phase the envelope's peak adds per pip
    };

    PhaseClock(std::vector<Event> events, double attack, double decay, int period);

    // The fraction of the loop's phase reached at pip k, k in [0, period].
    double at(double k) const;

private:
    std::vector<Event> events_;
    double attack_;
    double decay_;
    int period_;
    double total_;
};

}  // namespace gesturon::shapes
