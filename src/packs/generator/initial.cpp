// gesturon_initial: the hand-built reference shapes.
#include "blocks.hpp"
#include "packs.hpp"

namespace gen {

std::vector<Table> initial_pack() {
    std::vector<Table> pack;
    return pack;
}

}  // namespace gen
