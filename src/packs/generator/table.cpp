#include "table.hpp"

namespace gen {

Table make_table(std::string name, std::string description, int period, int dimensions,
                 const std::function<Offset3(int k)>& f) {
    return Table{std::move(name), std::move(description), period, dimensions, rows_over(period, f)};
}

}  // namespace gen
