// The packs the generator builds, one function per pack. Adding a pack means
// writing its function in a unit of its own and listing it in main.cpp.
#pragma once

#include <string>
#include <vector>

#include "beats.hpp"
#include "table.hpp"

namespace gen {

std::vector<Table> initial_pack();
std::vector<Table> expansion_pack();
std::vector<Table> atlas_pack();
std::vector<Table> continuum_pack();

// The beat packs render the drum scores of the score files, read in file-name
// order from one directory.
std::vector<gesturon::beats::Score> read_scores(const std::string& directory);
std::vector<Table> club_pack(const std::vector<gesturon::beats::Score>& scores);
std::vector<Table> dancefloor_pack(const std::vector<gesturon::beats::Score>& scores);

}  // namespace gen
