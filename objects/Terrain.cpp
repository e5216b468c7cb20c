#include "objects/Terrain.h"

#include "base/StreamedTextureCache.h"
#include "rwsdk/src/baimage.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Obj {

namespace {

bool Finite(float v) {
    return std::isfinite(v);
}

// The engine image as a view; null images give an empty view.
Terrain::ImageView View(const RwImage* image) {
    Terrain::ImageView view;
    if (!image || !image->pixels || image->width <= 0 || image->height <= 0 || image->stride <= 0)
        return view;
    view.width = image->width;
    view.height = image->height;
    view.bytesPerPixel = image->depth >= 8 ? image->depth / 8 : 1;
    view.stride = image->stride;
    view.pixels = image->pixels;
    view.size = size_t(image->stride) * size_t(image->height);
    return view;
}

// Calls f(column, row, first byte) for every pixel; false when the view does not hold its pixels.
template <class F> bool ForEachPixel(const Terrain::ImageView& image, F f) {
    if (!image.pixels || image.width <= 0 || image.height <= 0 || image.bytesPerPixel <= 0)
        return false;
    if (int64_t(image.width) * image.bytesPerPixel > image.stride)
        return false;
    if (uint64_t(image.stride) * uint64_t(image.height) > image.size)
        return false;
    for (int32_t row = 0; row < image.height; ++row) {
        const uint8_t* line = image.pixels + size_t(row) * size_t(image.stride);
        for (int32_t column = 0; column < image.width; ++column)
            f(column, row, line[size_t(column) * size_t(image.bytesPerPixel)]);
    }
    return true;
}

} // namespace

Terrain::Terrain() {
    RenderRole::renderOrders.push_back(RenderOrder);
    canAddHitSpot = false;
}

Terrain::~Terrain() {
    UnloadAllSlices();
    ReleaseBuffers();
    ReleaseWater();
    SetDetailTexture(nullptr);
}

void Terrain::UnloadAllSlices() {
    for (LoadedSlice& entry : grid_.loaded)
        ReleaseSlice(entry);
    grid_.loaded.clear();
    ReleaseOpenSea();
}

// Not printed here: whoever loads the terrain knows the file and says it once, with this reason.
bool Terrain::Fail(Base::String message) {
    error_ = "terrain: " + std::move(message);
    return false;
}

