// gesturon_continuum: 320 tables in 20 families of 16. The first twelve
// families are continuous spatial paths (continuum_paths.cpp,
// continuum_motions.cpp), the last
// eight rhythmic gesture scores whose peaks sit on exact rational beat
// positions (continuum_rhythm.cpp, continuum_grids.cpp); continuum.cpp
// strings them together in catalogue order.
#pragma once

#include <vector>

#include "table.hpp"

namespace gen::continuum {

// The families, each in its catalogue order.
std::vector<Table> ribbon_family();                // continuum_paths.cpp
std::vector<Table> contour_shaped_family();
std::vector<Table> silhouette_harmonic_family();
std::vector<Table> spline_family();
std::vector<Table> tour_family();
std::vector<Table> scan_family();
std::vector<Table> reach_family();                 // continuum_motions.cpp
std::vector<Table> surface_family();
std::vector<Table> braid_family();
std::vector<Table> arm_coupled_family();
std::vector<Table> dwell_phrase_family();
std::vector<Table> packet_family();
std::vector<Table> canon_family();                 // continuum_rhythm.cpp
std::vector<Table> echo_family();
std::vector<Table> ladder_family();
std::vector<Table> necklace_family();
std::vector<Table> accent_walk_family();           // continuum_grids.cpp
std::vector<Table> triplet_family();
std::vector<Table> dialogue_family();
std::vector<Table> burst_family();

}  // namespace gen::continuum
