// A device without hardware: the engine runs headless on it until a real driver is chosen.
#pragma once

#include "rwsdk/src/engine.h"

// One windowed 640 x 480 x 32 mode, no sub systems of its own (the engine's defaults answer), and standard
// routines that succeed for camera updates, clears, presents and raster creation without drawing anything.
RwDevice* RwNullDeviceRecordGet();
RwBool RwNullDeviceAttach();
RwBool RwNullDeviceSystem(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn);
