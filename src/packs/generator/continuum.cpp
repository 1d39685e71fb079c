// gesturon_continuum: the 320 tables in catalogue order, family by family.
#include "continuum.hpp"

#include <cstdlib>
#include <iostream>

#include "table.hpp"
#include "packs.hpp"

namespace gen {

std::vector<Table> continuum_pack() {
    using namespace continuum;
    std::vector<Table> (*const families[])() = {
        ribbon_family,      contour_shaped_family, silhouette_harmonic_family, spline_family,
        tour_family,        scan_family,           reach_family,               surface_family,
        braid_family,       arm_coupled_family,    dwell_phrase_family,        packet_family,
        canon_family,       echo_family,           ladder_family,              necklace_family,
        accent_walk_family, triplet_family,        dialogue_family,            burst_family,
    };
    std::vector<Table> pack;
    for (auto family : families) {
        std::vector<Table> tables = family();
        if (tables.size() != 16) {
            std::cerr << "gesturon table generator: a continuum family does not hold 16 tables\n";
            std::exit(1);
        }
        for (Table& t : tables) {
            pack.push_back(std::move(t));
        }
    }
    return pack;
}

}  // namespace gen