bool Terrain::ReadParameters(const Base::Info& node) {
    Description& d = description_;
    described_ = false;
    d.light = Light{};
    const auto missing = [&](const char* key) {
        return Fail(Base::String("\"") + key + "\" is missing or not a number of its kind");
    };
    if (!node.TryGetFloat("VisibilityRange", d.visibilityRange))
        return missing("VisibilityRange");
    if (!node.TryGetFloat("SliceSize", d.sliceSize))
        return missing("SliceSize");
    if (!node.TryGetInt("SliceVerticesSpan", d.sliceVertices))
        return missing("SliceVerticesSpan");
    if (!node.TryGetInt2("SlicesSpan", d.slicesX, d.slicesZ))
        return missing("SlicesSpan");
    if (!node.TryGetPoint("BottomRightPos", d.origin))
        return missing("BottomRightPos");
    if (!node.TryGetString("HeightMapFilename", d.heightMapName))
        return missing("HeightMapFilename");
    if (!node.TryGetFloat("HeightMapScale", d.heightScale))
        return missing("HeightMapScale");
    if (!node.TryGetInt2("HeightMapOffset", d.heightMapOffsetX, d.heightMapOffsetY))
        return missing("HeightMapOffset");
    if (!node.TryGetInt2("HeightMapSize", d.heightMapSizeX, d.heightMapSizeY))
        return missing("HeightMapSize");
    if (!node.TryGetString("MainTextureDir", d.textureDir))
        return missing("MainTextureDir");
    if (!node.TryGetString("MainTextureNameFormat", d.textureNameFormat))
        return missing("MainTextureNameFormat");
    if (!node.TryGetUInt("MainTextureRes", d.textureRes))
        return missing("MainTextureRes");
    if (!node.TryGetInt2("MainTextureOffset", d.textureOffsetX, d.textureOffsetY))
        return missing("MainTextureOffset");
    if (!node.TryGetColor("LightAmbientColor", d.light.ambient))
        return missing("LightAmbientColor");
    if (!node.TryGetColor("LightDiffuseColor", d.light.diffuse))
        return missing("LightDiffuseColor");
    if (!node.TryGetColor("LightSpecularColor", d.light.specular))
        return missing("LightSpecularColor");
    if (!node.TryGetVector3("LightDirection", d.light.direction))
        return missing("LightDirection");
    d.light.direction = Base::Normalize3d(d.light.direction);
    if (!node.TryGetFloat("WaterSpecularPower", d.waterSpecularPower))
        return missing("WaterSpecularPower");
    if (!node.TryGetColor("WaterColorNoPS", d.waterColorNoPS))
        return missing("WaterColorNoPS");
    if (!node.TryGetColor("WaterColorPS11", d.waterColorPS11))
        return missing("WaterColorPS11");
    if (!node.TryGetString("WaterEnvTexFilename", d.waterEnvTexture))
        return missing("WaterEnvTexFilename");
    if (!node.TryGetUInt("WaterAnimFramesCount", d.waterAnimFrames))
        return missing("WaterAnimFramesCount");
    if (!node.TryGetString("SlicesLandFilename", d.landMaskName))
        return missing("SlicesLandFilename");
    if (!node.TryGetString("SlicesWaterFilename", d.waterMaskName))
        return missing("SlicesWaterFilename");

    // Values that would make the grid meaningless, its strips overflow or the name format read garbage.
    if (!Finite(d.visibilityRange) || d.visibilityRange < 0)
        return Fail("\"VisibilityRange\" must be a finite value of 0 or more");
    if (!Finite(d.sliceSize) || !(d.sliceSize > 0) || d.sliceSize > 1e7f)
        return Fail("\"SliceSize\" must be above 0 and at most 1e7");
    if (d.sliceVertices < 17 || d.sliceVertices > MaxSliceVertices || (d.sliceVertices - 1) % 16 != 0)
        return Fail("\"SliceVerticesSpan\" must be 16k + 1 between 17 and 241");
    if (d.slicesX < 1 || d.slicesZ < 1 || d.slicesX > MaxSlices || d.slicesZ > MaxSlices)
        return Fail("\"SlicesSpan\" must be between 1 and 1024 on both axes");
    if (!Finite(d.origin.x) || !Finite(d.origin.y) || std::fabs(d.origin.x) > 1e9f ||
        std::fabs(d.origin.y) > 1e9f)
        return Fail("\"BottomRightPos\" must be finite");
    if (!Finite(d.heightScale))
        return Fail("\"HeightMapScale\" must be finite");
    if (d.heightMapOffsetX < 0 || d.heightMapOffsetY < 0 || d.heightMapSizeX < 0 || d.heightMapSizeY < 0)
        return Fail("\"HeightMapOffset\" and \"HeightMapSize\" must not be negative");
    if (!IsTwoIntegerFormat(d.textureNameFormat))
        return Fail("\"MainTextureNameFormat\" must hold exactly two integer conversions");
    if (d.textureRes < 3)
        return Fail("\"MainTextureRes\" must be at least 3");
    // Frame k is named with four digits: more frames than that cannot exist, and each is a texture read.
    if (d.waterAnimFrames > MaxWaterFrames)
        return Fail("\"WaterAnimFramesCount\" must be at most 9999 (the frames' names have four digits)");
    described_ = true;
    return true;
}

