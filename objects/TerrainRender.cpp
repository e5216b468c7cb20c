// The terrain's frame: slice streaming, levels, textures and the land pass through the engine's cached
// Direct3D 9 state, each slice placed relative to the camera.
#include "objects/Terrain.h"

#include "objects/DeviceStates.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/baclump.h"
#include "scene/EngineHost.h"
#include "scene/LoadTexture.h"
#include "scene/RenderProbe.h"
#include "scene/World.h"

#include <d3d9.h>

#include <cmath>

namespace Obj {

namespace {

using Entry = Base::StreamedTextureCache::Entry;

D3DCOLORVALUE Colour(const Base::Color& c) {
    return {c.r, c.g, c.b, c.a};
}

} // namespace

RwTexture* Terrain::SliceTexture(const Slice& slice) {
    return slice.texture ? Base::StreamedTextureCache::GetTexture(static_cast<const Entry*>(slice.texture))
                         : nullptr;
}

bool Terrain::IsVisible(const Slice& slice, const RwCamera* camera) {
    const Base::Vector3 c{(slice.boxMin.x + slice.boxMax.x) / 2, (slice.boxMin.y + slice.boxMax.y) / 2,
                          (slice.boxMin.z + slice.boxMax.z) / 2};
    const Base::Vector3 e{(slice.boxMax.x - slice.boxMin.x) / 2, (slice.boxMax.y - slice.boxMin.y) / 2,
                          (slice.boxMax.z - slice.boxMin.z) / 2};
    for (const RwFrustumPlane& plane : camera->frustumPlanes) {
        // The engine's normals point out of the volume: turned inwards, as the box test wants them.
        const RwV3d& n = plane.plane.normal;
        const float s = -(n.x * c.x + n.y * c.y + n.z * c.z - plane.plane.distance) + std::fabs(n.x) * e.x +
                        std::fabs(n.y) * e.y + std::fabs(n.z) * e.z;
        if (s <= 0)
            return false;
    }
    return true;
}

void Terrain::UpdateTextures(const Base::Vector3& camera, const Base::Vector3& at) {
    const float k = 0.71f * grid_.sliceSize;
    const float qx = camera.x - at.x * k, qz = camera.z - at.z * k;
    for (LoadedSlice& entry : grid_.loaded) {
        Slice& slice = *entry.slice;
        if (slice.texture && slice.textureLevel == slice.builtTextureLevel)
            continue;
        const float dx = entry.centre.x - qx, dz = entry.centre.y - qz;
        const float length = std::sqrt(dx * dx + dz * dz) + 1;
        const int32_t priority = int32_t(std::lround(
            ((at.x * dx + at.z * dz) / length + 1) * 0.5f * description_.visibilityRange - length));
        Entry* previous = static_cast<Entry*>(slice.texture);
        if (!previous) {
            slice.texture =
                Base::StreamedTextureCache::Request(slice.texturePath, slice.textureLevel, priority + 100000);
        } else {
            slice.texture = Base::StreamedTextureCache::Acquire({slice.texturePath, slice.textureLevel},
                                                                previous, priority);
            Base::StreamedTextureCache::Release(previous);
        }
        slice.builtTextureLevel = slice.textureLevel;
    }
}

void Terrain::SetDetailTexture(RwTexture* texture) {
    if (ownsDetail_ && detail_ && detail_ != texture)
        RwTextureDestroy(detail_);
    detail_ = texture;
    ownsDetail_ = false;
    detailTried_ = true;
}

void Terrain::Render(unsigned, Cameras::Basic*) {
    Render(RWSRCGLOBAL(curCamera), Obj::Object::world ? Obj::Object::world->time->time : 0.0f);
    // The engine's own pipeline sets its device state up again after the raw calls.
    if (Rw::DummyAtomic)
        RpAtomicRender(Rw::DummyAtomic);
}

void Terrain::Render(RwCamera* camera, float worldTime) {
    slicesDrawn_ = waterSlicesDrawn_ = openSeaDrawn_ = waterCellsDrawn_ = waterCellsUnderLand_ = 0;
    landCellsOverWater_ = 0;
    if (!loaded_ || !camera || !RwCameraGetFrame(camera))
        return;
    if (!detailTried_) {
        SetDetailTexture(Rw::LoadTexture("Detail", rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR));
        ownsDetail_ = detail_ != nullptr;
    }
    // The water's animation and bump matrix once per frame, not per slice.
    waterFrame_ = WaterFrame(worldTime, uint32_t(waterFrames_.size()));
    const RwMatrix* ltm = RwFrameGetWorldMatrix(RwCameraGetFrame(camera));
    const Base::Vector3 p{ltm->pos.x, ltm->pos.y, ltm->pos.z};
    const float range = HorizontalRange(description_.visibilityRange, p.y);
    bump_ = WaterBumpMatrix(p.y, worldTime);
    {
        Grp::ProbeSection section("terrain streaming");
        UnloadFarSlices({p.x, p.z}, range);
        LoadNearSlices({p.x, p.z}, range);
        UpdateSlices(p);
        UpdateOpenSea({p.x, p.z}, range);
        UpdateTextures(p, {ltm->at.x, ltm->at.y, ltm->at.z});
        Base::StreamedTextureCache::Update();
        UpdateWaterCover(camera, p);
    }
    {
        Grp::ProbeSection section("water");
        if (waterPath_ == WaterPath::Shader)
            RenderWaterShader(camera, p);
        else if (waterPath_ == WaterPath::Fixed)
            RenderWaterFixed(camera, p);
    }
    Grp::ProbeSection section("land");
    RenderLand(camera, p);
}

void* Terrain::LandDeclaration() {
    if (!declaration_) {
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {1, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
            {1, 12, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
            {1, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
            D3DDECL_END()};
        if (!RwD3D9CreateVertexDeclaration(elements, &declaration_))
            declaration_ = nullptr;
    }
    return declaration_;
}

// The description's sun as the device's light 0, on.
void Terrain::SetSunLight() const {
    const Light& l = description_.light;
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = Colour(l.diffuse);
    light.Specular = Colour(l.specular);
    light.Ambient = Colour(l.ambient);
    light.Direction = {l.direction.x, l.direction.y, l.direction.z};
    RwD3D9SetLight(0, &light);
    RwD3D9EnableLight(0, TRUE);
}

RwMatrix Terrain::SliceMatrix(const LoadedSlice& entry, const Base::Vector3& position) const {
    const double px = position.x, py = position.y, pz = position.z;
    const float half = grid_.sliceSize / 2;
    const float dx = std::max(0.0f, std::fabs(entry.centre.x - position.x) - half);
    const float dz = std::max(0.0f, std::fabs(entry.centre.y - position.z) - half);
    RwMatrix world{};
    world.right = {1, 0, 0};
    world.up = {0, 1, 0};
    world.at = {0, 0, 1};
    world.pos = {float((entry.i + 0.5) * grid_.sliceSize + grid_.origin.x - px),
                 float(-0.003 * (double(dx) + dz) - py),
                 float((entry.j + 0.5) * grid_.sliceSize + grid_.origin.y - pz)};
    RwMatrixOptimize(&world, nullptr);
    return world;
}

void Terrain::RenderLand(RwCamera* camera, const Base::Vector3& position) {
    if (!RwD3D9Device || grid_.loaded.empty())
        return;
    if (!LandDeclaration())
        return;
    DeviceStates states;
    states.Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    states.Sampler(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.Sampler(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    states.Stage(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
    if (detail_) {
        RwD3D9SetTexture(detail_, 1);
        states.Sampler(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        states.Sampler(1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        states.Sampler(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        states.Sampler(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        states.Sampler(1, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        states.Stage(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
        states.Stage(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        states.Stage(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
        states.Stage(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        states.Stage(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
        states.Stage(1, D3DTSS_TEXCOORDINDEX, 1);
        states.Stage(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    } else {
        states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
    states.Render(D3DRS_LIGHTING, TRUE);
    states.Render(D3DRS_SPECULARENABLE, FALSE);
    states.Render(D3DRS_COLORVERTEX, FALSE);
    states.Render(D3DRS_AMBIENT, 0);
    states.Render(D3DRS_NORMALIZENORMALS, FALSE);
    states.Render(D3DRS_ALPHABLENDENABLE, TRUE);
    states.Render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    states.Render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    states.Render(D3DRS_ALPHATESTENABLE, FALSE);

    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = {1, 1, 1, 1};
    RwD3D9SetMaterial(&material);
    SetSunLight();

    // Camera-relative: the view keeps its rotation and loses its translation; each slice moves by minus
    // the camera's position, in double precision.
    const D3DMATRIX view = SetCameraRelativeView();
    RwD3D9SetVertexDeclaration(declaration_);
    RwUInt32 colourWrites = 0xF; // off for a moment per slice below
    RwD3D9GetRenderState(D3DRS_COLORWRITEENABLE, &colourWrites);

    for (const LoadedSlice& entry : grid_.loaded) {
        const Slice& slice = *entry.slice;
        if (!slice.landAttributes || !slice.positions || !slice.indices || !IsVisible(slice, camera))
            continue;
        const bool cover = slice.water && slice.waterAttributes && !slice.landCoverWhole && slice.landCover &&
                           slice.waterCoverLevel == slice.builtGeometryLevel;
        if (slice.water && slice.waterAttributes) {
            const uint32_t side = LevelSide(slice.builtGeometryLevel) - 1;
            landCellsOverWater_ += cover ? slice.landCoverTriangles / 2 : side * side;
        }
        const RwMatrix world = SliceMatrix(entry, position);
        RwD3D9SetTransformWorld(&world);
        RwD3D9SetTexture(SliceTexture(slice), 0);
        // Streamed textures carry no filter mode of their own: binding one after a texture that has one
        // (the water's) sends the unset mode, so the pass's filters are put back after it.
        RwD3D9SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        RwD3D9SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        RwD3D9SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        RwD3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        RwD3D9SetStreamSource(0, slice.positions, 0, PositionFloats * sizeof(float));
        RwD3D9SetStreamSource(1, slice.landAttributes, 0, LandAttributeFloats * sizeof(float));
        const uint32_t m = LevelSide(slice.builtGeometryLevel);
        if (cover) {
            // Where the texture is wholly transparent, blending leaves the colour as it is: only the
            // depth is drawn there, untextured and unblended, which costs the rasteriser far less.
            RwD3D9SetIndices(slice.landCover);
            if (slice.landCoverTriangles > 0)
                RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, m * m, 0, slice.landCoverTriangles);
            RwD3D9SetRenderState(D3DRS_COLORWRITEENABLE, 0);
            RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
            RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, m * m, slice.landCoverTriangles * 3,
                                       slice.landDepthTriangles);
            RwD3D9SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            RwD3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            RwD3D9SetRenderState(D3DRS_COLORWRITEENABLE, colourWrites);
        } else {
            RwD3D9SetIndices(slice.indices);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, m * m, 0, StripPrimitives(m));
        }
        ++slicesDrawn_;
    }

    RwD3D9SetTransform(D3DTS_VIEW, &view);
    RwD3D9EnableLight(0, FALSE);
    RwD3D9SetTexture(nullptr, 0);
    RwD3D9SetTexture(nullptr, 1);
}

} // namespace Obj
