// gesturon_club and gesturon_dancefloor: the beats of the score files, each
// rendered in its motions. The club pack holds the four club motions of the
// first 36 beats; the dancefloor pack the twelve further motions of those
// beats, then all sixteen motions of the beats after them.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "beats.hpp"
#include "builders.hpp"

namespace gen {

namespace {

namespace beats = gesturon::beats;

constexpr std::size_t kClubBeats = 36;
constexpr std::size_t kClubMotions = 4;
constexpr std::string_view kDash = " \u2014 ";

Table table_of(const beats::Score& score, const beats::Motion& motion, std::string description) {
    const beats::Rendering r = beats::render(score, motion.key);
    Table t{"beat_" + score.key + "_" + std::string(motion.key), std::move(description), score.period(),
            r.dimensions, {}};
    for (const gesturon::Offset3& p : r.rows) {
        t.rows.push_back({p.x, p.y, p.z});
    }
    return t;
}

// The club pack calls its fourth motion by an older title.
std::string_view club_title(const beats::Motion& motion) {
    return motion.key == "glide" ? "Bass-and-phrase glide" : motion.title;
}

}  // namespace

std::vector<beats::Score> read_scores(const std::string& directory) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() == ".beat") {
            files.push_back(entry.path());
        }
    }
    // The files are numbered in catalogue order: 01_four_floor.beat, ...
    std::sort(files.begin(), files.end());
    std::vector<beats::Score> scores;
    for (const auto& path : files) {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        try {
            scores.push_back(beats::parse_score(text.str()));
        } catch (const std::invalid_argument& e) {
            std::cerr << "gesturon table generator: " << path.filename().string() << ": " << e.what() << '\n';
            std::exit(1);
        }
    }
    return scores;
}

std::vector<Table> club_pack(const std::vector<beats::Score>& scores) {
    std::vector<Table> pack;
    const auto motions = beats::motions().first(kClubMotions);
    for (std::size_t b = 0; b < std::min(kClubBeats, scores.size()); ++b) {
        const beats::Score& s = scores[b];
        for (const beats::Motion& m : motions) {
            pack.push_back(table_of(s, m, s.title + std::string(kDash) + std::string(club_title(m)) + ". " + s.note));
        }
    }
    return pack;
}

std::vector<Table> dancefloor_pack(const std::vector<beats::Score>& scores) {
    std::vector<Table> pack;
    for (std::size_t b = 0; b < scores.size(); ++b) {
        const beats::Score& s = scores[b];
        // The club beats already have their four club motions in the club pack.
        const auto motions = b < kClubBeats ? beats::motions().subspan(kClubMotions) : beats::motions();
        for (const beats::Motion& m : motions) {
            pack.push_back(table_of(
                s, m, s.title + std::string(kDash) + std::string(m.title) + ". " + std::string(m.sentence)));
        }
    }
    return pack;
}

}  // namespace gen
