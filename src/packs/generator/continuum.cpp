// gesturon_continuum: the 320 tables in catalogue order, family by family.
#include "continuum.hpp"

#include "table.hpp"
#include "builders.hpp"

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
    return families_of_sixteen(families, "a continuum family");
}

}  // namespace gen
