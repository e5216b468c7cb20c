// The sample game's sound effects, synthesised. Each returns mono samples at EffectRate.
#pragma once

#include "tools/sounds/Synth.h"

namespace Tools {

constexpr int EffectRate = 22050;

// A jet engine loop: turbine whine over a rumble; pitch sets the whine (Hz).
Samples JetEngine(double pitch, uint64_t seed);
// The afterburner: a wide roar, looped.
Samples Afterburner(double tone, uint64_t seed);
Samples Wheels(uint64_t seed);
Samples GunBurst(uint64_t seed);
Samples RocketMotor(uint64_t seed);
Samples FlareDrop(uint64_t seed);
Samples Explosion(bool near, uint64_t seed);
Samples Ricochet(bool water, int variant, uint64_t seed);
// Beeps of the given pitch, count and spacing (seconds); looped when loop is set.
Samples Beeps(double pitch, int count, double length, double spacing, bool warble);
Samples Chime();
// The whine of a hydraulic part moving (landing gear, weapon door).
Samples Hydraulics(double pitch, uint64_t seed);

} // namespace Tools
