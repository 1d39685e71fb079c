// gesturon_atlas: the 256 tables in catalogue order, block by block.
#include "atlas.hpp"

#include <cstdlib>
#include <iostream>

#include "table.hpp"
#include "packs.hpp"

namespace gen {
namespace atlas {

std::string two_digits(int i) {
    std::string digits = std::to_string(i);
    if (digits.size() < 2) {
        digits.insert(digits.begin(), '0');
    }
    return digits;
}

Table scaled_path(std::string name, std::string description, int period, int dimensions,
                  const std::function<Offset3(double t)>& path, double target, PeakOver over) {
    Table table = make_table(std::move(name), std::move(description), period, dimensions,
                             [&](int k) { return path(loop_angle(k, period)); });
    const double largest = over == PeakOver::x ? peak(table.rows, 0) : peak_any(table.rows);
    scale(table.rows, target / largest);
    return table;
}

}  // namespace atlas

std::vector<Table> atlas_pack() {
    using namespace atlas;
    // Blocks 1 to 16; blocks 7, 8 and 9 hold two families of eight each.
    std::vector<Table> (*const families[])() = {
        wave_family,  env_family,  seq_family,    noise_family,  orbit_harmonic_family,
        weave_family, polar_family, spiro_family, space_family, mech_family,
        euclid_family, poly_family, meter_family, swing_family, stick_study_family,
        gesture_family,
    };
    std::vector<Table> pack;
    for (auto family : families) {
        std::vector<Table> tables = family();
        if (tables.size() != 16) {
            std::cerr << "gesturon table generator: an atlas block does not hold 16 tables\n";
            std::exit(1);
        }
        for (Table& t : tables) {
            pack.push_back(std::move(t));
        }
    }
    return pack;
}

}  // namespace gen
