// The random-number plugin: an additive lagged-Fibonacci generator of 31-bit numbers kept in the engine.
#pragma once

#include "rwsdk/src/plcore/types.h"

constexpr RwUInt32 rwID_RANDOMPLUGIN = 0x10C;

RwBool RpRandomPluginAttach();
// The next number, 0 to 0x7FFFFFFF; 0 while the engine is not open with the plugin.
RwUInt32 RpRandom();
