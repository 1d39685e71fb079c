// gesturon_atlas, a systematic survey of motion families: 256 tables in 16
// blocks. Each unit builds a few families; atlas.cpp strings them together in
// catalogue order. Angles are t = 2 pi k / P, the loop angle of row k.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "table.hpp"

namespace gen::atlas {

// The largest magnitude of most atlas tables.
inline constexpr double kPeak = 0.82;

// A table whose row k is path(t) at t = 2 pi k / period, multiplied by the one
// factor that makes its largest |value| exactly `target`: over the x axis
// alone, or over every axis.
enum class PeakOver { x, any_axis };
Table scaled_path(std::string name, std::string description, int period, int dimensions,
                  const std::function<Offset3(double t)>& path, double target = kPeak,
                  PeakOver over = PeakOver::any_axis);

// The families, each in its catalogue order.
std::vector<Table> wave_family();             // atlas_lanes.cpp
std::vector<Table> env_family();              // atlas_lanes.cpp
std::vector<Table> seq_family();              // atlas_lanes.cpp
std::vector<Table> noise_family();            // atlas_noise.cpp
std::vector<Table> orbit_harmonic_family();   // atlas_paths.cpp
std::vector<Table> weave_family();            // atlas_paths.cpp
std::vector<Table> polar_family();            // atlas_paths.cpp
std::vector<Table> spiro_family();            // atlas_paths.cpp
std::vector<Table> space_family();            // atlas_paths.cpp
std::vector<Table> mech_family();             // atlas_paths.cpp
std::vector<Table> euclid_family();           // atlas_scores.cpp
std::vector<Table> poly_family();             // atlas_scores.cpp
std::vector<Table> meter_family();            // atlas_scores.cpp
std::vector<Table> swing_family();            // atlas_scores.cpp
std::vector<Table> stick_study_family();      // atlas_scores.cpp
std::vector<Table> gesture_family();          // atlas_gestures.cpp

// Freely designed shapes that sit among the constructed ones of their family
// (atlas_designed.cpp). Each returns an unscaled value or path at angle t;
// its family scales it to the family's peak.
namespace designed {

double wave_soft_rectifier(double t);
double wave_scoop_warp(double t);
double wave_shelf_wave(double t);
double wave_bottle(double t);
double wave_unequal_peaks(double t);
double wave_soft_teeth(double t);
double wave_warped_fold(double t);

Offset3 mech_whitworth(double t);
Offset3 mech_elliptic_cam(double t);
Offset3 mech_escapement(double t);
Offset3 mech_rocking_beam(double t);
Offset3 mech_crank_rocker(double t);
Offset3 mech_cam_return(double t);

// A scalloped loop of `lobes` outward arcs around the centre, one of them bent.
Offset3 polar_scallop(int lobes, double t);

Offset3 gesture_duck_sway(double t);

}  // namespace designed

}  // namespace gen::atlas
