// A camera on a frame of its own that draws into new colour and depth rasters of one size: what the tests and
// benchmarks that draw off screen start from.
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

} // namespace TestSupport
