// Continuum families 13 to 20: rhythmic gesture scores whose peaks sit on
// exact rational beat positions.
#include <string>
#include <vector>

#include "atlas.hpp"
#include "blocks.hpp"
#include "continuum.hpp"
#include "scores.hpp"

namespace gen::continuum {

namespace {

using atlas::two_digits;

// "_3_4_5" for {3, 4, 5}.
std::string joined(const std::vector<int>& numbers) {
    std::string s;
    for (const int n : numbers) {
        s += '_';
        s += std::to_string(n);
    }
    return s;
}

}  // namespace

std::vector<Table> canon_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 8; ++i) {
        for (const char* kind : {"close", "late"}) {
            family.push_back(placeholder("canon_" + two_digits(i) + "_" + kind,
                                         "A rational-beat motif passes between lateral and depth lanes, with an altered "
                                         "second-half response.",
                                         512, 3));
        }
    }
    return family;
}

std::vector<Table> echo_family() {
    std::vector<Table> family;
    for (int count = 3; count <= 6; ++count) {
        for (const char* kind : {"regular", "shrinking", "expanding", "crossed"}) {
            family.push_back(placeholder(std::string("echo_") + kind + "_" + std::to_string(count),
                                         "An original decaying call and a differently directed answer; echo spacing is "
                                         "preserved as fractions.",
                                         512, 3));
        }
    }
    return family;
}

std::vector<Table> ladder_family() {
    const std::vector<int> counts[16] = {{2, 3, 4, 6}, {3, 5, 4, 2}, {2, 5, 3, 7}, {4, 3, 6, 5},
                                         {2, 4, 7, 3}, {3, 6, 2, 5}, {5, 3, 7, 4}, {6, 4, 3, 2},
                                         {2, 7, 4, 5}, {7, 3, 5, 2}, {4, 7, 3, 6}, {5, 2, 6, 3},
                                         {3, 4, 5, 7}, {6, 5, 4, 3}, {7, 5, 3, 4}, {4, 6, 7, 5}};
    std::vector<Table> family;
    for (const auto& c : counts) {
        family.push_back(placeholder("ladder" + joined(c),
                                     "Four two-beat regions change subdivision density while accents mark region starts.",
                                     512, 3));
    }
    return family;
}

std::vector<Table> necklace_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 16; ++i) {
        family.push_back(placeholder("necklace_" + two_digits(i),
                                     "A hand-authored binary accent word; its complement moves the other side and rising "
                                     "accents add depth.",
                                     512, 3));
    }
    return family;
}

std::vector<Table> accent_walk_family() {
    const std::vector<int> params[16] = {{5, 1}, {5, 2}, {7, 1},  {7, 2},  {7, 3},  {8, 1},  {8, 3},  {9, 1},
                                         {9, 2}, {9, 4}, {10, 3}, {11, 2}, {11, 3}, {12, 5}, {13, 3}, {13, 5}};
    std::vector<Table> family;
    for (const auto& p : params) {
        family.push_back(placeholder("accent_walk" + joined(p),
                                     "A four-bar grid keeps its pulse spacing while a two-accent motif migrates between "
                                     "bars.",
                                     1024, 3));
    }
    return family;
}

std::vector<Table> triplet_family() {
    std::vector<Table> family;
    for (int i = 1; i <= 8; ++i) {
        for (const char* kind : {"answer", "turnaround"}) {
            family.push_back(placeholder("triplet_" + two_digits(i) + "_" + kind,
                                         "Triplet-grid gestures with deliberate omissions; gaps either answer off-grid or "
                                         "rotate after four beats.",
                                         512, 3));
        }
    }
    return family;
}

std::vector<Table> dialogue_family() {
    const std::vector<int> groups[16] = {{3, 4, 5},    {5, 3, 4},    {3, 5, 2},    {2, 5, 4},
                                         {4, 3, 2},    {3, 2, 4, 5}, {5, 2, 3, 4}, {2, 3, 5, 3},
                                         {3, 4, 3, 5}, {5, 4, 2, 3}, {2, 4, 5, 2}, {4, 5, 3, 2},
                                         {3, 5, 4, 3}, {5, 3, 2, 5}, {2, 5, 3, 5}, {4, 3, 5, 4}};
    std::vector<Table> family;
    for (const auto& g : groups) {
        int eighths = 0;
        for (const int n : g) {
            eighths += n;
        }
        family.push_back(placeholder("dialogue" + joined(g),
                                     "Different eighth-note group lengths pass a phrase between directions, with late "
                                     "pickup responses.",
                                     32 * eighths, 3));
    }
    return family;
}

std::vector<Table> burst_family() {
    const std::vector<int> sizes[16] = {{3, 5, 2}, {4, 3, 6}, {5, 2, 4}, {2, 7, 3}, {3, 4, 5}, {5, 3, 7},
                                        {6, 2, 5}, {4, 7, 2}, {7, 3, 4}, {2, 5, 6}, {5, 7, 3}, {3, 6, 4},
                                        {4, 5, 7}, {6, 3, 5}, {7, 4, 3}, {5, 6, 2}};
    std::vector<Table> family;
    for (const auto& s : sizes) {
        family.push_back(placeholder("burst" + joined(s),
                                     "Three unevenly subdivided directional bursts, deliberate gaps and a late settling "
                                     "accent.",
                                     512, 3));
    }
    return family;
}

}  // namespace gen::continuum
