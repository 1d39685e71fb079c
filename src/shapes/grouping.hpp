// Hits that sound together: a drummer's flam, a kick under a clap, a chord of
// percussion are one onset to a dancer. Each group starts at a hit and takes
// in the hits that follow within a window of that first hit.
#pragma once

#include <vector>

namespace gesturon::shapes {

// Whether a hit exactly `window` pips after the first of a group still
// belongs to it.
enum class Edge { open, closed };

// The items (anything with a `pip`, in time order) grouped into runs that
// sound together.
template <typename T>
std::vector<std::vector<T>> together(const std::vector<T>& items, double window, Edge edge = Edge::open) {
    std::vector<std::vector<T>> groups;
    for (const T& item : items) {
        const bool joins = !groups.empty() && (edge == Edge::open ? item.pip - groups.back().front().pip < window
                                                                  : item.pip - groups.back().front().pip <= window);
        if (!joins) {
            groups.emplace_back();
        }
        groups.back().push_back(item);
    }
    return groups;
}

}  // namespace gesturon::shapes