bool Terrain::IsTwoIntegerFormat(const Base::String& format) {
    int conversions = 0;
    for (size_t k = 0; k < format.size(); ++k) {
        if (format[k] != '%')
            continue;
        ++k;
        if (k < format.size() && format[k] == '%')
            continue;
        while (k < format.size() && std::strchr("-+ #0", format[k]))
            ++k;
        for (int digits = 0; k < format.size() && std::isdigit(uint8_t(format[k])); ++digits, ++k)
            if (digits >= 3)
                return false;
        if (k < format.size() && format[k] == '.') {
            ++k;
            for (int digits = 0; k < format.size() && std::isdigit(uint8_t(format[k])); ++digits, ++k)
                if (digits >= 3)
                    return false;
        }
        if (k >= format.size() || !std::strchr("diuxX", format[k]))
            return false;
        ++conversions;
    }
    return conversions == 2;
}

bool Terrain::ReadHeightMap(const ImageView& image, HeightMap& out) {
    out = HeightMap{};
    std::vector<uint8_t> samples(size_t(std::max(image.width, 0)) * size_t(std::max(image.height, 0)));
    bool ok = ForEachPixel(image, [&](int32_t column, int32_t row, uint8_t value) {
        samples[size_t(row) * size_t(image.width) + size_t(column)] = value;
    });
    if (!ok)
        return false;
    out.width = uint32_t(image.width);
    out.height = uint32_t(image.height);
    out.samples = std::move(samples);
    out.filled = true;
    return true;
}

bool Terrain::ReadBitMask(const ImageView& image, BitMask& out) {
    out = BitMask{};
    const size_t bits = size_t(std::max(image.width, 0)) * size_t(std::max(image.height, 0));
    std::vector<uint32_t> words(bits / 32 + 1);
    bool ok = ForEachPixel(image, [&](int32_t column, int32_t row, uint8_t value) {
        size_t bit = size_t(row) * size_t(image.width) + size_t(column);
        if (value & 1)
            words[bit >> 5] |= 1u << (bit & 31);
    });
    if (!ok)
        return false;
    out.width = uint32_t(image.width);
    out.height = uint32_t(image.height);
    out.words = std::move(words);
    out.filled = true;
    return true;
}

Terrain::BitMask Terrain::LoadBitMask(const Base::String& fileName) {
    BitMask mask;
    if (RwImage* image = RwImageRead(fileName.c_str())) {
        ReadBitMask(View(image), mask);
        RwImageDestroy(image);
    }
    return mask;
}

Terrain::HeightMap Terrain::LoadHeightMap(const Base::String& fileName) {
    HeightMap map;
    if (RwImage* image = RwImageRead(fileName.c_str())) {
        ReadHeightMap(View(image), map);
        RwImageDestroy(image);
    }
    return map;
}

bool Terrain::Load(const Base::Info& node) {
    UnloadAllSlices();
    loaded_ = false;
    if (!ReadParameters(node))
        return false;
    HeightMap heightMap = LoadHeightMap(description_.heightMapName);
    if (!heightMap.filled)
        return Fail("cannot read the height map \"" + Base::Clip(description_.heightMapName) + "\"");
    BitMask land = LoadBitMask(description_.landMaskName);
    if (!land.filled)
        return Fail("cannot read the land mask \"" + Base::Clip(description_.landMaskName) + "\"");
    BitMask water = LoadBitMask(description_.waterMaskName);
    if (!water.filled)
        return Fail("cannot read the water mask \"" + Base::Clip(description_.waterMaskName) + "\"");
    if (!LoadData(std::move(heightMap), std::move(land), std::move(water)))
        return false;
    LoadWater();
    return true;
}

