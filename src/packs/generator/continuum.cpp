// gesturon_continuum: the 320 tables in catalogue order, family by family.
#include "continuum.hpp"

#include <cmath>
#include <cstdlib>
#include <iostream>

#include "blocks.hpp"
#include "packs.hpp"

namespace gen {
namespace continuum {

Table placeholder(std::string name, std::string description, int period, int dimensions) {
    return make_table(std::move(name), std::move(description), period, dimensions, [&](int k) {
        const double t = loop_angle(k, period);
        return Row{0.5 * std::cos(t), 0.4 * std::sin(t), dimensions == 3 ? 0.3 * std::sin(2.0 * t) : 0.0};
    });
}

}  // namespace continuum

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
