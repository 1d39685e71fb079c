// Woven figure eight: one figure a bar, its two lobes side by side (x one
// turn, y two turns a bar), crossing in the middle, the lobe tips set back in
// depth and the crossing brought forward.
//
// The drums pace it. Each kick or snare onset pins the figure's phase to the
// onset's place in the bar, and from there the figure races out: half the way
// to the next onset is covered in the first 17/64 of the time, so every lobe
// flings open just after its kick and settles into the next. A kick's weight
// sets how far the figure opens around it (accents wider, ghosts narrower);
// snares lift the figure and bring it forward as they land, and hats weave it
// in and out of the depth.
#include <cmath>

#include "render.hpp"

namespace gesturon::beats {

namespace {

// The figure of a plain bar.
constexpr double kWidth = 0.63;     // x of the lobe tips
constexpr double kHeight = 0.3968;  // y of the lobe tops and bottoms
constexpr double kDepthMean = -0.048;  // depth: tips at mean - swing,
constexpr double kDepthSwing = 0.112;  // crossing at mean + swing

// Half the phase from one onset to the next is covered in this share of the
// time between them.
constexpr double kRush = 17.0 / 64.0;
// Ghost notes do not pace the figure.

// A plain snare's lift and forward push.
constexpr double kSnareLift = 0.2;
constexpr double kSnareForward = 0.1;
// A plain hat's weave in depth, alternately in and out.
constexpr double kHatWeave = 0.09;
constexpr double kHatWidth = 5.0;
// A plain percussion hit tugs the figure outwards along x, in proportion to
// how far out on its lobe the figure is (so the tug never jumps sides), and
// a plain bass onset draws it back in depth. Both were tuned so that two
// beats differing only in their toms or their bass line give figures at
// least 0.05 apart by the table distance of docs/beats.md.
constexpr double kPercussionTug = 0.12;
constexpr double kPercussionWidth = 10.0;
constexpr double kBassDraw = 0.12;
constexpr shapes::Envelope kBassEnvelope{6.0, 40.0};
// A ghost snare lifts the crossing too, a little over half as high as a
// plain snare: enough for the quiet snares of a break to show.
constexpr double kGhostLift = 0.6;

struct Node {
    double pip;
    double phase;
};

// The phase of the figure at pip k: piecewise linear through the nodes, which
// begin before pip 0 and end after the seam.
double phase_at(const std::vector<Node>& nodes, double k) {
    std::size_t i = 1;
    while (i + 1 < nodes.size() && nodes[i].pip <= k) {
        ++i;
    }
    const Node& a = nodes[i - 1];
    const Node& b = nodes[i];
    return a.phase + (b.phase - a.phase) * ((k - a.pip) / (b.pip - a.pip));
}

}  // namespace

Rendering render_figure8(const Score& score) {
    const int period = score.period();
    const double p = static_cast<double>(period);
    const double turns = shapes::kTwoPi * score.bars;

    // The pacing onsets and their nominal phases, one figure a bar.
    std::vector<Hit> drums;
    for (const Hit& h : score.hits) {
        if ((h.group() == Group::kick || h.group() == Group::backbeat) && h.level != Level::ghost) {
            drums.push_back(h);
        }
    }
    std::vector<Node> onsets;
    for (const std::vector<Hit>& onset : drum_onsets(drums)) {
        onsets.push_back({onset.front().pip, shapes::kTwoPi * onset.front().pip / kPipsPerBar});
    }
    // Nodes: each onset and the halfway point after it, with the loop's last
    // onset before pip 0 and its first after the seam.
    std::vector<Node> nodes;
    if (onsets.empty()) {
        nodes = {{0.0, 0.0}, {p, turns}};
    } else {
        const Node before{onsets.back().pip - p, onsets.back().phase - turns};
        const Node after{onsets.front().pip + p, onsets.front().phase + turns};
        nodes.push_back(before);
        for (std::size_t i = 0; i <= onsets.size(); ++i) {
            const Node& a = i == 0 ? before : onsets[i - 1];
            const Node& b = i == onsets.size() ? after : onsets[i];
            nodes.push_back({a.pip + kRush * (b.pip - a.pip), 0.5 * (a.phase + b.phase)});
            nodes.push_back(b);
        }
    }

    std::vector<shapes::Key> opening;  // each kick's relative weight
    for (const std::vector<Hit>& onset : drum_onsets(score.of(Group::kick))) {
        double w = 0.0;
        for (const Hit& h : onset) {
            w = std::max(w, relative_weight(h));
        }
        opening.push_back({onset.front().pip, w});
    }
    const std::vector<Hit> snares = score.of(Group::backbeat);
    const std::vector<Hit> hats = score.of(Group::hats);
    const std::vector<Hit> percussion = score.of(Group::percussion);
    const std::vector<Hit> bass = score.of(Group::bass);

    std::vector<Offset3> rows = rows_over(score, [&](int k) {
        const double phi = phase_at(nodes, k);
        const double open = opening.empty() ? 1.0 : shapes::loop_lane(opening, period, k);
        Offset3 r{open * kWidth * std::sin(phi), open * kHeight * std::sin(2.0 * phi),
              open * (kDepthMean + kDepthSwing * std::cos(2.0 * phi))};
        for (const Hit& h : snares) {
            const double w = relative_weight(h);
            const double lift = h.level == Level::ghost ? kGhostLift * kSnareLift : kSnareLift * w;
            r.y += shapes::envelope(k, h.pip, lift, shapes::kKickEnvelope, period);
            r.z += shapes::envelope(k, h.pip, kSnareForward * w, shapes::kKickEnvelope, period);
        }
        const double outwards = std::sin(phi);
        for (const Hit& h : percussion) {
            r.x += shapes::bump(k, h.pip, outwards * kPercussionTug * relative_weight(h), kPercussionWidth, period);
        }
        for (const Hit& h : bass) {
            r.z -= shapes::envelope(k, h.pip, kBassDraw * relative_weight(h), kBassEnvelope, period);
        }
        double side = 1.0;
        for (const Hit& h : hats) {
            r.z += shapes::bump(k, h.pip, side * kHatWeave * relative_weight(h), kHatWidth, period);
            side = -side;
        }
        return r;
    });
    shapes::limit_peak(rows, kPileUpCeiling);
    return finish(rows, 3);
}

}  // namespace gesturon::beats
