// gesturon_tools._beats: the drum score reader and the sixteen motion
// renderers for the companion package, the same code that renders the stored
// beat tables at build time.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "beats.hpp"

namespace py = pybind11;
namespace beats = gesturon::beats;

namespace {

std::string_view level_name(beats::Level level) {
    switch (level) {
        case beats::Level::ghost: return "ghost";
        case beats::Level::normal: return "normal";
        case beats::Level::accent: return "accent";
    }
    return "";
}

py::dict score_dict(const beats::Score& s) {
    py::list hits;
    for (const beats::Hit& h : s.hits) {
        hits.append(py::make_tuple(std::string(beats::instrument_name(h.instrument)), h.pip,
                                   std::string(level_name(h.level))));
    }
    py::dict d;
    d["key"] = s.key;
    d["title"] = s.title;
    d["note"] = s.note;
    d["bars"] = s.bars;
    d["bar_pips"] = s.bar_pips;
    d["period_pips"] = s.period();
    d["depth"] = s.depth;
    d["hits"] = hits;
    return d;
}

std::string_view group_name(beats::Group group) {
    switch (group) {
        case beats::Group::kick: return "kick";
        case beats::Group::backbeat: return "backbeat";
        case beats::Group::hats: return "hats";
        case beats::Group::percussion: return "percussion";
        case beats::Group::bass: return "bass";
    }
    return "";
}

}  // namespace

PYBIND11_MODULE(_beats, m) {
    m.doc() = "Drum scores and the sixteen motions that render them.";
    m.def(
        "parse_score", [](std::string_view text) { return score_dict(beats::parse_score(text)); }, py::arg("text"),
        "Reads a score: a dict with key, title, note, bars, bar_pips, period_pips, depth and hits, each hit a tuple "
        "(instrument, pip, level) in time order. Raises ValueError naming the line of the first fault.");
    m.def(
        "motions",
        [] {
            std::vector<std::tuple<std::string, std::string, std::string>> out;
            for (const beats::Motion& mo : beats::motions()) {
                out.emplace_back(std::string(mo.key), std::string(mo.title), std::string(mo.sentence));
            }
            return out;
        },
        "The sixteen motions in catalogue order, each (key, title, sentence).");
    m.def(
        "instruments",
        [] {
            std::vector<std::pair<std::string, std::string>> out;
            for (int i = 0; i <= static_cast<int>(beats::Instrument::bass); ++i) {
                const auto instrument = static_cast<beats::Instrument>(i);
                out.emplace_back(std::string(beats::instrument_name(instrument)),
                                 std::string(group_name(beats::group_of(instrument))));
            }
            return out;
        },
        "The instruments a score's lanes may name, each (name, group), in lane order.");
    m.def(
        "render",
        [](std::string_view text, std::string_view motion) {
            const beats::Rendering r = beats::render(beats::parse_score(text), motion);
            std::vector<std::tuple<double, double, double>> rows;
            rows.reserve(r.rows.size());
            for (const gesturon::Offset3& p : r.rows) {
                rows.emplace_back(p.x, p.y, p.z);
            }
            return py::make_tuple(r.dimensions, rows);
        },
        py::arg("text"), py::arg("motion"),
        "Renders a score in a motion: (dimensions, rows), one row (x, y, z) per pip of the period. Raises "
        "ValueError for a faulty score or an unknown motion.");
}
