#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <string>

#include "beats.hpp"
#include "render.hpp"

namespace gesturon::beats {

namespace {

struct MotionEntry {
    Motion motion;
    Rendering (*render)(const Score&);
};

constexpr std::array<MotionEntry, 16> kMotions{{
    {{"bounce", "Kick-led bounce", "Original Club 05 kick-led downstroke and side accents."}, render_bounce},
    {{"step", "Snare side-step", "Original Club 05 alternating lateral kick and snare gestures."}, render_step},
    {{"orbit", "Percussion orbit", "Original Club 05 event-weighted orbital speed, radius and depth."}, render_orbit},
    {{"glide", "Bass / phrase glide", "Original Club 05 continuous phrase path with bass excursions."}, render_glide},
    {{"surge", "Forward surge", "Kick thrust through depth with contrasting snare lift and hat detail."}, render_surge},
    {{"recoil", "Backbeat recoil", "Snare pushes sideways; kick counters downward; delayed echo draws back."},
     render_recoil},
    {{"flutter", "Upper-percussion flutter", "Hat and shaker tremors over a wider kick/snare arc."}, render_flutter},
    {{"dive", "Bass-led dive", "Bass drives a broad depth plunge with alternating drum counterweight."}, render_dive},
    {{"pendulum", "Weighted pendulum", "A hanging arc whose amplitude and angular speed respond to the score."},
     render_pendulum},
    {{"figure8", "Woven figure eight", "Two crossing lobes expand at kicks with a lifted snare crossing."},
     render_figure8},
    {{"box", "Rounded corner tour", "Rhythm-weighted phase travels around four softened corners."}, render_box},
    {{"corkscrew", "Closed corkscrew", "Two orbital turns ride a depth wave with percussion-driven radius."},
     render_corkscrew},
    {{"spiral", "Breathing spiral", "A contracting and expanding double-turn path with a continuous seam."},
     render_spiral},
    {{"slalom", "Drum slalom", "S-shaped travel with kick lift, snare cutbacks and depth counter-motion."},
     render_slalom},
    {{"spring", "Causal spring", "An event starts at rest, then drives a damped ringing excursion."}, render_spring},
    {{"ricochet", "Directional ricochet", "Successive onsets send smooth excursions toward a cyclic series of targets."},
     render_ricochet},
}};

constexpr std::array<Motion, 16> kMotionList = [] {
    std::array<Motion, 16> list{};
    for (std::size_t i = 0; i < list.size(); ++i) {
        list[i] = kMotions[i].motion;
    }
    return list;
}();

}  // namespace

std::span<const Motion> motions() noexcept {
    return kMotionList;
}

Rendering render(const Score& score, std::string_view motion) {
    for (const MotionEntry& entry : kMotions) {
        if (entry.motion.key == motion) {
            return entry.render(score);
        }
    }
    throw std::invalid_argument("unknown motion \"" + std::string(motion) + "\"");
}

namespace {

// Every position lies within [-1, 1] on each axis. The motions are shaped to
// stay inside for any beat a drummer plays, but hits crowded closer than a
// motion's shapes expect (two kicks one pip apart, a bar of a few pips) can
// add up beyond the edge; such a value is held at the edge rather than
// failing the whole rendering. A value that is not finite at all is a fault
// of the renderer and is reported.
double settled(double v) {
    if (!std::isfinite(v)) {
        throw std::logic_error("a motion rendered a value that is not finite");
    }
    return shapes::quantise(std::clamp(v, -1.0, 1.0));
}

}  // namespace

Rendering finish(const std::vector<Offset3>& rows, int dimensions) {
    Rendering out{dimensions, {}};
    out.rows.reserve(rows.size());
    for (const Offset3& r : rows) {
        out.rows.push_back({settled(r.x), settled(r.y), settled(r.z)});
    }
    return out;
}

}  // namespace gesturon::beats
