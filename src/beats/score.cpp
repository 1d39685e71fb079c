// The score format.
//
//     # A comment line starts with '#'.
//     key    house_classic
//     title  House / kick-clap-offbeat hat
//     note                                 (the rest of the line; may be empty)
//     bars   2
//     meter  4/4                           (optional; the bar's beats)
//     depth  no                            (yes: bounce and step use depth)
//
//     kick   | X...x...X...x... | X...x...X...x..o |
//     clap   | ....X.......X... | ....X.......X... |
//     hat    | ..x...x...x...x. | ..x...x...x...x. | swing 3
//
// A lane names its instrument and then holds one cell per bar between bars
// '|'. The characters of a cell are its steps, spread evenly over the bar:
// 16 make sixteenths, 12 triplet eighths, 24 triplet sixteenths, 8 eighths,
// 4 quarters; blanks inside a cell only group the steps for the eye. A step
// is 'X' (accent), 'x' (normal), 'o' (ghost) or '.' (rest). A bar lasts 256
// pips (four beats), or 256 N / D pips under "meter N/D", which must be a
// whole number of pips; step i of n in bar b falls at pip B b + B i / n for
// a bar of B pips.
//
// Microtiming follows the last '|': "swing S" delays every second step of
// each cell (the off-steps) by S pips, "shift P" moves every hit of the lane
// by P pips (negative is early). Both may be fractional, and a lane may name
// an instrument another lane already plays, so a single hit can be given a
// timing of its own. A hit moved past either end of its bar lands in the
// neighbouring bar, and past either end of the loop wraps round; neither
// value may exceed the loop's length either way.
//
// The metre's N is 1 to 64 beats of the note value D, which is 1, 2, 4, 8,
// 16, 32 or 64 (a whole note down to a sixty-fourth), so a bar lasts from 4
// to 16384 pips. What a score may ask the renderers to do is bounded: at most
// kMaxHits hits, and at most kMaxWork hits times pips of the loop, the
// product that every motion's rendering time follows.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

#include "beats.hpp"

