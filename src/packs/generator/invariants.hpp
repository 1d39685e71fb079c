// The rules every stored table and record keeps. The generator refuses to
// write a table that breaks one of them.
#pragma once

#include <string>
#include <vector>

#include "table.hpp"

namespace gen {

// Returns an empty string when the table keeps every per-table rule, or a
// message naming the broken rule.
std::string check_table(const Table& t);

// Rules over all tables together: unique names, none a procedural name.
// Returns an empty string or a message naming the offending pattern.
std::string check_names(const std::vector<const Table*>& all);

}  // namespace gen
