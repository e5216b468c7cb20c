#include "scene/CameraRelative.h"

#include "scene/Attachable.h"

#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/matrix.h"

namespace Rw {

namespace {

double savedCamera[3] = {0, 0, 0};
RwFrame* cameraFrame = nullptr;
double savedObject[3] = {0, 0, 0};
RwFrame* objectRoot = nullptr;
float savedCameraFloat[3] = {0, 0, 0};

void SetPosition(RwFrame* frame, float x, float y, float z) {
    frame->modelling.pos = {x, y, z};
    RwMatrixUpdate(&frame->modelling);
    RwFrameUpdateObjects(frame);
}

} // namespace

void BeginCameraRelativeCamera(Camera* camera) {
    cameraFrame = RwCameraGetFrame(camera->camera);
    if (const Frame* wrapper = Frame::FromRwFrame(cameraFrame))
        wrapper->GetWorldPositionDouble(savedCamera);
    RwCameraEndUpdate(camera->camera);
    SetPosition(cameraFrame, 0, 0, 0);
    RwFrameOrthonormalize(cameraFrame);
    RwCameraBeginUpdate(camera->camera);
}

void BeginCameraRelativeObject(Obj::Frame* object) {
    objectRoot = RwFrameGetRoot(object->frame);
    if (const Frame* wrapper = Frame::FromRwFrame(objectRoot)) {
        wrapper->GetWorldPositionDouble(savedObject);
    } else {
        const RwV3d& pos = objectRoot->modelling.pos;
        savedObject[0] = pos.x;
        savedObject[1] = pos.y;
        savedObject[2] = pos.z;
    }
    SetPosition(objectRoot, float(savedObject[0] - savedCamera[0]), float(savedObject[1] - savedCamera[1]),
                float(savedObject[2] - savedCamera[2]));
}

void BeginCameraRelative(Camera* camera, Obj::Frame* object) {
    BeginCameraRelativeCamera(camera);
    BeginCameraRelativeObject(object);
}

void EndCameraRelativeCamera(Camera* camera) {
    RwCameraEndUpdate(camera->camera);
    SetPosition(cameraFrame, float(savedCamera[0]), float(savedCamera[1]), float(savedCamera[2]));
    RwFrameOrthonormalize(cameraFrame);
    RwCameraBeginUpdate(camera->camera);
}

void EndCameraRelativeObject() {
    SetPosition(objectRoot, float(savedObject[0]), float(savedObject[1]), float(savedObject[2]));
}

const float* GetSavedCameraPosition() {
    for (int i = 0; i < 3; ++i)
        savedCameraFloat[i] = float(savedCamera[i]);
    return savedCameraFloat;
}

} // namespace Rw