bool Terrain::LoadData(HeightMap heightMap, BitMask landMask, BitMask waterMask) {
    // A second load starts from nothing: the slices of the first give their buffers back.
    UnloadAllSlices();
    loaded_ = false;
    const Description& d = description_;
    if (!described_)
        return Fail("the description has not been read");
    if (!heightMap.filled || !landMask.filled || !waterMask.filled)
        return Fail("the height map or a mask is missing");
    if (uint64_t(d.heightMapOffsetX) + uint64_t(d.heightMapSizeX) > heightMap.width ||
        uint64_t(d.heightMapOffsetY) + uint64_t(d.heightMapSizeY) > heightMap.height)
        return Fail("\"HeightMapOffset\" + \"HeightMapSize\" is larger than the height map");
    if (landMask.width < uint32_t(d.slicesX) || landMask.height < uint32_t(d.slicesZ) ||
        waterMask.width < uint32_t(d.slicesX) || waterMask.height < uint32_t(d.slicesZ))
        return Fail("a slice mask is smaller than \"SlicesSpan\"");

    cellSize_ = d.sliceSize / float(d.sliceVertices - 1);
    gridWidth_ = d.slicesX * (d.sliceVertices - 1) + 1;
    gridDepth_ = d.slicesZ * (d.sliceVertices - 1) + 1;
    extent_ = {float(d.slicesX) * d.sliceSize, float(d.slicesZ) * d.sliceSize};
    heightMap_ = std::move(heightMap);
    landMask_ = std::move(landMask);
    waterMask_ = std::move(waterMask);

    grid_ = SliceGrid{};
    grid_.slicesX = d.slicesX;
    grid_.slicesZ = d.slicesZ;
    grid_.sliceSize = d.sliceSize;
    grid_.origin = d.origin;
    grid_.table.assign(size_t(d.slicesX) * size_t(d.slicesZ), nullptr);
    loaded_ = true;
    error_.clear();
    return true;
}

// ---- grid

float Terrain::GetHeight(int32_t gx, int32_t gz) const {
    if (!loaded_)
        return 0;
    const Description& d = description_;
    const int64_t c = int64_t(gridWidth_) - 1 - gx, r = int64_t(gridDepth_) - 1 - gz;
    if (c < d.heightMapOffsetX || c >= int64_t(d.heightMapOffsetX) + d.heightMapSizeX)
        return SeaLevel;
    if (r < d.heightMapOffsetY || r >= int64_t(d.heightMapOffsetY) + d.heightMapSizeY)
        return SeaLevel;
    return float(heightMap_.samples[size_t(r - d.heightMapOffsetY) * heightMap_.width +
                                    size_t(c - d.heightMapOffsetX)]) *
           d.heightScale;
}

Base::Vector2 Terrain::GridToWorld(int32_t gx, int32_t gz) const {
    return {description_.origin.x + float(gx) * cellSize_, description_.origin.y + float(gz) * cellSize_};
}

void Terrain::WorldToGrid(float x, float z, int32_t& gx, int32_t& gz) const {
    // Clamped into int range: a far-away point still rounds to a vertex far outside the grid.
    const auto toInt = [](double v) { return int32_t(std::clamp(std::floor(v + 0.5), -1e9, 1e9)); };
    double fx = (double(x) - description_.origin.x) / cellSize_,
           fz = (double(z) - description_.origin.y) / cellSize_;
    gx = std::isnan(fx) ? 0 : toInt(fx);
    gz = std::isnan(fz) ? 0 : toInt(fz);
}

Base::Vector3 Terrain::Vertex(int32_t gx, int32_t gz) const {
    Base::Vector2 p = GridToWorld(gx, gz);
    return {p.x, GetHeight(gx, gz), p.y};
}

// ---- slices

float Terrain::HorizontalRange(float visibilityRange, float height) {
    if (!(std::fabs(height) < visibilityRange))
        return -1;
    return std::sqrt(visibilityRange * visibilityRange - height * height);
}

float Terrain::SliceMeasure(Base::Vector2 centre, Base::Vector2 position) const {
    const float half = 0.7072f * grid_.sliceSize;
    float dx = std::max(0.0f, std::fabs(centre.x - position.x) - half);
    float dz = std::max(0.0f, std::fabs(centre.y - position.y) - half);
    return dx * dx + dz * dz;
}

