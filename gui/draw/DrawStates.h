// The device states that the immediate drawing of this folder shares.
#pragma once

#include "rwsdk/rwd3d9.h"
#include "scene/EngineHost.h"

#include <d3d9.h>

namespace Gui {

// The device's scissor rect, saved before the first change and put back by Restore.
class ScissorSave {
public:
    void Set(const RECT& rect) {
        if (!RwD3D9Device)
            return;
        if (!saved)
            saved = SUCCEEDED(RwD3D9Device->GetScissorRect(&old));
        RwD3D9Device->SetScissorRect(&rect);
    }
    void Restore() const {
        if (saved && RwD3D9Device)
            RwD3D9Device->SetScissorRect(&old);
    }

private:
    RECT old{};
    bool saved = false;
};

// The raster bound to stage 0 before a call, bound again after it. Binding a texture with alpha turns
// blending on in the engine's cache; binding the old raster back is what turns it off again.
class StageBinding {
public:
    StageBinding() : raster(RwD3D9GetRasterStage(0)) {}
    void Restore() const { RwD3D9SetRasterStage(raster, 0); }

private:
    RwRaster* raster;
};

// Stage 0 modulates diffuse by the texture, or takes diffuse alone; stage 1 is off.
inline void SetStageStates(Rw::SavedRenderStates& saved, bool textured) {
    if (textured) {
        saved.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        saved.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        saved.SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        saved.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        saved.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        saved.SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    } else {
        saved.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        saved.SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        saved.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        saved.SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }
    saved.SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

} // namespace Gui
