// The packs the generator builds, one function per pack. Adding a pack means
// writing its function in a unit of its own and listing it in main.cpp.
#pragma once

#include <vector>

#include "table.hpp"

namespace gen {

std::vector<Table> initial_pack();
std::vector<Table> expansion_pack();
std::vector<Table> atlas_pack();
std::vector<Table> continuum_pack();

}  // namespace gen