std::unique_ptr<Terrain::Slice> Terrain::CreateSlice(int32_t i, int32_t j) {
    const Description& d = description_;
    std::unique_ptr<Slice> slice = SpareSlice();
    const uint32_t maskColumn = uint32_t(d.slicesX - 1 - i), maskRow = uint32_t(d.slicesZ - 1 - j);
    slice->land = landMask_.Get(maskColumn, maskRow) ? 1 : 0;
    slice->water = waterMask_.Get(maskColumn, maskRow) ? 1 : 0;

    const int32_t n = d.sliceVertices;
    slice->normals.resize(size_t(n) * size_t(n));
    for (int32_t v = 0; v < n; ++v)
        for (int32_t u = 0; u < n; ++u) {
            const int32_t gx = (n - 1) * i + u, gz = (n - 1) * j + v;
            Base::Vector3 p = Vertex(gx, gz);
            slice->boxMax = {std::max(slice->boxMax.x, p.x), std::max(slice->boxMax.y, p.y),
                             std::max(slice->boxMax.z, p.z)};
            slice->boxMin = {std::min(slice->boxMin.x, p.x), std::min(slice->boxMin.y, p.y),
                             std::min(slice->boxMin.z, p.z)};
            Base::Vector3 normal{0, 1, 0};
            if (slice->land && gx >= 1 && gz >= 1 && gx < gridWidth_ - 1 && gz < gridDepth_ - 1)
                normal = Base::Normalize3d(Base::Vector3{GetHeight(gx - 1, gz) - GetHeight(gx + 1, gz),
                                                         2 * cellSize_,
                                                         GetHeight(gx, gz - 1) - GetHeight(gx, gz + 1)});
            slice->normals[size_t(v) * size_t(n) + size_t(u)] = normal;
        }

    char name[256];
    std::snprintf(name, sizeof name, d.textureNameFormat.c_str(), d.slicesX - d.textureOffsetX - i - 1,
                  d.slicesZ - d.textureOffsetY - j - 1);
    // A reused slice keeps its path's buffer.
    Base::AssignPath(slice->texturePath, d.textureDir, name);
    return slice;
}

void Terrain::ReleaseSlice(LoadedSlice& entry) {
    grid_.table[size_t(entry.index)] = nullptr;
    OnSliceReleased(*entry.slice);
    ReturnBuffer(0, entry.slice->positions);
    ReturnBuffer(1, entry.slice->landAttributes);
    ReturnBuffer(2, entry.slice->waterAttributes);
    ReturnWaterCover(*entry.slice);
    if (entry.slice->texture)
        Base::StreamedTextureCache::Release(
            static_cast<Base::StreamedTextureCache::Entry*>(entry.slice->texture));
    KeepSpare(std::move(entry.slice));
}

std::unique_ptr<Terrain::Slice> Terrain::SpareSlice(bool withNormals) {
    if (spareSlices_.empty()) {
        // With room for the water cover of the finest level, which records keep as they are reused.
        auto slice = std::make_unique<Slice>();
        slice->waterCoverCells.reserve(size_t(LevelSide(0) - 1) * (LevelSide(0) - 1));
        return slice;
    }
    // Last kept first, unless a record whose normal storage suits the new one is further down.
    auto pick = std::prev(spareSlices_.end());
    for (auto it = spareSlices_.rbegin(); it != spareSlices_.rend(); ++it)
        if (((*it)->normals.capacity() != 0) == withNormals) {
            pick = std::prev(it.base());
            break;
        }
    std::unique_ptr<Slice> slice = std::move(*pick);
    spareSlices_.erase(pick);
    // A fresh slice that keeps the storage of the normal array (where wanted) and of the texture's path.
    // Normals an open-sea cell does not want are kept apart for the next land slice without any.
    Slice fresh;
    if (withNormals) {
        fresh.normals.swap(slice->normals);
        if (fresh.normals.capacity() == 0 && !spareNormals_.empty()) {
            fresh.normals.swap(spareNormals_.back());
            spareNormals_.pop_back();
        }
    } else if (slice->normals.capacity() != 0 && spareNormals_.size() < spareNormals_.capacity()) {
        spareNormals_.push_back(std::move(slice->normals));
    }
    fresh.texturePath.swap(slice->texturePath);
    fresh.waterCoverCells.swap(slice->waterCoverCells);
    fresh.texturePath.clear();
    *slice = std::move(fresh);
    return slice;
}

