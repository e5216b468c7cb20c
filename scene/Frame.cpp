#include "scene/Frame.h"

#include "rwsdk/src/engine.h"

namespace Rw {

namespace {

RwInt32 engineOffset = -1;
RwInt32 frameOffset = -1;
// The offsets hold only while an engine that registered the plugins is open: the registries are cleared when
// the engine terminates.
bool pluginsOpen = false;

Frame*& Slot(const RwFrame* frame) {
    return *RWPLUGINOFFSET(Frame*, const_cast<RwFrame*>(frame), frameOffset);
}
RwInt32& Count() {
    return *RWPLUGINOFFSET(RwInt32, RwEngineInstance, engineOffset);
}

void* ConstructEngine(void* instance, RwInt32 offset, RwInt32) {
    *RWPLUGINOFFSET(RwInt32, instance, offset) = 0;
    pluginsOpen = true;
    return instance;
}
void* DestructEngine(void* instance, RwInt32, RwInt32) {
    pluginsOpen = false;
    return instance;
}

void* ConstructFrame(void* object, RwInt32 offset, RwInt32) {
    ++Count();
    *RWPLUGINOFFSET(Frame*, object, offset) = nullptr;
    return object;
}
// The engine destroys a wrapped frame (a hierarchy going down): the wrapper goes with it.
void* DestructFrame(void* object, RwInt32 offset, RwInt32) {
    --Count();
    Frame*& slot = *RWPLUGINOFFSET(Frame*, object, offset);
    if (Frame* wrapper = slot) {
        slot = nullptr;
        wrapper->frame = nullptr;
        delete wrapper;
    }
    return object;
}
// A copy of an engine frame never inherits the wrapper.
void* CopyFrame(void* dst, const void*, RwInt32, RwInt32) {
    return dst;
}

RwFrame* RefreshChild(RwFrame* child, void*) {
    if (Frame* wrapper = Frame::FromRwFrame(child))
        wrapper->Transform(nullptr, 0);
    else
        RwFrameForAllChildren(child, RefreshChild, nullptr);
    return child;
}

} // namespace

bool Frame::RegisterPlugins() {
    engineOffset = RwEngineRegisterPlugin(sizeof(RwInt32), PluginId, ConstructEngine, DestructEngine);
    if (engineOffset < 0)
        return false;
    frameOffset = RwFrameRegisterPlugin(sizeof(Frame*), PluginId, ConstructFrame, DestructFrame, CopyFrame);
    return frameOffset >= 0;
}

Frame* Frame::FromRwFrame(const RwFrame* frame) {
    if (!frame || !pluginsOpen)
        return nullptr;
    return Slot(frame);
}

int32_t Frame::LiveFrameCount() {
    if (!pluginsOpen)
        return 0;
    return Count();
}

Frame::Frame() {
    RwFrame* created = RwFrameCreate();
    if (created)
        RwFrameSetIdentity(created);
    Bind(created, true);
}

Frame::Frame(RwFrame* frame, bool owns) {
    Bind(frame, owns);
}

Frame::~Frame() {
    Release();
}

void Frame::SetFrame(RwFrame* newFrame, bool newOwns) {
    Release();
    Bind(newFrame, newOwns);
}

void Frame::Bind(RwFrame* newFrame, bool newOwns) {
    frame = newFrame;
    owns = newOwns;
    updateObjects = 1;
    localPosition[0] = localPosition[1] = localPosition[2] = 0;
    if (!frame)
        return;
    if (pluginsOpen)
        Slot(frame) = this;
    const RwV3d& pos = frame->modelling.pos;
    localPosition[0] = pos.x;
    localPosition[1] = pos.y;
    localPosition[2] = pos.z;
}

void Frame::Release() {
    if (!frame)
        return;
    RwFrame* held = frame;
    frame = nullptr;
    if (pluginsOpen && Slot(held) == this)
        Slot(held) = nullptr;
    if (owns)
        RwFrameDestroy(held);
}

Frame* Frame::Transform(const RwMatrix* matrix, int combine) {
    if (!frame)
        return this;
    if (matrix) {
        RwMatrixTransform(&frame->modelling, matrix, RwOpCombineType(combine));
        if (updateObjects)
            RwFrameUpdateObjects(frame);
        const RwV3d& pos = frame->modelling.pos;
        localPosition[0] = pos.x;
        localPosition[1] = pos.y;
        localPosition[2] = pos.z;
    }
    RwFrameForAllChildren(frame, RefreshChild, nullptr);
    return this;
}

double* Frame::GetWorldPositionDouble(double out[3]) const {
    RwFrame* parent = frame ? RwFrameGetParent(frame) : nullptr;
    const Frame* wrapper = FromRwFrame(parent);
    if (!wrapper) {
        out[0] = localPosition[0];
        out[1] = localPosition[1];
        out[2] = localPosition[2];
        return out;
    }
    double w[3];
    wrapper->GetWorldPositionDouble(w);
    const RwMatrix* m = RwFrameGetWorldMatrix(parent);
    const double lx = localPosition[0], ly = localPosition[1], lz = localPosition[2];
    out[0] = w[0] + lx * m->right.x + ly * m->up.x + lz * m->at.x;
    out[1] = w[1] + lx * m->right.y + ly * m->up.y + lz * m->at.y;
    out[2] = w[2] + lx * m->right.z + ly * m->up.z + lz * m->at.z;
    return out;
}

} // namespace Rw
