// Upper-percussion flutter: the kicks and snares carry the point on a wide
// arc from side to side, one side per onset, sagging through the middle and
// coming forward as it passes; on top of it every hat, shaker and piece of
// upper percussion sets off a quick tremor that dies away within its step.
//
// Hats shake the point vertically (an open hat or ride rings longer than a
// closed hat), shakers shake it in depth, the other percussion sideways.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// The arc: how far to the side a plain kick and a plain snare carry it; a
// snare carries a little wider.
constexpr double kKickReach = 0.52;
constexpr double kSnareReach = 0.6;
// The arc rises by kRise at full reach above its lowest point kSag and comes
// forward by kForward as it passes the middle.
constexpr double kSag = -0.16;
constexpr double kRise = 0.36;
constexpr double kForward = 0.22;
constexpr double kFullReach = 0.6;
// Ghost notes are too light to move the arc; a ghost kick or snare makes it
// flinch instead, one quick sideways shiver, so the quiet notes show. Its
// height was tuned so that taking the ghost snares out of a break (the two
// Amen studies) changes the table visibly (about 0.07 by the table distance
// of docs/beats.md).
// The arc needs an eighth note to swing all the way across.
constexpr double kFullSwing = 32.0;

// A tremor: a few quick cycles under a window that is zero where it starts
// and where it ends.
struct Tremor {
    double length;  // pips
    double cycles;
    double height;  // of a plain hit
};
// The heights were tuned so that four-floor beats that differ only in their
// hats (house, garage, disco, psy) flutter visibly differently, at least
// 0.05 apart by the table distance of docs/beats.md.
constexpr Tremor kClosedHat{12.0, 2.0, 0.17};
constexpr Tremor kLongHat{24.0, 4.0, 0.15};  // open hat, ride
constexpr Tremor kShaker{10.0, 2.0, 0.18};
constexpr Tremor kPercussion{16.0, 2.0, 0.14};
constexpr Tremor kGhostFlinch{16.0, 1.0, 0.45};

double tremor(double k, double t0, const Tremor& t, double weight, int period) {
    const double p = static_cast<double>(period);
    double d = std::fmod(k - t0, p);
    if (d < 0.0) {
        d += p;
    }
    if (d >= t.length) {
        return 0.0;
    }
    const double window = std::sin(shapes::kPi * d / t.length);
    return t.height * weight * window * window * std::sin(shapes::kTwoPi * t.cycles * d / t.length);
}

const Tremor& tremor_of(Instrument i) {
    switch (i) {
        case Instrument::open_hat:
        case Instrument::ride: return kLongHat;
        case Instrument::shaker: return kShaker;
        case Instrument::hat: return kClosedHat;
        default: return kPercussion;
    }
}

}  // namespace

Rendering render_flutter(const Score& score) {
    // The arc's keys: one per onset of kick or snare, alternating sides.
    std::vector<Hit> drums;
    for (const Hit& h : score.hits) {
        if ((h.group() == Group::kick || h.group() == Group::backbeat) && h.level != Level::ghost) {
            drums.push_back(h);
        }
    }
    const int period = score.period();
    const std::vector<std::vector<Hit>> onsets = drum_onsets(drums);
    std::vector<shapes::Key> arc;
    double side = 1.0;
    for (std::size_t i = 0; i < onsets.size(); ++i) {
        double reach = 0.0;
        for (const Hit& h : onsets[i]) {
            const double r = (h.group() == Group::kick ? kKickReach : kSnareReach) * relative_weight(h);
            reach = std::max(reach, r);
        }
        // An onset hard on the heels of the last one swings only as far as
        // the time it has allows.
        const double since = onsets.size() == 1 ? period
                                                 : onsets[i].front().pip - onsets[(i + onsets.size() - 1) % onsets.size()].front().pip;
        const double gap = since <= 0.0 ? since + period : since;
        arc.push_back({onsets[i].front().pip, side * reach * std::min(1.0, gap / kFullSwing)});
        side = -side;
    }
    std::vector<Hit> upper = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    upper.insert(upper.end(), percussion.begin(), percussion.end());
    std::vector<Hit> ghosts;
    for (const Hit& h : score.hits) {
        if ((h.group() == Group::kick || h.group() == Group::backbeat) && h.level == Level::ghost) {
            ghosts.push_back(h);
        }
    }

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double x = shapes::loop_lane(arc, period, k);
        const double u = std::min(1.0, (x / kFullReach) * (x / kFullReach));
        Offset3 r{x, kSag + kRise * u, kForward * (1.0 - u)};
        for (const Hit& h : ghosts) {
            r.x += tremor(k, h.pip, kGhostFlinch, relative_weight(h), period);
        }
        for (const Hit& h : upper) {
            const double t = tremor(k, h.pip, tremor_of(h.instrument), relative_weight(h), period);
            if (h.group() == Group::percussion) {
                r.x += t;
            } else if (h.instrument == Instrument::shaker) {
                r.z += t;
            } else {
                r.y += t;
            }
        }
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
