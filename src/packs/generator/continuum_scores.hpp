// What the rhythm families of the continuum pack share: every table is a
// score of gestures (scores.hpp) in all three axes, its peak held to the
// family's rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scores.hpp"
#include "table.hpp"

namespace gen::continuum {

// The three-axis table whose row k is the score's sum at pip k.
Table score_table(std::string name, std::string description, int period, const std::vector<Gesture>& score);

// Stops the generator unless the table's largest magnitude over every axis
// lies in [low, high]: each rhythm family keeps its peak rule.
void require_peak(const Table& table, double low, double high);

// A time written as a whole or fractional number of beats ("2", "2/3",
// "10/3") in pips: 64 a / b, the one rounding of the division.
double beats(std::string_view fraction);

// r turned by `angle` radians about the z axis (within the x-y plane, x
// towards y) or about the x axis (within the y-z plane, y towards z).
enum class Turn { about_z, about_x };
Offset3 turned(const Offset3& r, Turn about, double angle);

}  // namespace gen::continuum
