// What the table generator builds: one table of positions per stored pattern,
// computed in double precision from its construction, one row per pip.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace gen {

struct Row {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Axis by axis: the sum of two positions, as where two motions add.
inline Row operator+(const Row& a, const Row& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

struct Table {
    std::string name;
    std::string description;
    int period = 0;
    int dimensions = 0;
    std::vector<Row> rows;  // row k is the position at pip k, k = 0 .. period - 1
};

// A table whose row k is f(k), for k = 0 .. period - 1.
Table make_table(std::string name, std::string description, int period, int dimensions,
                 const std::function<Row(int k)>& f);

// One pack: its namespace suffix (gesturon_<name>) and the tables it holds,
// in catalogue order.
struct Pack {
    std::string name;
    std::vector<Table> tables;
};

}  // namespace gen
