// Drum scores and the sixteen motions that turn a score into movement.
//
// A score is a dance-music beat written the way a drummer reads a step
// sequencer: one lane per instrument, one character per step, bar by bar
// (the score format is described in score.cpp and in the score files
// themselves). A motion reads nothing but the score and renders it as a
// closed loop of positions, one per pip of the beat's period.
//
// The same code renders the stored beat tables at build time and a caller's
// own beat after installation, so both agree to the last bit.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core.hpp"

namespace gesturon::beats {

inline constexpr int kPipsPerBar = 4 * PIPS_PER_BEAT;

// What a lane plays. Motions listen to instruments by group.
enum class Instrument {
    kick,
    snare,
    clap,
    rim,
    hat,
    open_hat,
    ride,
    shaker,
    tom_low,
    tom_mid,
    tom_high,
    cowbell,
    bell,
    clave,
    conga,
    perc,
    bass,
};

enum class Group {
    kick,      // kick
    backbeat,  // snare, clap, rim
    hats,      // closed and open hat, ride, shaker
    percussion,  // toms, cowbell, bell, clave, conga and other percussion
    bass,      // bass onsets
};

Group group_of(Instrument instrument) noexcept;

// The lane name of an instrument in the score format ("kick", "open_hat", ...).
std::string_view instrument_name(Instrument instrument) noexcept;

// How hard a hit is played.
enum class Level { ghost, normal, accent };

// The weight a motion gives a hit of that level: accent 1, normal 0.8,
// ghost 0.4.
double level_weight(Level level) noexcept;

// One hit: its instrument, its time in pips from the start of the loop
// (fractional on triplet grids and where microtiming moves it; always in
// [0, period)) and how hard it is played.
struct Hit {
    Instrument instrument;
    double pip;
    Level level;

    Group group() const noexcept { return group_of(instrument); }
    double weight() const noexcept { return level_weight(level); }
};

struct Score {
    std::string key;    // the beat key: the pattern names are beat_<key>_<motion>
    std::string title;  // "House / kick-clap-offbeat hat"
    std::string note;   // may be empty
    int bars = 0;       // the period is bars * bar_pips
    int bar_pips = kPipsPerBar;  // a bar of four beats, unless a metre says otherwise
    bool depth = false;  // whether the beat's bounce and step use depth
    std::vector<Hit> hits;  // in time order; hits at one pip in lane order

    int period() const noexcept { return bars * bar_pips; }

    // The hits of one group, in time order.
    std::vector<Hit> of(Group group) const;
};

// Reads a score from its text. Throws std::invalid_argument with a message
// "line N: ..." naming the first fault.
Score parse_score(std::string_view text);

// A motion: its key (the last word of the pattern name), its title and the
// sentence that describes it.
struct Motion {
    std::string_view key;
    std::string_view title;
    std::string_view sentence;
};

// The sixteen motions in catalogue order: the four club motions (bounce,
// step, orbit, glide), then surge to ricochet.
std::span<const Motion> motions() noexcept;

// A rendered beat: how many leading axes move, and one position per pip of
// the score's period, each value already rounded to twelve decimals as the
// stored tables are.
struct Rendering {
    int dimensions = 0;
    std::vector<Offset3> rows;
};

// Renders the score in the motion with that key. Throws std::invalid_argument
// for a key that is not one of motions().
Rendering render(const Score& score, std::string_view motion);

}  // namespace gesturon::beats
