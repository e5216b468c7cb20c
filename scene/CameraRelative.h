// Camera-relative drawing: the world's coordinates reach several hundred thousand units while the engine
// computes in single precision, so for a draw the camera is moved to the origin and the object by minus the
// camera's double-precision position; afterwards both are put back. One saved camera and one saved object
// exist at a time: the calls pair, within one draw.
#pragma once

namespace Rw {
class Camera;
}
namespace Obj {
class Frame;
}

namespace Rw {

// The camera's frame must have an Rw::Frame wrapper.
void BeginCameraRelativeCamera(Camera* camera);
// Moves the root frame of the object's frame.
void BeginCameraRelativeObject(Obj::Frame* object);
void BeginCameraRelative(Camera* camera, Obj::Frame* object);
void EndCameraRelativeCamera(Camera* camera);
void EndCameraRelativeObject();
// The camera's saved world position, narrowed to floats (the head-up display reads it).
const float* GetSavedCameraPosition();

} // namespace Rw
