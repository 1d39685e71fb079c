// gesturon_atlas: the 256 tables in catalogue order, block by block.
#include "atlas.hpp"

#include "table.hpp"
#include "builders.hpp"

namespace gen {
namespace atlas {

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
    return families_of_sixteen(families, "an atlas block");
}

}  // namespace gen
