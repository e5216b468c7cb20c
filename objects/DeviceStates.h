// Render, texture-stage and sampler states set through the engine's Direct3D 9 state cache and put back,
// in reverse order, when the block goes out of scope. The first blocks' worth are kept without allocating, so
// a pass that sets them every frame allocates nothing.
#pragma once

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "scene/EngineHost.h"
#include "scene/ScreenCover.h"

#include <array>
#include <vector>

namespace Obj {

class DeviceStates {
public:
    DeviceStates() = default;
    DeviceStates(const DeviceStates&) = delete;
    DeviceStates& operator=(const DeviceStates&) = delete;
    ~DeviceStates() {
        for (auto it = overflow_.rbegin(); it != overflow_.rend(); ++it)
            Apply(*it, it->value);
        for (size_t k = count_; k-- > 0;)
            Apply(saved_[k], saved_[k].value);
    }
    void Render(RwUInt32 type, RwUInt32 value) { Set({Kind::Render, 0, type, 0}, value); }
    void Stage(RwUInt32 stage, RwUInt32 type, RwUInt32 value) { Set({Kind::Stage, stage, type, 0}, value); }
    void Sampler(RwUInt32 stage, RwUInt32 type, RwUInt32 value) {
        Set({Kind::Sampler, stage, type, 0}, value);
    }

private:
    enum class Kind { Render, Stage, Sampler };
    struct Saved {
        Kind kind;
        RwUInt32 stage, type, value;
    };
    void Set(Saved s, RwUInt32 value) {
        if (s.kind == Kind::Render)
            s.value = Rw::RenderStateInForce(s.type);
        else if (s.kind == Kind::Stage)
            s.value = Rw::TextureStageStateInForce(s.stage, s.type);
        else
            s.value = Rw::SamplerStateInForce(s.stage, s.type);
        if (s.value != value) {
            if (count_ < saved_.size())
                saved_[count_++] = s;
            else
                overflow_.push_back(s);
        }
        Apply(s, value);
    }
    static void Apply(const Saved& s, RwUInt32 value) {
        if (s.kind == Kind::Render)
            RwD3D9SetRenderState(s.type, value);
        else if (s.kind == Kind::Stage)
            RwD3D9SetTextureStageState(s.stage, s.type, value);
        else
            RwD3D9SetSamplerState(s.stage, s.type, value);
    }
    std::array<Saved, 64> saved_{};
    size_t count_ = 0;
    std::vector<Saved> overflow_;
};

// Camera-relative drawing: the view keeps its rotation and loses its translation, and each piece drawn moves
// by minus the camera's position, in double precision. Returns the view it replaced, for the pass to put back
// at its end; relative, when given, receives the view set.
// The frame's record of pixels painted over afterwards when it was made for this camera, else null; with
// the camera-relative view (translation left out) and the projection as one row-vector matrix.
inline const Grp::ScreenCover* FrameCover(RwCamera* camera, const D3DMATRIX& view,
                                          const D3DMATRIX& projection, float (&toClip)[4][4]) {
    const Grp::ScreenCover* cover = Grp::screenCover;
    RwFrame* frame = camera ? RwCameraGetFrame(camera) : nullptr;
    if (!cover || !frame || cover->Empty())
        return nullptr;
    const RwMatrix* ltm = RwFrameGetWorldMatrix(frame);
    if (!cover->Fits(camera, {ltm->pos.x, ltm->pos.y, ltm->pos.z}, {ltm->at.x, ltm->at.y, ltm->at.z}))
        return nullptr;
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k) {
            double sum = 0;
            for (int j = 0; j < 4; ++j)
                sum += double(r == 3 && j < 3 ? 0.0f : view.m[r][j]) * projection.m[j][k];
            toClip[r][k] = float(sum);
        }
    return cover;
}

inline D3DMATRIX SetCameraRelativeView(D3DMATRIX* relative = nullptr) {
    D3DMATRIX view;
    RwD3D9GetTransform(D3DTS_VIEW, &view);
    D3DMATRIX withoutTranslation = view;
    withoutTranslation.m[3][0] = withoutTranslation.m[3][1] = withoutTranslation.m[3][2] = 0;
    RwD3D9SetTransform(D3DTS_VIEW, &withoutTranslation);
    if (relative)
        *relative = withoutTranslation;
    return view;
}

} // namespace Obj
