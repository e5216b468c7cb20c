// The water under the land: a slice with both is drawn with water only under the cells where its land
// texture can let the water show through, since the land is blended over the water with the texture's
// alpha and an opaque texel hides what is under it. Most of a coast slice is dry land.
#include "objects/Terrain.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/baraster.h"

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace Obj {

namespace {

using Map = Base::StreamedTextureCache::SeeThroughMap;

// The map's areas under the texture coordinates [lo, hi] along one axis: the first and one past the last.
std::pair<uint32_t, uint32_t> Areas(float lo, float hi) {
    constexpr int32_t G = int32_t(Map::Grid);
    const int32_t first = std::clamp(int32_t(std::floor(lo * G)), 0, G - 1);
    const int32_t last = std::clamp(int32_t(std::ceil(hi * G)), first + 1, G);
    return {uint32_t(first), uint32_t(last)};
}

// Whether the cover built for `built` still draws what `needed` asks for, and not much more. Water under
// land serves a cell whose land hides the water (drawn and hidden) and one whose land adds nothing (drawn
// and changing nothing): both are only more work, so the cover is made again for them when they are an
// eighth of the cells, not at every step of a moving camera.
bool Serves(const std::vector<uint8_t>& built, const std::vector<uint8_t>& needed) {
    using Cell = Obj::Terrain::WaterCell;
    if (built.size() != needed.size())
        return false;
    size_t more = 0;
    for (size_t k = 0; k < built.size(); ++k)
        if (built[k] != needed[k]) {
            if (Cell(built[k]) != Cell::Shown)
                return false;
            ++more;
        }
    return more * 8 < built.size();
}

} // namespace

std::vector<uint16_t> Terrain::CellTriangles(uint32_t m) {
    if (m < 2)
        return {};
    const std::vector<uint16_t> strip = StripIndices(m);
    const size_t cells = size_t(m - 1) * (m - 1);
    std::vector<uint16_t> table(cells * 6);
    std::vector<uint8_t> filled(cells, 0);
    for (size_t k = 0; k + 2 < strip.size(); ++k) {
        // Every other triangle of a strip is turned round, so that all face the same way.
        const uint16_t a = strip[k + (k & 1)], b = strip[k + 1 - (k & 1)], c = strip[k + 2];
        if (a == b || b == c || a == c)
            continue;
        const uint32_t row = std::min({a / m, b / m, c / m}), column = std::min({a % m, b % m, c % m});
        const size_t cell = size_t(row) * (m - 1) + column;
        if (row + 1 >= m || column + 1 >= m || filled[cell] >= 2)
            return {};
        uint16_t* t = &table[cell * 6 + size_t(filled[cell]++) * 3];
        t[0] = a, t[1] = b, t[2] = c;
    }
    if (std::any_of(filled.begin(), filled.end(), [](uint8_t f) { return f != 2; }))
        return {};
    return table;
}

void Terrain::WaterCells(const LoadedSlice& entry, const Map& map, const Base::Vector3& camera, float focal,
                         std::vector<uint8_t>& cells) const {
    const Slice& slice = *entry.slice;
    const uint8_t level = slice.builtGeometryLevel;
    const uint32_t m = LevelSide(level), side = m - 1;
    // Room for the finest level's cells: any level then fits.
    cells.reserve(size_t(LevelSide(0) - 1) * (LevelSide(0) - 1));
    cells.assign(size_t(side) * side, 0);
    // The land's texture coordinates run mirrored from texel 1 to texel R - 1 across the slice.
    const float r = float(std::max(description_.textureRes, 3u));
    const float a = (r - 2) / r, b = 1 / r;
    const auto coordinate = [&](uint32_t k) { return (1 - float(k) / float(side)) * a + b; };
    // World units of a texel of the largest level the map numbers.
    const float texel = description_.sliceSize / float(Base::StreamedTextureCache::Side);
    for (uint32_t v = 0; v < side; ++v) {
        const auto [top, bottom] = Areas(coordinate(v + 1), coordinate(v));
        for (uint32_t u = 0; u < side; ++u) {
            // The first levels from which a texel under the cell shows through and covers: the cell's kind
            // follows from where the bound on its levels falls between them.
            const auto [left, right] = Areas(coordinate(u + 1), coordinate(u));
            uint32_t showsFrom = Map::Never, coversFrom = Map::Never;
            for (uint32_t y = top; y < bottom; ++y)
                for (uint32_t x = left; x < right; ++x) {
                    showsFrom = std::min<uint32_t>(showsFrom, map.level[y * Map::Grid + x]);
                    coversFrom = std::min<uint32_t>(coversFrom, map.cover[y * Map::Grid + x]);
                }
            // The bound lies in [largest, Never - 1]: where neither threshold falls inside, it changes
            // nothing and its cost (heights, angles) is spared.
            const auto decided = [&](uint32_t from) { return from <= map.largest || from >= Map::Never; };
            uint32_t upTo = Map::Never - 1;
            if (!(decided(coversFrom) && (coversFrom >= Map::Never || decided(showsFrom))))
                upTo = LevelBound(entry, u, v, level, camera, focal, texel, map.largest);
            const bool shows = showsFrom <= upTo, covers = coversFrom <= upTo;
            const WaterCell cell = !covers ? WaterCell::Alone : shows ? WaterCell::Shown : WaterCell::Hidden;
            cells[size_t(v) * side + u] = uint8_t(cell);
        }
    }
}

uint32_t Terrain::LevelBound(const LoadedSlice& entry, uint32_t u, uint32_t v, uint8_t level,
                             const Base::Vector3& camera, float focal, float texel, uint32_t largest) const {
    const int32_t n = description_.sliceVertices;
    const int32_t gx0 = (n - 1) * entry.i, gz0 = (n - 1) * entry.j;
    const float half = description_.sliceSize / 2, step = float(1 << level) * cellSize_;
    // A pixel spans at most d / (focal sin g) world units of a surface seen from d away at a grazing angle
    // g. Over the cell, g is at least the elevation of the camera over the cell's highest corner seen from
    // its farthest, less the steepest slope of its triangles; that bounds the mip levels drawn there (the
    // trilinear blend's larger one is its ceiling), one more for the rasteriser's estimate over a quad of
    // pixels.
    float low = 3.402823466e+38f, high = -low;
    for (uint32_t c = 0; c < 4; ++c) {
        const float h =
            GetHeight(gx0 + int32_t((u + (c & 1)) << level), gz0 + int32_t((v + (c >> 1)) << level));
        low = std::min(low, h), high = std::max(high, h);
    }
    const float x0 = entry.centre.x - half + float(u) * step, z0 = entry.centre.y - half + float(v) * step;
    const float dx = std::max(std::fabs(x0 - camera.x), std::fabs(x0 + step - camera.x));
    const float dz = std::max(std::fabs(z0 - camera.z), std::fabs(z0 + step - camera.z));
    const float across = std::sqrt(dx * dx + dz * dz);
    const float grazing = std::atan2(camera.y - high, across) - std::atan(1.4143f * (high - low) / step);
    uint32_t upTo = Map::Never - 1;
    if (grazing > 1e-3f && focal > 0) {
        const float dy = std::max(std::fabs(low - camera.y), std::fabs(high - camera.y));
        const float reach = std::sqrt(across * across + dy * dy) / (focal * std::sin(grazing)) / texel;
        const float lod = reach > 1 ? std::ceil(std::log2(reach)) : 0;
        upTo = uint32_t(std::clamp(lod + 1, float(largest), float(Map::Never - 1)));
    }
    return upTo;
}

IDirect3DIndexBuffer9* Terrain::TakeCoverBuffer() {
    if (!coverPool_.empty()) {
        IDirect3DIndexBuffer9* buffer = coverPool_.back();
        coverPool_.pop_back();
        return buffer;
    }
    const uint32_t top = uint32_t(description_.sliceVertices - 1);
    const UINT capacity = UINT(top * top * 6 * sizeof(uint16_t));
    IDirect3DIndexBuffer9* buffer = nullptr;
    if (!RwD3D9Device || FAILED(RwD3D9Device->CreateIndexBuffer(capacity, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                                                D3DPOOL_MANAGED, &buffer, nullptr)))
        return nullptr;
    return buffer;
}

template <class Take>
int64_t Terrain::FillCover(IDirect3DIndexBuffer9* buffer, const std::vector<uint16_t>& triangles,
                           size_t start, Take take) {
    size_t cells = 0;
    for (const uint8_t cell : scratchCells_)
        cells += take(WaterCell(cell));
    if (cells == 0)
        return 0;
    void* target = nullptr;
    const UINT offset = UINT(start * 6 * sizeof(uint16_t)), bytes = UINT(cells * 6 * sizeof(uint16_t));
    if (FAILED(buffer->Lock(offset, bytes, &target, 0)) || !target)
        return -1;
    auto* out = static_cast<uint16_t*>(target);
    for (size_t cell = 0; cell < scratchCells_.size(); ++cell)
        if (take(WaterCell(scratchCells_[cell]))) {
            std::memcpy(out, &triangles[cell * 6], 6 * sizeof(uint16_t));
            out += 6;
        }
    buffer->Unlock();
    return int64_t(cells * 2);
}

bool Terrain::BuildWaterCover(Slice& slice) {
    const uint8_t level = slice.builtGeometryLevel;
    slice.waterCoverWhole = slice.landCoverWhole = true;
    slice.waterCoverLevel = 255;
    slice.waterCoverTriangles = slice.landCoverTriangles = slice.landDepthTriangles = 0;
    if (level > MaxGeometryLevel)
        return false;
    std::vector<uint16_t>& triangles = cellTriangles_[level];
    if (triangles.empty())
        triangles = CellTriangles(LevelSide(level));
    if (triangles.empty() || triangles.size() != scratchCells_.size() * 6)
        return false;
    const auto count = [this](WaterCell kind) {
        return size_t(std::count(scratchCells_.begin(), scratchCells_.end(), uint8_t(kind)));
    };
    const size_t all = scratchCells_.size(), alone = count(WaterCell::Alone),
                 shown = alone + count(WaterCell::Shown);
    // Water under land everywhere: the strip; otherwise a list.
    const bool waterWhole = shown == all;
    if (!waterWhole && shown > 0) {
        if (!slice.waterCover && !(slice.waterCover = TakeCoverBuffer()))
            return false;
        if (FillCover(slice.waterCover, triangles, 0, [](WaterCell c) { return c != WaterCell::Hidden; }) < 0)
            return false;
    }
    // The land in two runs: the cells drawn in full, then those whose texture adds nothing, of which only
    // the depth is drawn.
    if (alone > 0) {
        if (!slice.landCover && !(slice.landCover = TakeCoverBuffer()))
            return false;
        if (FillCover(slice.landCover, triangles, 0, [](WaterCell c) { return c != WaterCell::Alone; }) < 0 ||
            FillCover(slice.landCover, triangles, all - alone,
                      [](WaterCell c) { return c == WaterCell::Alone; }) < 0)
            return false;
    }
    // Room for the finest level's cells at once: a record then takes any level without growing.
    const size_t finest = size_t(LevelSide(0) - 1) * (LevelSide(0) - 1);
    if (slice.waterCoverCells.capacity() < scratchCells_.size())
        slice.waterCoverCells.reserve(std::max(finest, scratchCells_.size()));
    slice.waterCoverCells.assign(scratchCells_.begin(), scratchCells_.end());
    slice.waterCoverLevel = level;
    slice.waterCoverTriangles = uint32_t(shown * 2);
    slice.waterCoverWhole = waterWhole;
    slice.landCoverTriangles = uint32_t((all - alone) * 2);
    slice.landDepthTriangles = uint32_t(alone * 2);
    slice.landCoverWhole = alone == 0;
    return true;
}

void Terrain::UpdateWaterCover(const RwCamera* camera, const Base::Vector3& position) {
    using Cache = Base::StreamedTextureCache;
    const RwRaster* raster = camera ? camera->frameBuffer : nullptr;
    const float focal =
        raster && camera->viewWindow.x > 0 ? float(raster->width) / 2 / camera->viewWindow.x : 0;
    for (LoadedSlice& entry : grid_.loaded) {
        Slice& slice = *entry.slice;
        if (!slice.land || !slice.water || !slice.waterAttributes)
            continue;
        const Map* map =
            slice.texture ? Cache::GetSeeThrough(static_cast<const Cache::Entry*>(slice.texture)) : nullptr;
        if (!map || !waterCoverEnabled_ || focal <= 0) {
            // Nothing drawn over the water yet: all of it, and all of the land.
            slice.waterCoverWhole = slice.landCoverWhole = true;
            slice.waterCoverLevel = 255;
            continue;
        }
        WaterCells(entry, *map, position, focal, scratchCells_);
        if (slice.waterCoverLevel != slice.builtGeometryLevel ||
            !Serves(slice.waterCoverCells, scratchCells_))
            BuildWaterCover(slice);
    }
}

void Terrain::ReturnWaterCover(Slice& slice) {
    for (IDirect3DIndexBuffer9** buffer : {&slice.waterCover, &slice.landCover})
        if (*buffer)
            coverPool_.push_back(std::exchange(*buffer, nullptr));
    slice.waterCoverTriangles = slice.landCoverTriangles = slice.landDepthTriangles = 0;
    slice.waterCoverLevel = 255;
    slice.waterCoverWhole = slice.landCoverWhole = true;
}

void Terrain::ReleaseWaterCovers() {
    for (LoadedSlice& entry : grid_.loaded)
        ReturnWaterCover(*entry.slice);
    for (IDirect3DIndexBuffer9* buffer : coverPool_)
        buffer->Release();
    coverPool_.clear();
}

} // namespace Obj