void Terrain::KeepSpare(std::unique_ptr<Slice> slice) {
    // Every record is kept: there are never more than the most slices and open-sea cells in use at once.
    if (slice)
        spareSlices_.push_back(std::move(slice));
}

void Terrain::UnloadFarSlices(Base::Vector2 position, float range) {
    const bool none = !(range >= 0) || !std::isfinite(range);
    const float limit = range * range;
    auto& list = grid_.loaded;
    for (size_t k = 0; k < list.size();) {
        if (none || !(SliceMeasure(list[k].centre, position) <= limit)) {
            ReleaseSlice(list[k]);
            list.erase(list.begin() + ptrdiff_t(k));
        } else {
            ++k;
        }
    }
}

void Terrain::LoadNearSlices(Base::Vector2 position, float range) {
    if (!loaded_ || !(range >= 0) || !std::isfinite(range) || !std::isfinite(position.x) ||
        !std::isfinite(position.y))
        return;
    const float size = grid_.sliceSize;
    const auto bounds = [&](float p, float origin, int32_t count, int32_t& lo, int32_t& hi) {
        double a = std::floor((double(p) - origin - range) / size),
               b = std::floor((double(p) - origin + range) / size);
        lo = int32_t(std::clamp(a, 0.0, double(count - 1)));
        hi = int32_t(std::clamp(b, 0.0, double(count - 1)));
    };
    int32_t loX, hiX, loZ, hiZ;
    bounds(position.x, grid_.origin.x, grid_.slicesX, loX, hiX);
    bounds(position.y, grid_.origin.y, grid_.slicesZ, loZ, hiZ);
    const float limit = range * range;
    // Records and buffers for every slice the window can hold and every open-sea cell, kept from the first
    // frame on: streaming along the way then allocates no list of its own.
    const size_t window = size_t(hiX - loX + 1) * size_t(hiZ - loZ + 1);
    if (grid_.loaded.capacity() < window) {
        grid_.loaded.reserve(window);
        spareSlices_.reserve(window + MaxOpenSeaCells);
        spareNormals_.reserve(window);
        for (auto& pool : pools_)
            pool.reserve(window + MaxOpenSeaCells + 1);
        // A texture entry for each slice, and one it shows while the next level reads.
        Base::StreamedTextureCache::Reserve(std::min<size_t>(2 * window, MaxReservedTextures));
    }
    for (int32_t j = loZ; j <= hiZ; ++j)
        for (int32_t i = loX; i <= hiX; ++i) {
            const int32_t index = i + grid_.slicesX * j;
            if (grid_.table[size_t(index)])
                continue;
            Base::Vector2 centre{(float(i) + 0.5f) * size + grid_.origin.x,
                                 (float(j) + 0.5f) * size + grid_.origin.y};
            if (!(SliceMeasure(centre, position) <= limit))
                continue;
            LoadedSlice entry;
            entry.slice = CreateSlice(i, j);
            entry.index = index;
            entry.i = i;
            entry.j = j;
            entry.centre = centre;
            grid_.table[size_t(index)] = entry.slice.get();
            grid_.loaded.push_back(std::move(entry));
        }
}

int8_t Terrain::GetNeighbourLevel(int32_t i, int32_t j) const {
    if (i < 0 || j < 0 || i >= grid_.slicesX || j >= grid_.slicesZ)
        return -1;
    const Slice* slice = grid_.table[size_t(i) + size_t(grid_.slicesX) * size_t(j)];
    return slice ? int8_t(slice->geometryLevel) : int8_t(-1);
}

} // namespace Obj
