// Where Random::SeedFromTimeStamp takes its seed: the processor's time-stamp counter, unless a test rig on
// a fixed clock installs a repeatable source here, so that its runs repeat bit for bit.
#pragma once

#include <cstdint>

namespace Base {

extern uint32_t (*RandomTimeStamp)();

} // namespace Base
