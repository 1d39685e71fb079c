// What the table generator builds: one table of positions per stored pattern,
// computed in double precision from its construction, one row per pip.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "shapes.hpp"

namespace gen {

// The generator is written in the vocabulary of the shape library.
using gesturon::Offset3;
using namespace gesturon::shapes;

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

// One pack: its namespace suffix (gesturon_<name>) and the tables it holds,
// in catalogue order.
struct Pack {
    std::string name;
    std::vector<Table> tables;
};

}  // namespace gen
