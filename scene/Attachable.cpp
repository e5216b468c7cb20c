#include "scene/Attachable.h"

#include "rwsdk/src/plcore/matrix.h"

namespace Obj {

Attachable::~Attachable() {
    Unlink();
    DeleteChildren();
}

void Attachable::LinkTo(Attachable* newParent) {
    parent = newParent;
    prevSibling = nullptr;
    nextSibling = newParent->firstChild;
    if (nextSibling)
        nextSibling->prevSibling = this;
    newParent->firstChild = this;
}

void Attachable::Unlink() {
    if (!parent)
        return;
    if (prevSibling)
        prevSibling->nextSibling = nextSibling;
    else
        parent->firstChild = nextSibling;
    if (nextSibling)
        nextSibling->prevSibling = prevSibling;
    parent = prevSibling = nextSibling = nullptr;
}

void Attachable::DeleteChildren() {
    while (firstChild)
        delete firstChild;
}

Frame::~Frame() {
    LeaveTree();
}

void Frame::LeaveTree() {
    if (attachedToFrame) {
        Unlink();
        if (frame) {
            RwFrameRemoveChild(frame);
            Transform(RwFrameGetWorldMatrix(attachedToFrame), rwCOMBINEPOSTCONCAT);
        }
        attachedToFrame = nullptr;
    } else {
        Unlink();
    }
    DeleteChildren();
}

void Frame::AttachTo(Attachable* newParent, RwFrame* parentFrame, bool keepWorld) {
    LinkTo(newParent);
    // A parent without an engine frame (the sky) holds the child in its tree only; the frame stays put.
    if (!parentFrame)
        return;
    RwFrameAddChild(parentFrame, frame);
    if (keepWorld) {
        RwMatrix inverse;
        RwMatrixInvert(&inverse, RwFrameGetWorldMatrix(parentFrame));
        Transform(&inverse, rwCOMBINEPOSTCONCAT);
    } else {
        Transform(nullptr, 0);
    }
    attachedToFrame = parentFrame;
}

void Frame::Detach(bool keepWorld) {
    Unlink();
    RwFrameRemoveChild(frame);
    if (keepWorld && attachedToFrame)
        Transform(RwFrameGetWorldMatrix(attachedToFrame), rwCOMBINEPOSTCONCAT);
    else
        Transform(nullptr, 0);
    attachedToFrame = nullptr;
}

Camera::Camera() {
    if (camera)
        RwCameraSetFrame(camera, frame);
}

// The engine camera goes before the object leaves its parent.
Camera::~Camera() {
    ReleaseCamera();
}

Light::Light(int type) : Rw::Light(type) {
    if (light)
        RpLightSetFrame(light, frame);
}

Light::~Light() {
    LeaveTree();
    ReleaseLight();
}

} // namespace Obj
