// The sea of the terrain: its textures and the renderer chosen at load, the animation and the rotating
// bump matrix, the slices' water attributes, and the two passes (fixed function; vertex and pixel shaders
// with a bump-mapped environment) drawn before the land.
#include "objects/Terrain.h"

#include "objects/DeviceStates.h"

#include "base/FrameClock.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <d3d9.h>
#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <bit>
#include <cstring>

namespace Obj {

namespace {

constexpr const char* VertexShaderFile = "Shaders\\WaterPS11.vsh";
constexpr const char* PixelShaderFile = "Shaders\\WaterPS11.psh";

RwTexture* LoadWaterTexture(const char* name) {
    return Rw::LoadTexture(name, rwTEXTUREADDRESSWRAP, rwFILTERLINEARMIPLINEAR);
}

void Destroy(RwTexture*& texture) {
    if (texture)
        RwTextureDestroy(texture);
    texture = nullptr;
}

D3DCOLORVALUE Colour(const Base::Color& c) {
    return {c.r, c.g, c.b, c.a};
}

D3DMATRIX ToD3D(const RwMatrix& m) {
    D3DMATRIX d{};
    d.m[0][0] = m.right.x, d.m[0][1] = m.right.y, d.m[0][2] = m.right.z;
    d.m[1][0] = m.up.x, d.m[1][1] = m.up.y, d.m[1][2] = m.up.z;
    d.m[2][0] = m.at.x, d.m[2][1] = m.at.y, d.m[2][2] = m.at.z;
    d.m[3][0] = m.pos.x, d.m[3][1] = m.pos.y, d.m[3][2] = m.pos.z, d.m[3][3] = 1;
    return d;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

// Four constant registers of a matrix for column vectors.
void Transposed(const D3DMATRIX& m, float out[16]) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i * 4 + j] = m.m[j][i];
}

void SetLinearWrap(DeviceStates& states, RwUInt32 sampler) {
    states.Sampler(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    states.Sampler(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.Sampler(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    states.Sampler(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    states.Sampler(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
}

// The assembled tokens of a shader file, or empty (with the reason printed) when it cannot be read or
// does not assemble.
std::vector<DWORD> Assemble(const char* file) {
    ID3DXBuffer *code = nullptr, *errors = nullptr;
    const HRESULT result = D3DXAssembleShaderFromFileA(file, nullptr, nullptr, 0, &code, &errors);
    std::vector<DWORD> tokens;
    if (SUCCEEDED(result) && code) {
        const auto* begin = static_cast<const DWORD*>(code->GetBufferPointer());
        tokens.assign(begin, begin + code->GetBufferSize() / sizeof(DWORD));
    } else {
        std::fprintf(stderr, "Terrain: water shader \"%s\" unusable: %s\n", file,
                     errors ? static_cast<const char*>(errors->GetBufferPointer()) : "no reason given");
    }
    if (code)
        code->Release();
    if (errors)
        errors->Release();
    return tokens;
}

} // namespace

uint32_t Terrain::WaterFrame(float worldTime, uint32_t frames) {
    // Fewer than two frames have no period to play back and forth over.
    if (frames < 2 || !std::isfinite(worldTime))
        return 0;
    const int64_t k = std::llround(std::clamp(double(worldTime) * 10, -9e15, 9e15));
    const int64_t period = 2 * int64_t(frames) - 2;
    int64_t u = k % period;
    if (u < 0)
        u += period;
    if (u >= int64_t(frames))
        u = period - u;
    return uint32_t(u);
}

Terrain::BumpMatrix Terrain::WaterBumpMatrix(float cameraHeight, float worldTime) {
    const float a = 0.1f - std::min(std::max(cameraHeight * 0.000005f, 0.0f), 0.05f);
    const float theta = std::isfinite(worldTime) ? std::fmod(worldTime, 3600.0f) : 0.0f;
    const float c = std::cos(theta), s = std::sin(theta);
    return {a * c, -a * s, a * s, a * c};
}

RwTexture* Terrain::CurrentWaterFrame() const {
    return waterFrame_ < waterFrames_.size() ? waterFrames_[waterFrame_] : nullptr;
}

uint32_t Terrain::WaterFloats() const {
    return waterPath_ == WaterPath::Shader ? WaterShaderFloats : WaterFixedFloats;
}

bool Terrain::ConvertBumpTexture(RwTexture* bump) {
    RwRaster* raster = bump ? RwTextureGetRaster(bump) : nullptr;
    if (!raster || !RwD3D9Device)
        return false;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    if (!ext->texture || ext->cube & 0xF || ext->texture->GetType() != D3DRTYPE_TEXTURE)
        return false;
    auto* source = static_cast<IDirect3DTexture9*>(ext->texture);
    D3DSURFACE_DESC desc{};
    if (FAILED(source->GetLevelDesc(0, &desc)))
        return false;
    // Only whole texels of three or four bytes hold the slopes in bytes 1 and 2.
    UINT bytes = 0;
    if (desc.Format == D3DFMT_A8R8G8B8 || desc.Format == D3DFMT_X8R8G8B8)
        bytes = 4;
    else if (desc.Format == D3DFMT_R8G8B8)
        bytes = 3;
    else
        return false;
    const DWORD levels = source->GetLevelCount();
    IDirect3DTexture9* target = nullptr;
    if (FAILED(RwD3D9Device->CreateTexture(desc.Width, desc.Height, levels, 0, D3DFMT_V8U8, D3DPOOL_MANAGED,
                                           &target, nullptr)))
        return false;
    for (DWORD level = 0; level < levels; ++level) {
        D3DSURFACE_DESC levelDesc{};
        D3DLOCKED_RECT from{}, to{};
        if (FAILED(source->GetLevelDesc(level, &levelDesc)) ||
            FAILED(source->LockRect(level, &from, nullptr, D3DLOCK_READONLY)))
            continue;
        if (FAILED(target->LockRect(level, &to, nullptr, 0))) {
            source->UnlockRect(level);
            continue;
        }
        for (UINT y = 0; y < levelDesc.Height; ++y) {
            const auto* s = static_cast<const uint8_t*>(from.pBits) + size_t(y) * size_t(from.Pitch);
            auto* d = static_cast<uint8_t*>(to.pBits) + size_t(y) * size_t(to.Pitch);
            for (UINT x = 0; x < levelDesc.Width; ++x) {
                d[2 * x] = s[bytes * x + 1];     // U
                d[2 * x + 1] = s[bytes * x + 2]; // V
            }
        }
        target->UnlockRect(level);
        source->UnlockRect(level);
    }
    source->Release();
    ext->texture = target;
    ext->d3dFormat = D3DFMT_V8U8;
    return true;
}

void Terrain::LoadWater() {
    waterPath_ = WaterPath::None;
    if (!RwD3D9Device)
        return;
    // The land's detail texture first, as the land pass would at its first frame.
    if (!detailTried_) {
        SetDetailTexture(LoadWaterTexture("Detail"));
        ownsDetail_ = detail_ != nullptr;
    }
    if (!waterMain_)
        waterMain_ = LoadWaterTexture("WaterMain");
    // A table of F frames; a missing frame stays null and draws without its texture.
    for (RwTexture*& frame : waterFrames_)
        Destroy(frame);
    waterFrames_.assign(description_.waterAnimFrames, nullptr);
    for (uint32_t k = 0; k < waterFrames_.size(); ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "WaterAnim\\Water%04u", k + 1);
        waterFrames_[k] = LoadWaterTexture(name);
    }
    waterFrame_ = 0;
    LandDeclaration();
    const D3DCAPS9* caps = RwD3D9GetCaps();
    const bool pixelShaders = caps && (caps->PixelShaderVersion & 0xFFFF) >= 0x0101;
    // The shader programs multiply by the animation frame: without one only the fixed pass draws sensibly.
    waterPath_ =
        pixelShaders && !waterFrames_.empty() && LoadWaterShaders() ? WaterPath::Shader : WaterPath::Fixed;
    // Slices already built carry the other path's attributes; the open sea's grid follows the path.
    for (LoadedSlice& entry : grid_.loaded)
        ReturnBuffer(2, entry.slice->waterAttributes);
    ReleaseOpenSea();
    ReleaseOpenSeaPositions();
}

bool Terrain::LoadWaterShaders() {
    if (!waterDeclaration_) {
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
            {1, 0, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
            {1, 8, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 1},
            {1, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 2},
            {1, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 3},
            D3DDECL_END()};
        if (!RwD3D9CreateVertexDeclaration(elements, &waterDeclaration_)) {
            waterDeclaration_ = nullptr;
            return false;
        }
    }
    // A missing or broken shader file leaves the fixed pass, not a pass without shaders.
    if (!vertexShader_) {
        const std::vector<DWORD> tokens = Assemble(VertexShaderFile);
        if (tokens.empty() || !RwD3D9CreateVertexShader(tokens.data(), &vertexShader_)) {
            vertexShader_ = nullptr;
            return false;
        }
    }
    if (!pixelShader_) {
        const std::vector<DWORD> tokens = Assemble(PixelShaderFile);
        if (tokens.empty() || !RwD3D9CreatePixelShader(tokens.data(), &pixelShader_)) {
            pixelShader_ = nullptr;
            return false;
        }
    }
    // The bump map must become signed slopes; a compressed or missing one leaves the fixed pass.
    if (!waterBump_) {
        waterBump_ = LoadWaterTexture("WaterBump");
        if (!ConvertBumpTexture(waterBump_)) {
            std::fprintf(stderr, "Terrain: \"WaterBump\" is missing or not a 24- or 32-bit texture\n");
            Destroy(waterBump_);
            return false;
        }
    }
    for (RwUInt32 k = 0; k < 4; ++k)
        RwD3D9SetTextureStageState(3, D3DTSS_BUMPENVMAT00 + k, 0);
    if (!waterEnvironment_)
        waterEnvironment_ = LoadWaterTexture(description_.waterEnvTexture.c_str());
    return true;
}

void Terrain::ReleaseWater() {
    if (vertexShader_)
        RwD3D9DeleteShader(vertexShader_);
    if (pixelShader_)
        RwD3D9DeleteShader(pixelShader_);
    vertexShader_ = pixelShader_ = nullptr;
    if (waterDeclaration_)
        RwD3D9DeleteVertexDeclaration(waterDeclaration_);
    waterDeclaration_ = nullptr;
    Destroy(waterMain_);
    for (RwTexture*& frame : waterFrames_)
        Destroy(frame);
    waterFrames_.clear();
    Destroy(waterBump_);
    Destroy(waterEnvironment_);
    waterPath_ = WaterPath::None;
}

void Terrain::FillWaterAttributes(const LoadedSlice& entry, uint8_t level, float* attributes) const {
    const Description& d = description_;
    const int32_t n = d.sliceVertices, m = int32_t(LevelSide(level));
    const int32_t gx0 = (n - 1) * entry.i, gz0 = (n - 1) * entry.j;
    const float sx = 10.0f / float(gridWidth_ - 1), sz = 10.0f / float(gridDepth_ - 1);
    const float last = float(m - 1);
    const bool shader = waterPath_ == WaterPath::Shader;
    float* a = attributes;
    for (int32_t v = 0; v < m; ++v)
        for (int32_t u = 0; u < m; ++u) {
            // The main texture ten times over the whole terrain.
            const float t0u = float(gx0 + (u << level)) * sx, t0v = float(gz0 + (v << level)) * sz;
            const float fu = float(u) / last, fv = float(v) / last;
            if (shader) {
                a[0] = t0u, a[1] = t0v;
                a[2] = 10 * fu, a[3] = 10 * fv;
                a[4] = 15 * fu, a[5] = 15 * fv;
                a[6] = a[7] = 0; // declared, unused by the programs
                a += WaterShaderFloats;
            } else {
                a[0] = 0, a[1] = 1, a[2] = 0;
                a[3] = t0u, a[4] = t0v;
                a[5] = 3 * fu, a[6] = 3 * fv; // the animation frame three times per slice
                a += WaterFixedFloats;
            }
        }
}

template <class Place>
void Terrain::DrawWaterSlices(RwCamera* camera, const Base::Vector3& position, Place place) {
    const UINT stride = WaterFloats() * sizeof(float);
    const auto draw = [&](const LoadedSlice& entry) {
        const Slice& slice = *entry.slice;
        if (!slice.waterAttributes || !slice.positions || !slice.indices || !IsVisible(slice, camera))
            return false;
        const uint32_t m = LevelSide(slice.builtGeometryLevel);
        // Under land, only the cells where its texture lets the water show.
        const bool cover =
            slice.land && !slice.waterCoverWhole && slice.waterCoverLevel == slice.builtGeometryLevel;
        if (slice.land) {
            waterCellsUnderLand_ += (m - 1) * (m - 1);
            waterCellsDrawn_ += cover ? slice.waterCoverTriangles / 2 : (m - 1) * (m - 1);
        }
        if (cover && (slice.waterCoverTriangles == 0 || !slice.waterCover))
            return false;
        // Where land is blended over the water, the land's depth counts.
        RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, slice.land ? FALSE : TRUE);
        place(SliceMatrix(entry, position));
        RwD3D9SetStreamSource(0, slice.positions, 0, PositionFloats * sizeof(float));
        RwD3D9SetStreamSource(1, slice.waterAttributes, 0, stride);
        if (cover) {
            RwD3D9SetIndices(slice.waterCover);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, m * m, 0, slice.waterCoverTriangles);
        } else {
            RwD3D9SetIndices(slice.indices);
            RwD3D9DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, m * m, 0, StripPrimitives(m));
        }
        return true;
    };
    for (const LoadedSlice& entry : grid_.loaded)
        waterSlicesDrawn_ += draw(entry);
    for (const LoadedSlice& entry : openSea_)
        openSeaDrawn_ += draw(entry);
}

uint8_t Terrain::OpenSeaLevel(bool far) const {
    // Lit per vertex, the fixed pass needs vertices for its highlight. The vertex shader's values are
    // affine over the flat cells but for its fog: steps of a twentieth of the range keep its curve, away
    // from the camera, where a cell spans little of the screen's depth.
    const bool coarse = far && waterPath_ == WaterPath::Shader && coarseOpenSea_;
    const float longest = description_.visibilityRange / 20;
    uint8_t level = 0;
    while (level < MaxGeometryLevel) {
        const uint32_t side = LevelSide(uint8_t(level + 1));
        if (side < 3 || (side < 9 && !(coarse && grid_.sliceSize / float(side - 1) <= longest)))
            break;
        ++level;
    }
    return level;
}

void Terrain::ReleaseOpenSeaPositions() {
    for (IDirect3DVertexBuffer9*& buffer : openSeaPositions_)
        ReturnBuffer(0, buffer);
}

bool Terrain::ReleaseOpenSeaCell(LoadedSlice& entry) {
    entry.slice->positions = nullptr; // shared, not pooled
    ReturnBuffer(2, entry.slice->waterAttributes);
    KeepSpare(std::move(entry.slice));
    return true;
}

void Terrain::ReleaseOpenSea() {
    std::erase_if(openSea_, [this](LoadedSlice& entry) { return ReleaseOpenSeaCell(entry); });
}

void Terrain::UpdateOpenSea(Base::Vector2 position, float range) {
    if (!loaded_ || waterPath_ == WaterPath::None || !(range >= 0) || !std::isfinite(range) ||
        !std::isfinite(position.x) || !std::isfinite(position.y)) {
        ReleaseOpenSea();
        return;
    }
    const float limit = range * range, size = grid_.sliceSize;
    // Near the camera the fine grid, further away the coarse one: a shared flat buffer and strip each.
    const uint8_t levels[2] = {OpenSeaLevel(false), OpenSeaLevel(true)};
    IDirect3DIndexBuffer9* strips[2] = {};
    for (int k = 0; k < 2; ++k) {
        const uint32_t m = LevelSide(levels[k]), count = m * m;
        IDirect3DVertexBuffer9*& positions = openSeaPositions_[k];
        if (!positions) {
            positions = TakeBuffer(0, count * PositionFloats * sizeof(float));
            void* target = nullptr;
            if (!positions ||
                FAILED(positions->Lock(0, count * PositionFloats * sizeof(float), &target, 0)) || !target)
                return;
            auto* p = static_cast<float*>(target);
            const float step = size / float(m - 1), half = size / 2;
            for (uint32_t v = 0; v < m; ++v)
                for (uint32_t u = 0; u < m; ++u, p += PositionFloats)
                    p[0] = float(u) * step - half, p[1] = 0, p[2] = float(v) * step - half;
            positions->Unlock();
        }
        strips[k] = Strip(levels[k]);
        if (!strips[k])
            return;
    }

    // Candidate cells outside the grid, nearest first, so that the cap keeps what is seen closest. The
    // measure lets a cell's corner reach the range: a cell more on each side.
    const auto bounds = [&](float p, float origin, int32_t& lo, int32_t& hi) {
        lo = int32_t(std::clamp(std::floor((double(p) - origin - range - size) / size), -1e6, 1e6));
        hi = int32_t(std::clamp(std::floor((double(p) - origin + range + size) / size), -1e6, 1e6));
    };
    int32_t loX, hiX, loZ, hiZ;
    bounds(position.x, grid_.origin.x, loX, hiX);
    bounds(position.y, grid_.origin.y, loZ, hiZ);
    auto& wanted = openSeaWanted_;
    wanted.clear();
    openSea_.reserve(MaxOpenSeaCells);
    for (int32_t j = loZ; j <= hiZ && int64_t(hiX - loX + 1) * (hiZ - loZ + 1) < 1 << 20; ++j)
        for (int32_t i = loX; i <= hiX; ++i) {
            if (i >= 0 && j >= 0 && i < grid_.slicesX && j < grid_.slicesZ)
                continue;
            const Base::Vector2 centre{(float(i) + 0.5f) * size + grid_.origin.x,
                                       (float(j) + 0.5f) * size + grid_.origin.y};
            const float measure = SliceMeasure(centre, position);
            if (measure <= limit)
                wanted.push_back({measure, {i, j}});
        }
    std::sort(wanted.begin(), wanted.end());
    if (wanted.size() > MaxOpenSeaCells)
        wanted.resize(MaxOpenSeaCells);
    // Drop the kept cells out of range or past the cap, then add what is missing.
    std::erase_if(openSea_, [&](LoadedSlice& e) {
        return std::none_of(wanted.begin(), wanted.end(),
                            [&](const auto& w) { return w.second.first == e.i && w.second.second == e.j; }) &&
               ReleaseOpenSeaCell(e);
    });
    for (const auto& w : wanted) {
        const int32_t i = w.second.first, j = w.second.second;
        const uint8_t level = levels[w.first >= size * size];
        const auto kept = std::find_if(openSea_.begin(), openSea_.end(),
                                       [&](const LoadedSlice& e) { return e.i == i && e.j == j; });
        if (kept != openSea_.end()) {
            Slice& slice = *kept->slice;
            if (slice.builtGeometryLevel != level) {
                ReturnBuffer(2, slice.waterAttributes);
                slice.geometryLevel = slice.builtGeometryLevel = level;
            }
            continue;
        }
        LoadedSlice entry;
        entry.slice = SpareSlice(false);
        entry.i = i;
        entry.j = j;
        entry.index = -1;
        entry.centre = {(float(i) + 0.5f) * size + grid_.origin.x, (float(j) + 0.5f) * size + grid_.origin.y};
        Slice& slice = *entry.slice;
        slice.water = 1;
        slice.boxMin = {entry.centre.x - size / 2, 0, entry.centre.y - size / 2};
        slice.boxMax = {entry.centre.x + size / 2, 0, entry.centre.y + size / 2};
        slice.geometryLevel = slice.builtGeometryLevel = level;
        openSea_.push_back(std::move(entry));
    }
    // Attributes for new cells, and for every cell after the water path changed.
    for (LoadedSlice& entry : openSea_) {
        Slice& slice = *entry.slice;
        const uint8_t level = slice.builtGeometryLevel;
        const int k = level == levels[0] ? 0 : 1;
        slice.positions = openSeaPositions_[k];
        slice.indices = strips[k];
        if (slice.waterAttributes)
            continue;
        const uint32_t m = LevelSide(level), count = m * m;
        slice.waterAttributes = TakeBuffer(2, count * WaterFloats() * sizeof(float));
        std::vector<float>& attributes = scratchWater_;
        attributes.resize(size_t(count) * WaterFloats());
        FillWaterAttributes(entry, level, attributes.data());
        void* target = nullptr;
        if (!slice.waterAttributes ||
            FAILED(slice.waterAttributes->Lock(0, UINT(attributes.size() * sizeof(float)), &target, 0)) ||
            !target) {
            ReturnBuffer(2, slice.waterAttributes);
            continue;
        }
        std::memcpy(target, attributes.data(), attributes.size() * sizeof(float));
        slice.waterAttributes->Unlock();
    }
}

void Terrain::RenderWaterFixed(RwCamera* camera, const Base::Vector3& position) {
    if (!RwD3D9Device || (grid_.loaded.empty() && openSea_.empty()) || !LandDeclaration())
        return;
    DeviceStates states;
    RwD3D9SetTexture(waterMain_, 0);
    SetLinearWrap(states, 0);
    states.Stage(0, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    states.Stage(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    states.Stage(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    states.Stage(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    states.Stage(0, D3DTSS_TEXCOORDINDEX, 0);
    RwTexture* frame = CurrentWaterFrame();
    D3DMATRIX savedTextureMatrix;
    RwD3D9GetTransform(D3DTS_TEXTURE1, &savedTextureMatrix);
    if (frame) {
        RwD3D9SetTexture(frame, 1);
        SetLinearWrap(states, 1);
        // The frame drifts with real time, read now.
        const double t = Base::FrameClock::GetSeconds();
        const float f = float(0.003 * t - std::floor(0.003 * t));
        D3DMATRIX scroll{};
        scroll.m[0][0] = scroll.m[1][1] = scroll.m[2][2] = scroll.m[3][3] = 1;
        scroll.m[2][0] = scroll.m[2][1] = f;
        RwD3D9SetTransform(D3DTS_TEXTURE1, &scroll);
        states.Stage(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        states.Stage(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
        states.Stage(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
        states.Stage(1, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        states.Stage(1, D3DTSS_TEXCOORDINDEX, 1);
        states.Stage(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    } else {
        // No animation: the main texture alone.
        states.Stage(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    }
    states.Render(D3DRS_LIGHTING, TRUE);
    states.Render(D3DRS_CLIPPING, TRUE);
    states.Render(D3DRS_SPECULARENABLE, TRUE);
    states.Render(D3DRS_ALPHABLENDENABLE, FALSE);
    states.Render(D3DRS_ALPHATESTENABLE, FALSE);
    states.Render(D3DRS_LOCALVIEWER, TRUE);
    states.Render(D3DRS_COLORVERTEX, FALSE);
    states.Render(D3DRS_AMBIENT, 0);
    states.Render(D3DRS_NORMALIZENORMALS, FALSE);
    RwUInt32 zWrite = TRUE; // set per slice below, put back at the end
    RwD3D9GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);

    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = Colour(description_.waterColorNoPS);
    material.Specular = {1, 1, 1, 1};
    material.Power = description_.waterSpecularPower;
    RwD3D9SetMaterial(&material);
    SetSunLight();

    const D3DMATRIX view = SetCameraRelativeView();
    RwD3D9SetVertexDeclaration(declaration_);
    DrawWaterSlices(camera, position, [](const RwMatrix& world) { RwD3D9SetTransformWorld(&world); });
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    RwD3D9SetTransform(D3DTS_VIEW, &view);
    RwD3D9SetTransform(D3DTS_TEXTURE1, &savedTextureMatrix);
    RwD3D9EnableLight(0, FALSE);
    RwD3D9SetTexture(nullptr, 0);
    RwD3D9SetTexture(nullptr, 1);
}

void Terrain::RenderWaterShader(RwCamera* camera, const Base::Vector3& position) {
    if (!RwD3D9Device || (grid_.loaded.empty() && openSea_.empty()) || !waterDeclaration_ || !vertexShader_ ||
        !pixelShader_)
        return;
    DeviceStates states;
    RwD3D9SetTexture(waterMain_, 0);
    RwD3D9SetTexture(CurrentWaterFrame(), 1);
    RwD3D9SetTexture(waterBump_, 2);
    RwD3D9SetTexture(waterEnvironment_, 3);
    for (RwUInt32 k = 0; k < 3; ++k)
        SetLinearWrap(states, k);
    states.Sampler(2, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(-1.0f));
    states.Sampler(3, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    states.Sampler(3, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    states.Sampler(3, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    states.Sampler(3, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    states.Sampler(3, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    states.Stage(3, D3DTSS_BUMPENVMAT00, std::bit_cast<DWORD>(bump_.m00));
    states.Stage(3, D3DTSS_BUMPENVMAT01, std::bit_cast<DWORD>(bump_.m01));
    states.Stage(3, D3DTSS_BUMPENVMAT10, std::bit_cast<DWORD>(bump_.m10));
    states.Stage(3, D3DTSS_BUMPENVMAT11, std::bit_cast<DWORD>(bump_.m11));
    states.Render(D3DRS_LIGHTING, FALSE);
    states.Render(D3DRS_CLIPPING, TRUE);
    states.Render(D3DRS_SPECULARENABLE, FALSE);
    states.Render(D3DRS_ALPHABLENDENABLE, FALSE);
    states.Render(D3DRS_ALPHATESTENABLE, FALSE);
    RwUInt32 zWrite = TRUE; // set per slice below, put back at the end
    RwD3D9GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);

    // Camera-relative: the view without its translation, as the fixed pass draws it.
    D3DMATRIX relative, projection;
    RwD3D9GetTransform(D3DTS_PROJECTION, &projection);
    const D3DMATRIX view = SetCameraRelativeView(&relative);
    const D3DMATRIX viewProjection = Multiply(relative, projection);
    RwD3D9SetVertexShader(vertexShader_);
    RwD3D9SetPixelShader(pixelShader_);
    const double t = Base::FrameClock::GetSeconds();
    const float range = description_.visibilityRange > 0 ? description_.visibilityRange : 1;
    const float c8[4] = {0.5f, 2.5f / range, float(0.003 * t - std::floor(0.003 * t)),
                         float(0.001 * t - std::floor(0.001 * t))};
    const Base::Color& colour = description_.waterColorPS11;
    const float c9[4] = {colour.r, colour.g, colour.b, colour.a};
    RwD3D9Device->SetVertexShaderConstantF(8, c8, 1);
    RwD3D9Device->SetVertexShaderConstantF(9, c9, 1);
    RwD3D9SetVertexDeclaration(waterDeclaration_);
    DrawWaterSlices(camera, position, [&](const RwMatrix& world) {
        RwD3D9SetTransformWorld(&world);
        const D3DMATRIX w = ToD3D(world);
        float constants[32];
        Transposed(Multiply(w, viewProjection), constants);
        Transposed(w, constants + 16);
        RwD3D9Device->SetVertexShaderConstantF(0, constants, 8);
    });
    RwD3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    RwD3D9SetTransform(D3DTS_VIEW, &view);
    RwD3D9SetVertexShader(nullptr);
    RwD3D9SetPixelShader(nullptr);
    for (RwUInt32 k = 0; k < 4; ++k)
        RwD3D9SetTexture(nullptr, k);
}

} // namespace Obj
