#include "table.hpp"

#include <cstdlib>
#include <iostream>

namespace gen {

Table make_table(std::string name, std::string description, int period, int dimensions,
                 const std::function<Offset3(int k)>& f) {
    return Table{std::move(name), std::move(description), period, dimensions, rows_over(period, f)};
}

std::string two_digits(int i) {
    std::string digits = std::to_string(i);
    if (digits.size() < 2) {
        digits.insert(digits.begin(), '0');
    }
    return digits;
}

std::string joined(const std::vector<int>& numbers) {
    std::string s;
    for (const int n : numbers) {
        s += '_';
        s += std::to_string(n);
    }
    return s;
}

std::vector<Table> families_of_sixteen(std::span<std::vector<Table> (*const)()> families, const char* what) {
    std::vector<Table> pack;
    for (auto family : families) {
        std::vector<Table> tables = family();
        if (tables.size() != 16) {
            std::cerr << "gesturon table generator: " << what << " does not hold 16 tables\n";
            std::exit(1);
        }
        for (Table& t : tables) {
            pack.push_back(std::move(t));
        }
    }
    return pack;
}

}  // namespace gen
