// Atlas block 16: abstract single-point gestures over eight beats. Each is a
// pose path: integer poses held at step boundaries of an N-step grid, one
// smootherstep segment from pose to pose with all axes moving together, and
// back to the first pose at the seam.
#include <string>
#include <vector>

#include "atlas.hpp"
#include "table.hpp"

namespace gen::atlas {

std::vector<Table> gesture_family() {
    struct StepPose {
        int step;
        Offset3 pose;
    };
    struct Gesture {
        const char* name;
        const char* phrase;
        int dimensions;
        int steps;                   // N: the grid has steps of 512 / N pips
        std::vector<StepPose> keys;  // empty for a designed path
    };
    static const Gesture gestures[] = {
        {"gesture_side_reach", "side reach", 2, 7,
         {{0, {0, 0, 0}}, {2, {4, 0, 0}}, {3, {4, -3, 0}}, {5, {0, 0, 0}}, {6, {-3, 0, 0}}}},
        {"gesture_cross_reach", "cross and reach", 2, 6,
         {{0, {-7, 2, 0}}, {2, {6, -5, 0}}, {3, {-6, -5, 0}}, {5, {7, 2, 0}}}},
        {"gesture_low_scoop", "low scoop", 2, 7,
         {{0, {-7, -2, 0}}, {2, {-4, 6, 0}}, {3, {4, 6, 0}}, {5, {7, -2, 0}}, {6, {0, -5, 0}}}},
        {"gesture_high_arc", "high arc", 2, 7,
         {{0, {-4, 0, 0}}, {2, {-2, -3, 0}}, {3, {2, -3, 0}}, {5, {4, 0, 0}}, {6, {0, 1, 0}}}},
        {"gesture_corner_taps", "corner taps", 2, 11,
         {{0, {0, 0, 0}},
          {2, {-7, -5, 0}},
          {3, {0, 0, 0}},
          {5, {7, -5, 0}},
          {6, {0, 0, 0}},
          {7, {7, 5, 0}},
          {9, {0, 0, 0}},
          {10, {-7, 5, 0}}}},
        {"gesture_diagonal_touch", "diagonal touch", 2, 7,
         {{0, {-7, 5, 0}}, {2, {0, 0, 0}}, {3, {7, -5, 0}}, {5, {0, 0, 0}}, {6, {5, 3, 0}}}},
        {"gesture_box_return", "box and centre", 2, 7,
         {{0, {-6, 5, 0}}, {2, {-6, -5, 0}}, {3, {6, -5, 0}}, {5, {6, 5, 0}}, {6, {0, 0, 0}}}},
        {"gesture_zigzag_lift", "zigzag lift", 2, 7,
         {{0, {-7, 5, 0}}, {2, {4, 1, 0}}, {3, {-4, -2, 0}}, {5, {7, -6, 0}}, {6, {0, 0, 0}}}},
        {"gesture_duck_sway", "duck and sway", 2, 0, {}},
        {"gesture_push_pull", "push and pull", 3, 6,
         {{0, {0, 0, 0}}, {2, {3, -2, 8}}, {3, {-3, 2, -6}}, {5, {5, 1, 0}}}},
        {"gesture_reach_depth", "reach through depth", 3, 6,
         {{0, {-5, 3, 0}}, {2, {0, -6, 7}}, {3, {5, 3, 0}}, {5, {0, -3, -5}}}},
        {"gesture_bow_turn", "bow and turn", 3, 6,
         {{0, {-12, 0, 0}}, {2, {0, 12, 7}}, {3, {12, 0, 0}}, {5, {0, -5, -9}}}},
        {"gesture_heel_toe", "heel-toe abstract", 2, 9,
         {{0, {0, 0, 0}}, {2, {-8, 6, 0}}, {3, {-13, -6, 0}}, {5, {0, 0, 0}}, {6, {8, 6, 0}}, {7, {13, -6, 0}}}},
        {"gesture_hop_answer", "hop and answer", 2, 9,
         {{0, {0, 0, 0}}, {2, {-6, -7, 0}}, {3, {-6, 0, 0}}, {5, {0, 0, 0}}, {6, {6, -4, 0}}, {7, {6, 0, 0}}}},
        {"gesture_spiral_reach", "spiral reach", 3, 9,
         {{0, {0, 0, 0}}, {2, {3, -3, 2}}, {3, {6, 0, 4}}, {5, {3, 6, 6}}, {6, {-6, 3, 2}}, {7, {-3, -5, 0}}}},
        {"gesture_diamond_depth", "depth diamond", 3, 6,
         {{0, {0, -1, 0}}, {2, {1, 0, 1}}, {3, {0, 1, 0}}, {5, {-1, 0, -1}}}},
    };
    std::vector<Table> family;
    for (const Gesture& g : gestures) {
        const std::string description = "An original single-point " + std::string(g.phrase) +
                                        " gesture. Abstract motion, not a full-body dance or biomechanical recording.";
        if (g.keys.empty()) {
            family.push_back(scaled_path(g.name, description, kEightBeats, g.dimensions, designed::gesture_duck_sway));
            continue;
        }
        std::vector<Pose> poses;
        for (const StepPose& key : g.keys) {
            poses.push_back({static_cast<double>(kEightBeats) * key.step / g.steps, key.pose});
        }
        Table t = make_table(g.name, description, kEightBeats, g.dimensions,
                             [&](int k) { return pose_path(poses, kEightBeats, k); });
        scale(t.rows, kPeak / peak_any(t.rows));
        family.push_back(std::move(t));
    }
    return family;
}

}  // namespace gen::atlas
