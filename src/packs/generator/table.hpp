// What the table generator builds: one table of positions per stored pattern,
// computed in double precision from its construction, one row per pip.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "shapes.hpp"

namespace gen {

// The generator is written in the vocabulary of the shape library.
using gesturon::Offset3;
using namespace gesturon::shapes;

// The lengths of most tables, in pips: an eighth note, a beat, eight and
// sixteen beats.
inline constexpr int kBeat = gesturon::PIPS_PER_BEAT;
inline constexpr int kEighth = kBeat / 2;
inline constexpr int kEightBeats = 8 * kBeat;
inline constexpr int kSixteenBeats = 16 * kBeat;

struct Table {
    std::string name;
    std::string description;
    int period = 0;
    int dimensions = 0;
    std::vector<Offset3> rows;  // row k is the position at pip k, k = 0 .. period - 1
};

// A table whose row k is f(k), for k = 0 .. period - 1.
Table make_table(std::string name, std::string description, int period, int dimensions,
                 const std::function<Offset3(int k)>& f);

// Names of tables: "01" to "99" for i in [1, 99], and "_3_4_5" for the
// numbers {3, 4, 5}.
std::string two_digits(int i);
std::string joined(const std::vector<int>& numbers);

// A variant of a family and the word it adds to its tables' names.
template <typename Kind>
struct Named {
    Kind kind;
    const char* name;
};

// The tables of families that hold 16 tables each, in order; stops the
// generator if one does not. `what` names a family in that message ("an
// atlas block").
std::vector<Table> families_of_sixteen(std::span<std::vector<Table> (*const)()> families, const char* what);

// One pack: its namespace suffix (gesturon_<name>) and the tables it holds,
// in catalogue order.
struct Pack {
    std::string name;
    std::vector<Table> tables;
};

}  // namespace gen
