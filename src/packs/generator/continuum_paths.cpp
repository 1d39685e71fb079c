// Continuum families 1 to 12: continuous spatial paths.
#include <string>
#include <vector>

#include "atlas.hpp"
#include "blocks.hpp"
#include "continuum.hpp"

namespace gen::continuum {

namespace {

using atlas::two_digits;

const char* const kPairs[8] = {"1_2", "1_3", "1_4", "1_5", "2_3", "2_5", "3_4", "3_5"};

}  // namespace

std::vector<Table> ribbon_family() {
    std::vector<Table> family;
    for (const char* kind : {"slim", "deep"}) {
        for (const char* pair : kPairs) {
            family.push_back(placeholder(std::string("ribbon_") + pair + "_" + kind,
                                         "A curved elliptical spine with variable radial width and linked depth deflection.",
                                         1024, 3));
        }
    }
    return family;
}

std::vector<Table> contour_shaped_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        family.push_back(placeholder("contour_shaped_" + two_digits(i),
                                     "Signed-power oval edges with local ripples and an asymmetric bow.", 1024,
                                     i <= 8 ? 2 : 3));
    }
    return family;
}

std::vector<Table> silhouette_harmonic_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        family.push_back(placeholder(
            "silhouette_harmonic_" + two_digits(i),
            "Three unequal harmonic components, with cross-axis phases and a small linked depth term.", 1024, 3));
    }
    return family;
}

std::vector<Table> spline_family() {
    const char* const names[16] = {"kite",        "hourglass", "hook",        "crown",
                                   "bow",         "crooked_cross", "asymmetric_star", "scoop",
                                   "rising_kite", "twisted_bow",   "cup",             "bridge",
                                   "double_bay",  "slanted_loop",  "fork",            "folded_crown"};
    std::vector<Table> family;
    for (int i = 0; i < 16; ++i) {
        family.push_back(placeholder(std::string("spline_") + names[i],
                                     "Periodic cubic tangents connect asymmetrical controls with unequal segment times.",
                                     512, i < 8 ? 2 : 3));
    }
    return family;
}

std::vector<Table> tour_family() {
    const char* const names[16] = {"5_2",  "7_2",  "7_3",  "8_3",  "9_2",  "9_4",  "10_3", "11_2",
                                   "11_3", "11_4", "12_5", "13_2", "13_3", "13_4", "13_5", "14_3"};
    std::vector<Table> family;
    for (int i = 0; i < 16; ++i) {
        family.push_back(placeholder(std::string("tour_") + names[i],
                                     "A noncircular vertex tour with eased corners and alternating dwell lengths.", 1024,
                                     i < 8 ? 2 : 3));
    }
    return family;
}

std::vector<Table> scan_family() {
    std::vector<Table> family;
    for (int rows = 3; rows <= 6; ++rows) {
        for (const char* kind : {"flat", "bowed", "tilted", "depth"}) {
            family.push_back(placeholder(std::string("scan_") + kind + "_" + std::to_string(rows),
                                         "An eased serpentine scan and an explicit outer return to the starting point.",
                                         1024, std::string(kind) == "depth" ? 3 : 2));
        }
    }
    return family;
}

std::vector<Table> reach_family() {
    std::vector<Table> family;
    for (int count : {3, 4, 5, 7}) {
        for (const char* kind : {"scoop", "hook", "lift", "recoil"}) {
            family.push_back(placeholder(
                std::string("reach_") + kind + "_" + std::to_string(count),
                "Separate shaped reaches depart from and settle at a shared centre, without reset jumps.", 1024,
                std::string(kind) == "lift" ? 3 : 2));
        }
    }
    return family;
}

std::vector<Table> surface_family() {
    std::vector<Table> family;
    for (const char* kind : {"low", "wide"}) {
        for (const char* pair : kPairs) {
            family.push_back(placeholder(
                std::string("surface_") + pair + "_" + kind,
                "A varying-radius surface path with coupled longitude and latitude; all three coordinates are retained.",
                1024, 3));
        }
    }
    return family;
}

std::vector<Table> braid_family() {
    const char* const names[16] = {"1_2", "1_3", "1_4", "1_5", "2_3", "2_5", "3_4", "3_5",
                                   "1_6", "2_7", "3_7", "4_5", "4_7", "5_6", "5_7", "5_8"};
    std::vector<Table> family;
    for (const char* pair : names) {
        family.push_back(placeholder(std::string("braid_") + pair,
                                     "An offset tube centreline and a rolling cross-section with a second depth ripple.",
                                     1024, 3));
    }
    return family;
}

std::vector<Table> arm_coupled_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        family.push_back(placeholder(
            "arm_coupled_" + two_digits(i),
            "Tip position of two kinematically driven links; not a dynamics simulation or anatomical model.", 1024,
            i <= 8 ? 2 : 3));
    }
    return family;
}

std::vector<Table> dwell_phrase_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        family.push_back(placeholder("dwell_phrase_" + two_digits(i),
                                     "Two unequal lift-and-hold gestures, a transfer and a settling return; holds have "
                                     "finite musical duration.",
                                     1024, 3));
    }
    return family;
}

std::vector<Table> packet_family() {
    std::vector<Table> family;
    for (int count = 2; count <= 5; ++count) {
        for (const char* kind : {"alternating", "cascading", "crossing", "depth"}) {
            family.push_back(placeholder(std::string("packet_") + kind + "_" + std::to_string(count),
                                         "Compact, smooth-edged oscillation packets arranged around a closed phrase, "
                                         "with shaped side motion.",
                                         512, std::string(kind) == "depth" ? 3 : 2));
        }
    }
    return family;
}

}  // namespace gen::continuum