namespace gesturon::beats {

namespace {

struct InstrumentName {
    Instrument instrument;
    std::string_view name;
    Group group;
};

constexpr std::array<InstrumentName, 17> kInstruments{{
    {Instrument::kick, "kick", Group::kick},
    {Instrument::snare, "snare", Group::backbeat},
    {Instrument::clap, "clap", Group::backbeat},
    {Instrument::rim, "rim", Group::backbeat},
    {Instrument::hat, "hat", Group::hats},
    {Instrument::open_hat, "open_hat", Group::hats},
    {Instrument::ride, "ride", Group::hats},
    {Instrument::shaker, "shaker", Group::hats},
    {Instrument::tom_low, "tom_low", Group::percussion},
    {Instrument::tom_mid, "tom_mid", Group::percussion},
    {Instrument::tom_high, "tom_high", Group::percussion},
    {Instrument::cowbell, "cowbell", Group::percussion},
    {Instrument::bell, "bell", Group::percussion},
    {Instrument::clave, "clave", Group::percussion},
    {Instrument::conga, "conga", Group::percussion},
    {Instrument::perc, "perc", Group::percussion},
    {Instrument::bass, "bass", Group::bass},
}};

// The longest loop a pattern can hold.
constexpr int kMaxPeriod = 65535;
// A cell may hold up to 256 steps, or one per pip of a longer bar.
constexpr int kMaxSteps = 256;
// The metre's beats and the finest note value it may count in.
constexpr int kMaxMeterBeats = 64;
constexpr int kFinestNoteValue = 64;
// The most hits a score may hold, and the most hits times pips of the loop:
// sixteen times the busiest built-in beat (64 hits over 1024 pips). The
// slowest motion renders a score at that bound in about a sixth of a
// second, all sixteen in under a second and a half.
constexpr long kMaxHits = 4096;
constexpr long kMaxWork = 1L << 20;
// The longest score text: a loop of 65535 pips written one step a pip in all
// seventeen instruments is about 1.1 MB.
constexpr std::size_t kMaxText = 4 * 1024 * 1024;

[[noreturn]] void fault(int line, const std::string& what) {
    throw std::invalid_argument("line " + std::to_string(line) + ": " + what);
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Splits off the first word of s (up to a blank or '|').
std::string_view first_word(std::string_view& s) {
    std::size_t n = 0;
    while (n < s.size() && !blank(s[n]) && s[n] != '|') {
        ++n;
    }
    std::string_view word = s.substr(0, n);
    s = trim(s.substr(n));
    return word;
}

double number(std::string_view text, int line, std::string_view what) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        fault(line, std::string(what) + " needs a number, not \"" + std::string(text) + "\"");
    }
    return value;
}

bool identifier(std::string_view s) {
    return is_identifier(s) && s.size() <= 64;
}

// One lane line after its instrument name: the cells between bars and the
// timing options after the last bar line.
void read_lane(Instrument instrument, std::string_view rest, int bars, int bar_pips, int line,
               std::vector<Hit>& hits) {
    if (rest.empty() || rest.front() != '|') {
        fault(line, "a lane starts with '|' after the instrument name");
    }
    const std::size_t last = rest.rfind('|');
    std::string_view options = trim(rest.substr(last + 1));
    std::string_view cells = rest.substr(1, last - 1);
    double swing = 0.0;
    double shift = 0.0;
    const double period = static_cast<double>(bars * bar_pips);
    // A timing is at most the loop's length either way, so that every hit's
    // time stays a finite number of pips.
    const auto timing = [&](std::string_view value, std::string_view what) {
        const double pips = number(value, line, what);
        if (std::fabs(pips) > period) {
            fault(line, std::string(what) + " is at most the loop's " + std::to_string(bars * bar_pips) +
                            " pips either way, not \"" + std::string(value) + "\"");
        }
        return pips;
    };
    while (!options.empty()) {
        const std::string_view option = first_word(options);
        const std::string_view value = first_word(options);
        if (option == "swing") {
            swing = timing(value, "swing");
        } else if (option == "shift") {
            shift = timing(value, "shift");
        } else {
            fault(line, "unknown lane option \"" + std::string(option) + "\" (swing or shift)");
        }
    }
    int bar = 0;
    const std::size_t max_steps = static_cast<std::size_t>(std::max(kMaxSteps, bar_pips));
    while (last > 0) {
        const std::size_t end = cells.find('|');
        std::string steps;
        for (const char c : cells.substr(0, end)) {
            if (!blank(c)) {
                steps += c;
            }
        }
        if (steps.empty()) {
            fault(line, "bar " + std::to_string(bar + 1) + " has no steps");
        }
        if (steps.size() > max_steps) {
            fault(line, "bar " + std::to_string(bar + 1) + " has more than " + std::to_string(max_steps) + " steps");
        }
        if (bar == bars) {
            fault(line, "the lane has more bars than the score's " + std::to_string(bars));
        }
        const double n = static_cast<double>(steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            Level level;
            switch (steps[i]) {
                case '.': continue;
                case 'X': level = Level::accent; break;
                case 'x': level = Level::normal; break;
                case 'o': level = Level::ghost; break;
                default:
                    fault(line, std::string("unknown step '") + steps[i] + "' (X accent, x normal, o ghost, . rest)");
            }
            double pip = bar_pips * bar + bar_pips * static_cast<double>(i) / n + shift;
            if (i % 2 == 1) {
                pip += swing;
            }
            pip = std::fmod(pip, period);
            if (pip < 0.0) {
                pip += period;
            }
            // A hit a hair before the start wraps to the period itself once
            // rounded: that is the start of the loop.
            if (pip >= period || pip == 0.0) {
                pip = 0.0;  // and never -0.0
            }
            if (static_cast<long>(hits.size()) == kMaxHits) {
                fault(line, "the score has more than " + std::to_string(kMaxHits) + " hits");
            }
            hits.push_back({instrument, pip, level});
        }
        ++bar;
        if (end == std::string_view::npos) {
            break;
        }
        cells = cells.substr(end + 1);
    }
    if (bar != bars) {
        fault(line, "the lane has " + std::to_string(bar) + " bars; the score has " + std::to_string(bars));
    }
}

}  // namespace

Group group_of(Instrument instrument) noexcept {
    return kInstruments[static_cast<std::size_t>(instrument)].group;
}

std::string_view instrument_name(Instrument instrument) noexcept {
    return kInstruments[static_cast<std::size_t>(instrument)].name;
}

double level_weight(Level level) noexcept {
    switch (level) {
        case Level::ghost: return 0.4;
        case Level::normal: return 0.8;
        case Level::accent: return 1.0;
    }
    return 0.0;
}

std::vector<Hit> Score::of(Group g) const {
    std::vector<Hit> out;
    std::copy_if(hits.begin(), hits.end(), std::back_inserter(out), [g](const Hit& h) { return h.group() == g; });
    return out;
}

