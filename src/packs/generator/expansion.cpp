// gesturon_expansion: further lanes, closed paths and gesture scores.
#include "blocks.hpp"
#include "packs.hpp"

namespace gen {

std::vector<Table> expansion_pack() {
    std::vector<Table> pack;
    return pack;
}

}  // namespace gen
