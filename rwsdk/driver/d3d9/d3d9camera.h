// What the engine calls once or more per frame: camera begin and end update, camera clear and raster show
// (present); they follow the window's size and recover a lost device.
#pragma once

#include "rwsdk/src/camera.h"

#include <windows.h>

RwBool RwD3D9CameraBeginUpdateStd(void* out, void* camera, RwInt32 unused);
RwBool RwD3D9CameraEndUpdateStd(void* out, void* camera, RwInt32 unused);
RwBool RwD3D9CameraClearStd(void* camera, void* colour, RwInt32 clearMode);
RwBool RwD3D9RasterShowRasterStd(void* raster, void* window, RwInt32 flags);

RwBool RwD3D9CameraBeginUpdate(RwCamera* camera);
RwBool RwD3D9CameraClear(RwCamera* camera, const RwRGBA* colour, RwInt32 clearMode);
RwBool RwD3D9CameraEndUpdate(RwCamera* camera);
RwBool RwD3D9RasterShowRaster(RwRaster* raster, void* window, RwUInt32 flags);
// Windowed only, for a window other than the device's: the camera gets new frame-buffer and z rasters drawn
// through an additional swap chain on that window. False, with the camera untouched, when no swap chain
// can be made.
RwBool RwD3D9CameraSetWindow(RwCamera* camera, HWND window);
RwBool RwD3D9BeginScene();

// How many times the device has been reset since it was created (for tests).
RwUInt32 RwD3D9GetResetCount();