Score parse_score(std::string_view text) {
    if (text.size() > kMaxText) {
        throw std::invalid_argument("the score is " + std::to_string(text.size()) + " bytes; a score is at most " +
                                    std::to_string(kMaxText));
    }
    Score score;
    bool seen_key = false, seen_title = false, seen_note = false, seen_bars = false, seen_depth = false,
         seen_meter = false, seen_lane = false;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const std::size_t end = text.find('\n');
        std::string_view rest = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (rest.empty() || rest.front() == '#') {
            continue;
        }
        const std::string_view word = first_word(rest);
        const auto once = [&](bool& seen) {
            if (seen) {
                fault(line, "\"" + std::string(word) + "\" is given twice");
            }
            seen = true;
        };
        if (word == "key") {
            once(seen_key);
            if (!identifier(rest)) {
                fault(line, "the key is 1 to 64 lowercase letters, digits and _, starting with a letter");
            }
            score.key = rest;
        } else if (word == "title") {
            once(seen_title);
            score.title = rest;
        } else if (word == "note") {
            once(seen_note);
            score.note = rest;
        } else if (word == "bars") {
            once(seen_bars);
            const double bars = number(rest, line, "bars");
            if (bars != std::floor(bars) || bars < 1 || bars > kMaxPeriod) {
                fault(line, "bars must be a whole number of at least 1");
            }
            score.bars = static_cast<int>(bars);
        } else if (word == "meter") {
            once(seen_meter);
            if (seen_lane) {
                fault(line, "the meter must be given before the first lane");
            }
            const std::size_t slash = rest.find('/');
            const double beats = number(trim(rest.substr(0, slash)), line, "meter");
            const double unit = slash == std::string_view::npos ? 0.0 : number(trim(rest.substr(slash + 1)), line, "meter");
            const double pips = 4.0 * PIPS_PER_BEAT * beats / unit;
            if (unit < 1 || beats < 1 || beats != std::floor(beats) || unit != std::floor(unit) || pips != std::floor(pips) ||
                pips > kMaxPeriod) {
                fault(line, "meter is N/D, whole numbers whose bar of 256 N / D pips is a whole number of pips");
            }
            // A power of two up to 64 is a note value; anything else counts
            // in no note a drummer plays.
            const auto note_value = [](double d) {
                return d <= kFinestNoteValue && (static_cast<int>(d) & (static_cast<int>(d) - 1)) == 0;
            };
            if (beats > kMaxMeterBeats || !note_value(unit)) {
                fault(line, "meter is N/D with N from 1 to 64 and D one of 1, 2, 4, 8, 16, 32, 64");
            }
            score.bar_pips = static_cast<int>(pips);
        } else if (word == "depth") {
            once(seen_depth);
            if (rest != "yes" && rest != "no") {
                fault(line, "depth is yes or no");
            }
            score.depth = rest == "yes";
        } else {
            const auto it = std::find_if(kInstruments.begin(), kInstruments.end(),
                                         [&](const InstrumentName& i) { return i.name == word; });
            if (it == kInstruments.end()) {
                fault(line, "unknown word \"" + std::string(word) + "\": a header (key, title, note, bars, meter, depth) or an instrument lane");
            }
            if (!seen_bars) {
                fault(line, "bars must be given before the first lane");
            }
            if (static_cast<long>(score.bars) * score.bar_pips > kMaxPeriod) {
                fault(line, "the loop lasts " + std::to_string(static_cast<long>(score.bars) * score.bar_pips) +
                                " pips; a pattern holds at most 65535");
            }
            seen_lane = true;
            read_lane(it->instrument, rest, score.bars, score.bar_pips, line, score.hits);
        }
    }
    if (!seen_key || !seen_title || !seen_bars) {
        throw std::invalid_argument("a score needs a key, a title and bars");
    }
    if (score.hits.empty()) {
        throw std::invalid_argument("the score has no hits");
    }
    const long work = static_cast<long>(score.hits.size()) * score.period();
    if (work > kMaxWork) {
        throw std::invalid_argument("the score asks for " + std::to_string(score.hits.size()) + " hits over " +
                                    std::to_string(score.period()) + " pips, " + std::to_string(work) +
                                    " hit-pips; a score may ask for at most " + std::to_string(kMaxWork));
    }
    std::stable_sort(score.hits.begin(), score.hits.end(), [](const Hit& a, const Hit& b) { return a.pip < b.pip; });
    return score;
}

}  // namespace gesturon::beats
