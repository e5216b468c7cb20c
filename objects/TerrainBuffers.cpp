// The slices' device buffers: vertex buffers pooled by size, the shared strips, and the rebuilds when a
// slice's level or its neighbours' levels change.
#include "objects/Terrain.h"

#include "rwsdk/rwd3d9.h"

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Obj {

namespace {

// Positions, land attributes, and water attributes of the fixed and the shader path.
DWORD Fvf(int kind, bool shaderWater) {
    if (kind == 0)
        return D3DFVF_XYZ;
    return kind == 2 && shaderWater ? D3DFVF_TEX4 : D3DFVF_NORMAL | D3DFVF_TEX2;
}

} // namespace

IDirect3DVertexBuffer9* Terrain::TakeBuffer(int kind, uint32_t size) {
    // The smallest free buffer that holds the slice: the draws give their own counts, so a larger one
    // serves while the mix of levels shifts, and the pool stops growing once it has its largest mix.
    auto& pool = pools_[kind];
    auto found = pool.end();
    for (auto it = pool.begin(); it != pool.end(); ++it)
        if (it->first >= size && (found == pool.end() || it->first < found->first)) {
            found = it;
            if (it->first == size)
                break;
        }
    if (found != pool.end()) {
        IDirect3DVertexBuffer9* buffer = found->second;
        *found = pool.back();
        pool.pop_back();
        return buffer;
    }
    if (!RwD3D9Device)
        return nullptr;
    IDirect3DVertexBuffer9* buffer = nullptr;
    if (FAILED(RwD3D9Device->CreateVertexBuffer(size, D3DUSAGE_WRITEONLY,
                                                Fvf(kind, waterPath_ == WaterPath::Shader), D3DPOOL_MANAGED,
                                                &buffer, nullptr)))
        return nullptr;
    ++buffersCreated_;
    return buffer;
}

void Terrain::ReturnBuffer(int kind, IDirect3DVertexBuffer9*& buffer) {
    if (!buffer)
        return;
    D3DVERTEXBUFFER_DESC desc{};
    buffer->GetDesc(&desc);
    pools_[kind].emplace_back(desc.Size, buffer);
    buffer = nullptr;
}

void Terrain::ReleaseBuffers() {
    ReleaseOpenSea();
    ReleaseWaterCovers();
    for (IDirect3DVertexBuffer9*& buffer : openSeaPositions_)
        if (buffer) {
            buffer->Release();
            buffer = nullptr;
        }
    for (auto& pool : pools_) {
        for (auto& [size, buffer] : pool)
            buffer->Release();
        pool.clear();
    }
    if (declaration_) {
        RwD3D9DeleteVertexDeclaration(declaration_);
        declaration_ = nullptr;
    }
    for (IDirect3DIndexBuffer9*& strip : strips_)
        if (strip) {
            strip->Release();
            strip = nullptr;
        }
}

bool Terrain::BuildGeometry(LoadedSlice& entry, const int8_t neighbours[4]) {
    Slice& slice = *entry.slice;
    const uint8_t level = slice.geometryLevel;
    const uint32_t m = LevelSide(level), count = m * m;
    ReturnBuffer(0, slice.positions);
    ReturnBuffer(1, slice.landAttributes);
    ReturnBuffer(2, slice.waterAttributes);
    const bool water = slice.water && waterPath_ != WaterPath::None;
    slice.positions = TakeBuffer(0, count * PositionFloats * sizeof(float));
    if (slice.land)
        slice.landAttributes = TakeBuffer(1, count * LandAttributeFloats * sizeof(float));
    if (water)
        slice.waterAttributes = TakeBuffer(2, count * WaterFloats() * sizeof(float));
    if (!slice.positions || (slice.land && !slice.landAttributes) || (water && !slice.waterAttributes))
        return false;

    // Scratch arrays kept between builds: streaming allocates nothing once they have grown.
    std::vector<float>& positions = scratchPositions_;
    std::vector<float>& land = scratchLand_;
    positions.resize(size_t(count) * PositionFloats);
    land.resize(slice.land ? size_t(count) * LandAttributeFloats : 0);
    FillSliceVertices(entry, level, neighbours, positions.data(), slice.land ? land.data() : nullptr);
    const auto upload = [](IDirect3DVertexBuffer9* buffer, const std::vector<float>& data) {
        void* target = nullptr;
        const UINT bytes = UINT(data.size() * sizeof(float));
        if (FAILED(buffer->Lock(0, bytes, &target, 0)) || !target)
            return false;
        std::memcpy(target, data.data(), bytes);
        buffer->Unlock();
        return true;
    };
    if (!upload(slice.positions, positions) || (slice.land && !upload(slice.landAttributes, land)))
        return false;
    if (water) {
        std::vector<float>& attributes = scratchWater_;
        attributes.resize(size_t(count) * WaterFloats());
        FillWaterAttributes(entry, level, attributes.data());
        if (!upload(slice.waterAttributes, attributes))
            return false;
    }

    slice.indices = Strip(level);
    return slice.indices != nullptr;
}

IDirect3DIndexBuffer9* Terrain::Strip(uint8_t level) {
    if (level > MaxGeometryLevel)
        return nullptr;
    if (!strips_[level]) {
        const std::vector<uint16_t> indices = StripIndices(LevelSide(level));
        const UINT bytes = UINT(indices.size() * sizeof(uint16_t));
        IDirect3DIndexBuffer9* strip = nullptr;
        void* target = nullptr;
        if (!RwD3D9Device || FAILED(RwD3D9Device->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                                    D3DPOOL_MANAGED, &strip, nullptr)))
            return nullptr;
        if (FAILED(strip->Lock(0, bytes, &target, 0)) || !target) {
            strip->Release();
            return nullptr;
        }
        std::memcpy(target, indices.data(), bytes);
        strip->Unlock();
        strips_[level] = strip;
    }
    return strips_[level];
}

