// The shape mathematics of gesturon's tables: what the table generator builds
// its stored patterns from and what the beat renderers build a score's motion
// from, so that a stored beat table and a caller's own beat agree to the last
// bit. Times are in pips around a loop of `period` pips and may lie between
// pips (256/3, 512/7, ...); positions are gesturon::Offset3.
//
// One header per idea:
//   position.hpp   arithmetic on positions
//   easing.hpp     smootherstep and the keyframe lanes eased by it
//   envelopes.hpp  bumps and envelopes around the loop, the kick envelope
//   phase.hpp      phases that run faster where the rhythm is busy
//   peaks.hpp      peaks, scaling to a peak, ceilings, the stored rounding
//   grouping.hpp   hits that sound together
#pragma once

#include "easing.hpp"
#include "envelopes.hpp"
#include "grouping.hpp"
#include "peaks.hpp"
#include "phase.hpp"
#include "position.hpp"
