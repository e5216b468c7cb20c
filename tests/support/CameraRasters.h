// A camera on a frame of its own that draws into new colour and depth rasters of one size: what the tests and
// benchmarks that draw off screen start from, and its undoing.
#pragma once

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"

namespace TestSupport {

// colour and depth are null where the device cannot make them; the camera is set to draw into them anyway.
inline RwCamera* CreateCamera(int width, int height, RwFrame*& frame, RwRaster*& colour, RwRaster*& depth) {
    frame = RwFrameCreate();
    RwCamera* camera = RwCameraCreate();
    RwCameraSetFrame(camera, frame);
    colour = RwRasterCreate(width, height, 0, rwRASTERTYPECAMERA);
    depth = RwRasterCreate(width, height, 0, rwRASTERTYPEZBUFFER);
    RwCameraSetRaster(camera, colour);
    RwCameraSetZRaster(camera, depth);
    return camera;
}

// Takes the camera off its rasters and frame and destroys the two (either may be null), nulling them: for
// a camera whose rasters belong to something else.
inline void DestroyCamera(RwCamera*& camera, RwFrame*& frame) {
    if (camera) {
        RwCameraSetRaster(camera, nullptr);
        RwCameraSetZRaster(camera, nullptr);
        RwCameraSetFrame(camera, nullptr);
        RwCameraDestroy(camera);
    }
    if (frame)
        RwFrameDestroy(frame);
    camera = nullptr, frame = nullptr;
}

// Undoes CreateCamera (any of the four may be null) and nulls them.
inline void DestroyCamera(RwCamera*& camera, RwFrame*& frame, RwRaster*& colour, RwRaster*& depth) {
    DestroyCamera(camera, frame);
    if (colour)
        RwRasterDestroy(colour);
    if (depth)
        RwRasterDestroy(depth);
    colour = nullptr, depth = nullptr;
}

} // namespace TestSupport