bool Terrain::UpdateSlices(const Base::Vector3& camera) {
    for (LoadedSlice& entry : grid_.loaded) {
        Slice& slice = *entry.slice;
        const float dx = (slice.boxMin.x + slice.boxMax.x) / 2 - camera.x;
        const float dy = (slice.boxMin.y + slice.boxMax.y) / 2 - camera.y;
        const float dz = (slice.boxMin.z + slice.boxMax.z) / 2 - camera.z;
        const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
        slice.textureLevel = TextureLevel(d);
        slice.geometryLevel = GeometryLevel(d);
    }
    bool ok = true;
    for (LoadedSlice& entry : grid_.loaded) {
        Slice& slice = *entry.slice;
        const int32_t around[4][2] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
        int8_t neighbours[4];
        for (int k = 0; k < 4; ++k) {
            const int32_t i = entry.i + around[k][0], j = entry.j + around[k][1];
            const bool outside = i < 0 || j < 0 || i >= grid_.slicesX || j >= grid_.slicesZ;
            neighbours[k] = outside ? int8_t(slice.geometryLevel) : GetNeighbourLevel(i, j);
        }
        const bool rebuild = !slice.positions || !slice.indices || (slice.land && !slice.landAttributes) ||
                             (slice.water && waterPath_ != WaterPath::None && !slice.waterAttributes) ||
                             slice.geometryLevel != slice.builtGeometryLevel ||
                             std::memcmp(neighbours, slice.builtNeighbours, 4) != 0;
        if (!rebuild)
            continue;
        if (!BuildGeometry(entry, neighbours)) {
            ok = false;
            continue;
        }
        ++rebuilds_;
        slice.builtGeometryLevel = slice.geometryLevel;
        std::memcpy(slice.builtNeighbours, neighbours, 4);
    }
    return ok;
}

} // namespace Obj
