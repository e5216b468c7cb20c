// The ground and sea of a world: its description, the regular height grid, the height map and the two
// slice masks, the square slices streamed in around the camera, and the segment and sphere queries on the
// full-resolution grid.
//
// In the world it is drawn (render order 120), stays in the catch-all sectors of the renderables and the
// statics (it has no sphere), and answers the segment tests of weapons and of the world's terrain query.
#pragma once

#include "objects/LightRecord.h"
#include "base/Info.h"
#include "base/Maths.h"
#include "base/StreamedTextureCache.h"
#include "base/String.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;
struct RwCamera;
struct RwMatrix;
struct RwTexture;

namespace Obj {

class Terrain : public Object, public Renderable, public Static {
public:
    using RenderRole = Alg::Render::Object<Cameras::Basic>;
    struct Segment {
        Base::Vector3 start, end;
    };
    struct Sphere {
        Base::Vector3 center;
        float radius = 0;
    };
    using Triangle = Base::Triangle;

    // One directional light in the layout of a Direct3D 9 light record.
    using Light = LightRecord;

    // The description's keys, in the order they are read.
    struct Description {
        float visibilityRange = 0;
        float sliceSize = 0;
        int32_t sliceVertices = 0; // N
        int32_t slicesX = 0, slicesZ = 0;
        Base::Vector2 origin;
        Base::String heightMapName;
        float heightScale = 0;
        int32_t heightMapOffsetX = 0, heightMapOffsetY = 0;
        int32_t heightMapSizeX = 0, heightMapSizeY = 0;
        Base::String textureDir, textureNameFormat;
        uint32_t textureRes = 0;
        int32_t textureOffsetX = 0, textureOffsetY = 0;
        Light light;
        float waterSpecularPower = 0;
        Base::Color waterColorNoPS, waterColorPS11;
        Base::String waterEnvTexture;
        uint32_t waterAnimFrames = 0;
        Base::String landMaskName, waterMaskName;
    };

    // Pixels as the engine's images hold them: rows of stride bytes, top row first.
    struct ImageView {
        int32_t width = 0, height = 0;
        int32_t bytesPerPixel = 0;
        int32_t stride = 0;
        const uint8_t* pixels = nullptr;
        size_t size = 0; // bytes readable from pixels
    };

    // One byte per sample: the first byte of each pixel.
    struct HeightMap {
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> samples;
        bool filled = false;
    };

    // One bit per sample: the lowest bit of each pixel's first byte.
    struct BitMask {
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> words; // whole 32-bit words plus one spare
        bool filled = false;
        bool Get(uint32_t column, uint32_t row) const {
            if (column >= width || row >= height)
                return false;
            size_t bit = size_t(row) * width + column;
            return (words[bit >> 5] >> (bit & 31)) & 1;
        }
    };

    // One loaded square of terrain.
    struct Slice {
        Base::String texturePath;
        uint8_t water = 0, land = 0;
        std::vector<Base::Vector3> normals; // N x N, rows of constant z
        Base::Vector3 boxMax{-3.402823466e+38f, -3.402823466e+38f, -3.402823466e+38f};
        Base::Vector3 boxMin{3.402823466e+38f, 3.402823466e+38f, 3.402823466e+38f};
        uint8_t geometryLevel = 0, textureLevel = 0;
        uint8_t builtGeometryLevel = 255, builtTextureLevel = 255;
        int8_t builtNeighbours[4] = {-1, -1, -1, -1};
        // Device buffers of the built level: positions, land attributes; the level's shared strip.
        IDirect3DVertexBuffer9* positions = nullptr;
        IDirect3DVertexBuffer9* landAttributes = nullptr;
        IDirect3DVertexBuffer9* waterAttributes = nullptr; // water slices only
        IDirect3DIndexBuffer9* indices = nullptr;
        // The streamed texture's cache entry (Base::StreamedTextureCache::Entry), null before the first
        // request.
        void* texture = nullptr;
        // A slice with land and water: the water only under the cells where the land's texture can show
        // it, as a list of the strip's own triangles, made for the built level and the see-through map of
        // the texture drawn. Whole (the strip) while no texture is drawn or every cell needs water.
        IDirect3DIndexBuffer9* waterCover = nullptr;
        uint32_t waterCoverTriangles = 0;
        uint8_t waterCoverLevel = 255;
        bool waterCoverWhole = true;
        std::vector<uint8_t> waterCoverCells; // one a cell, rows of constant z: a WaterCell
        // Its land as a list too, when the texture is wholly transparent over some cells: first the cells
        // drawn in full, then those, of which only the depth is drawn (blended, their colour changes
        // nothing). Whole (the strip) when there are none.
        IDirect3DIndexBuffer9* landCover = nullptr;
        uint32_t landCoverTriangles = 0, landDepthTriangles = 0;
        bool landCoverWhole = true;
    };

    struct LoadedSlice {
        std::unique_ptr<Slice> slice;
        int32_t index = 0, i = 0, j = 0;
        Base::Vector2 centre;
    };

    struct SliceGrid {
        int32_t slicesX = 0, slicesZ = 0;
        float sliceSize = 0;
        Base::Vector2 origin;
        std::vector<Slice*> table; // i + slicesX * j
        std::vector<LoadedSlice> loaded;
    };

    // Limits that keep the grid and its 16-bit strips sound: N - 1 a multiple of 16 (every level of detail
    // ends on the slice's far edge) and N at most 241 (a level-0 slice indexes with 16 bits).
    static constexpr int32_t MaxSliceVertices = 241;
    static constexpr int32_t MaxSlices = 1024;
    // Water frames are named "Water0001" to "Water9999".
    static constexpr uint32_t MaxWaterFrames = 9999;

    static constexpr uint8_t RenderOrder = 120;

    // Render order 120; hits on the ground never leave hit spots.
    Terrain();
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;
    ~Terrain() override;

    // ---- roles in the world
    // Joins (or leaves) the renderables and the statics, both in their catch-all sector.
    void SetWorld(Grp::World* world) override;
    // Draws with the engine's current camera; the arguments are not used.
    void Render(unsigned order, Cameras::Basic* camera) override;
    // None: drawn for every camera and reached by every segment query.
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) override;

    // Reads the description, then the height map and the masks through the engine's image reader. False
    // (with Error() saying why) leaves the terrain unloaded: it draws nothing and reports no hits.
    bool Load(const Base::Info& node);
    // Reads the 24 keys in order; false at the first that is missing, does not parse or is out of range.
    bool ReadParameters(const Base::Info& node);
    // The grid from already-read images: checks them against the description and keeps them.
    bool LoadData(HeightMap heightMap, BitMask landMask, BitMask waterMask);

    bool IsLoaded() const { return loaded_; }
    const Base::String& Error() const { return error_; }
    const Description& GetDescription() const { return description_; }

    static bool ReadHeightMap(const ImageView& image, HeightMap& out);
    static bool ReadBitMask(const ImageView& image, BitMask& out);
    // Through RwImageRead; an unreadable file gives an unfilled mask.
    static BitMask LoadBitMask(const Base::String& fileName);
    static HeightMap LoadHeightMap(const Base::String& fileName);
    // True for a printf format with exactly two integer conversions and nothing else to convert.
    static bool IsTwoIntegerFormat(const Base::String& format);

    float CellSize() const { return cellSize_; }
    int32_t GridWidth() const { return gridWidth_; }
    int32_t GridDepth() const { return gridDepth_; }
    Base::Vector2 Extent() const { return extent_; }

    float GetHeight(int32_t gx, int32_t gz) const;
    Base::Vector2 GridToWorld(int32_t gx, int32_t gz) const;
    // The nearest grid vertex, not clamped.
    void WorldToGrid(float x, float z, int32_t& gx, int32_t& gz) const;

    // ---- slices

    // sqrt(range^2 - height^2), or -1 (no slices at all) when the camera is at or above the range.
    static float HorizontalRange(float visibilityRange, float height);
    // A negative (or not finite) range unloads every slice and loads none.
    void UnloadFarSlices(Base::Vector2 position, float range);
    void LoadNearSlices(Base::Vector2 position, float range);
    const SliceGrid& Grid() const { return grid_; }
    int8_t GetNeighbourLevel(int32_t i, int32_t j) const;
    // Distance measure of a slice centre from the camera, compared against range^2.
    float SliceMeasure(Base::Vector2 centre, Base::Vector2 position) const;

    // ---- hit tests on the full-resolution grid

    bool IntersectSegment(const Segment& segment, Base::Vector3* point, Base::Vector3* normal) const;
    // The height of the sea: of the height map's unset samples, and of the open sea past the grid's edge.
    static constexpr float SeaLevel = 0;
    // The first hit along the segment of the grid, or past the grid's edge of the open sea: flat water at
    // sea level with its normal straight up, crossed from above only. What the world's segment queries,
    // airplanes, wrecks and pilots meet, so that nothing falls for ever beyond the map. Nothing on an
    // unloaded terrain.
    bool IntersectGroundOrSea(const Segment& segment, Base::Vector3* point, Base::Vector3* normal) const;
    bool CellIntersectSegment(const Segment& segment, int32_t x, int32_t z, Base::Vector3* point,
                              Base::Vector3* normal) const;
    // Appends every grid triangle that touches the sphere; the vector's size afterwards, or 0 (vector
    // untouched) when the sphere's box lies outside the grid.
    size_t CollectTriangles(const Sphere& sphere, std::vector<Triangle>& triangles) const;
    static bool TriangleTouchesSphere(const Triangle& triangle, const Sphere& sphere);
    // The cell's two triangles, unshifted, in the split order of its row (first, then second).
    void CellTriangles(int32_t x, int32_t z, Triangle& first, Triangle& second) const;

    // ---- levels of detail and slice geometry for the drawing

    static constexpr uint8_t MaxTextureLevel = 3, MaxGeometryLevel = 4;
    // By the distance from the camera to the slice's box centre.
    static uint8_t TextureLevel(float distance);
    static uint8_t GeometryLevel(float distance);
    // Vertices along a slice side at a geometry level.
    uint32_t LevelSide(uint8_t level) const {
        return uint32_t((description_.sliceVertices - 1) >> level) + 1;
    }
    // The shared serpentine strip over m x m vertices: m - 1 rows of 2m + 1 indices, each row ending on a
    // repeated index that turns the strip into the next row.
    static std::vector<uint16_t> StripIndices(uint32_t m);
    static uint32_t StripPrimitives(uint32_t m) { return (m - 1) * (2 * m + 1) - 2; }
    static constexpr uint32_t PositionFloats = 3, LandAttributeFloats = 7; // xyz; normal, uv0, uv1
    // A slice's vertices at a level relative to its centre, rows of constant z, and its land attributes
    // (or null). Edges next to a coarser loaded neighbour (neighbour levels (i - 1, j), (i, j + 1),
    // (i + 1, j), (i, j - 1); -1 none) follow the neighbour's edge so that no crack opens between them.
    void FillSliceVertices(const LoadedSlice& entry, uint8_t level, const int8_t neighbours[4],
                           float* positions, float* landAttributes) const;

    // ---- device buffers

    // The levels of every loaded slice from the camera's position; then each slice's neighbour levels
    // (the grid's outside counts as the slice's own level) and a rebuild of the slices whose level or
    // neighbours changed. False when a buffer cannot be made.
    bool UpdateSlices(const Base::Vector3& camera);
    bool BuildGeometry(LoadedSlice& entry, const int8_t neighbours[4]);
    // Free vertex buffers kept for reuse, by kind (0 positions, 1 land, 2 water attributes), and buffers
    // created.
    size_t PooledBuffers(int kind) const { return pools_[kind].size(); }
    uint32_t BuffersCreated() const { return buffersCreated_; }
    // Slice geometry builds since the load.
    uint32_t Rebuilds() const { return rebuilds_; }
    // Releases every loaded slice (its buffers go back to the pools).
    void UnloadAllSlices();

    // ---- drawing

    // Once per frame with the engine's current camera, between its begin and end update, at a world time
    // (seconds): streams the slices around it, updates their levels, buffers and textures, and draws the
    // water, then the land over it.
    void Render(RwCamera* camera, float worldTime = 0);
    // Requests or replaces each slice's streamed texture when its texture level changed.
    void UpdateTextures(const Base::Vector3& camera, const Base::Vector3& at);
    // The texture a slice draws with now: its own, or the nearest loaded level along its fallbacks.
    static RwTexture* SliceTexture(const Slice& slice);
    // Box against the camera's planes (normals pointing out); a box only touching a plane is hidden.
    static bool IsVisible(const Slice& slice, const RwCamera* camera);
    // Texture stage 1 ("Detail", wrapped); without one the stage is off. A texture set here is not owned.
    void SetDetailTexture(RwTexture* texture);
    RwTexture* DetailTexture() const { return detail_; }
    uint32_t SlicesDrawn() const { return slicesDrawn_; }

    // ---- water (TerrainWater.cpp)

    // The water renderer, chosen once at load: none before a load or without a device; the bump-mapped
    // shader pass when the device has pixel shaders 1.1 and both shader files assemble and the bump map
    // converts; the fixed-function pass otherwise.
    enum class WaterPath { None, Fixed, Shader };
    WaterPath GetWaterPath() const { return waterPath_; }
    // The animation frame at a world time: ten a second, forward then back (0, 1, ..., F - 1, F - 2, ...,
    // 1, 0, ...). A single frame stands still; with none there is no frame (0).
    static uint32_t WaterFrame(float worldTime, uint32_t frames);
    // The rotating bump-environment matrix: magnitude 0.1 at sea level falling to 0.05 at 10000 and above,
    // turning one radian per second of world time.
    struct BumpMatrix {
        float m00 = 0, m01 = 0, m10 = 0, m11 = 0;
    };
    static BumpMatrix WaterBumpMatrix(float cameraHeight, float worldTime);
    const BumpMatrix& CurrentBumpMatrix() const { return bump_; }
    // The animation frame drawn this frame (null when there are none).
    RwTexture* CurrentWaterFrame() const;
    uint32_t CurrentWaterFrameIndex() const { return waterFrame_; }
    uint32_t WaterSlicesDrawn() const { return waterSlicesDrawn_; }
    // Turns "WaterBump" into signed slopes (V8U8): bytes 1 and 2 of each 24- or 32-bit texel. False, with
    // the texture left as loaded, when it is missing, of another format (a DXT file's blocks are not
    // texels) or the new texture cannot be made.
    static bool ConvertBumpTexture(RwTexture* bump);
    // Floats per vertex of the water attribute buffers: normal and two coordinates (fixed), or four
    // coordinates (shader).
    static constexpr uint32_t WaterFixedFloats = 7, WaterShaderFloats = 8;
    // A slice's water attributes at a level for the current path (nothing without a path).
    void FillWaterAttributes(const LoadedSlice& entry, uint8_t level, float* attributes) const;

    // ---- the water under the land (TerrainWaterCover.cpp)

    // What a cell of a slice with land and water needs: no water under its land (the land's texture hides
    // it), water under it, or water alone (the land's texture is wholly transparent there: the land's
    // colour adds nothing).
    enum class WaterCell : uint8_t { Hidden, Shown, Alone };
    // The cells of a loaded slice at its built level (one WaterCell a cell, rows of constant z) from a
    // camera at `camera` with a focal length of `focal` pixels, by the see-through map of the land's
    // texture at the mip levels that the cell's farthest point can be drawn with (from its distance and
    // the camera's height over the cell), and the next one: Shown where a texel shows through at one of
    // those levels, Alone where no texel of any of them is other than fully transparent.
    void WaterCells(const LoadedSlice& entry, const Base::StreamedTextureCache::SeeThroughMap& map,
                    const Base::Vector3& camera, float focal, std::vector<uint8_t>& cells) const;
    // The largest mip level number (at least `largest`) that cell (u, v) of the slice at that geometry
    // level can be drawn with from the camera, texel: world units of a texel of the map's level 0.
    uint32_t LevelBound(const LoadedSlice& entry, uint32_t u, uint32_t v, uint8_t level,
                        const Base::Vector3& camera, float focal, float texel, uint32_t largest) const;
    // The two triangles of each cell (six indices, cells in rows of constant z) as the level's strip
    // draws them, degenerate ones left out.
    static std::vector<uint16_t> CellTriangles(uint32_t m);
    // Brings the water cover of every loaded slice with land and water up to its built level, the texture
    // it draws now and the camera.
    void UpdateWaterCover(const RwCamera* camera, const Base::Vector3& position);
    // Off: the water under the whole of every slice with land and water, as a reference to compare with.
    void SetWaterCoverEnabled(bool on) { waterCoverEnabled_ = on; }
    // Water cells drawn under the land this frame, and the cells of those slices; of the same cells, those
    // with their land drawn in full (not only its depth).
    uint32_t WaterCellsDrawn() const { return waterCellsDrawn_; }
    uint32_t WaterCellsUnderLand() const { return waterCellsUnderLand_; }
    uint32_t LandCellsOverWater() const { return landCellsOverWater_; }

    // ---- the open sea beyond the grid (TerrainWater.cpp)

    // Cells of the grid's size outside it and within the range, water only, flat at sea level (the height
    // outside the map) and drawn by the water passes, so that the world does not end in a hard edge at the
    // map's border; IntersectGroundOrSea hits their water. They are no part of the slice streaming above
    // or the land. At most MaxOpenSeaCells, nearest first; none without a water path.
    void UpdateOpenSea(Base::Vector2 position, float range);
    const std::vector<LoadedSlice>& OpenSea() const { return openSea_; }
    uint32_t OpenSeaDrawn() const { return openSeaDrawn_; }
    // The level the open sea is built at: the coarsest with at least 9 vertices a side, or for far cells
    // on the shader pass 3 when its steps are at most a twentieth of the visibility range.
    uint8_t OpenSeaLevel(bool far = false) const;
    // Off: the shader pass's open sea on the fixed pass's grid too, as a reference to compare with.
    void SetCoarseOpenSea(bool on) {
        if (on != coarseOpenSea_) {
            ReleaseOpenSea();
            ReleaseOpenSeaPositions();
        }
        coarseOpenSea_ = on;
    }
    static constexpr size_t MaxOpenSeaCells = 256;
    // Streamed-texture entries kept ready for the loaded slices at most (each holds about 2 KB).
    static constexpr size_t MaxReservedTextures = 4096;

protected:
    // Called when a slice record is about to go: the drawing returns its buffers and texture here.
    virtual void OnSliceReleased(Slice&) {}

private:
    bool Fail(Base::String message);
    std::unique_ptr<Slice> CreateSlice(int32_t i, int32_t j);
    void ReleaseSlice(LoadedSlice& entry);
    // Slice records are reused: a fresh one from the spares (or new), and one given back. A record
    // without normals (an open-sea cell's) takes one that had none where there is one, and lets go of
    // the normals of a grid slice's record otherwise.
    std::unique_ptr<Slice> SpareSlice(bool withNormals = true);
    void KeepSpare(std::unique_ptr<Slice> slice);
    Base::Vector3 Vertex(int32_t gx, int32_t gz) const;

    Description description_;
    HeightMap heightMap_;
    BitMask landMask_, waterMask_;
    SliceGrid grid_;
    float cellSize_ = 0;
    int32_t gridWidth_ = 0, gridDepth_ = 0;
    Base::Vector2 extent_;
    bool loaded_ = false;
    bool described_ = false; // the last ReadParameters passed
    Base::String error_;
    // Free vertex buffers by size in bytes, one pool per kind; the shared strips by geometry level, kept per
    // terrain so that they go with the device that made them.
    // Unused buffers by size; a vector, so that returning one allocates nothing once it has grown.
    std::vector<std::pair<uint32_t, IDirect3DVertexBuffer9*>> pools_[3];
    IDirect3DIndexBuffer9* strips_[MaxGeometryLevel + 1] = {};
    uint32_t buffersCreated_ = 0, rebuilds_ = 0;
    void* declaration_ = nullptr;
    std::vector<float> scratchPositions_, scratchLand_, scratchWater_;
    // Released slice and open-sea records, so that streaming reuses them with their arrays.
    std::vector<std::unique_ptr<Slice>> spareSlices_;
    std::vector<std::vector<Base::Vector3>> spareNormals_; // of records an open-sea cell took
    RwTexture* detail_ = nullptr;
    bool ownsDetail_ = false, detailTried_ = false;
    uint32_t slicesDrawn_ = 0;

    void RenderLand(RwCamera* camera, const Base::Vector3& position);
    void* LandDeclaration();
    RwMatrix SliceMatrix(const LoadedSlice& entry, const Base::Vector3& position) const;
    void SetSunLight() const;

    // Water: textures, shaders and the per-frame animation (TerrainWater.cpp).
    void LoadWater();
    void ReleaseWater();
    bool LoadWaterShaders();
    uint32_t WaterFloats() const;
    void RenderWaterFixed(RwCamera* camera, const Base::Vector3& position);
    void RenderWaterShader(RwCamera* camera, const Base::Vector3& position);
    WaterPath waterPath_ = WaterPath::None;
    RwTexture* waterMain_ = nullptr;
    std::vector<RwTexture*> waterFrames_;
    RwTexture* waterBump_ = nullptr;
    RwTexture* waterEnvironment_ = nullptr;
    void* waterDeclaration_ = nullptr; // shader path
    void* vertexShader_ = nullptr;
    void* pixelShader_ = nullptr;
    uint32_t waterFrame_ = 0;
    BumpMatrix bump_;
    uint32_t waterSlicesDrawn_ = 0;
    std::vector<LoadedSlice> openSea_;
    IDirect3DVertexBuffer9* openSeaPositions_[2] = {}; // flat, shared by the near and the far cells
    bool coarseOpenSea_ = true;
    uint32_t openSeaDrawn_ = 0;
    std::vector<std::pair<float, std::pair<int32_t, int32_t>>> openSeaWanted_; // kept: no allocation a frame
    void ReleaseOpenSea();
    void ReleaseOpenSeaPositions();
    bool ReleaseOpenSeaCell(LoadedSlice& entry); // true, for erase_if
    // Draws the loaded slices' water and then the open sea's with the pass's state set; per slice, the
    // pass sets what depends on it (transform, constants) through `place`.
    template <class Place> void DrawWaterSlices(RwCamera* camera, const Base::Vector3& position, Place place);
    // The shared triangle strip of a level, made on first use (null when it cannot be).
    IDirect3DIndexBuffer9* Strip(uint8_t level);

    // Water cover index buffers, all of a level-0 slice's size, kept for reuse.
    std::vector<IDirect3DIndexBuffer9*> coverPool_;
    std::vector<uint16_t> cellTriangles_[MaxGeometryLevel + 1];
    uint32_t waterCellsDrawn_ = 0, waterCellsUnderLand_ = 0, landCellsOverWater_ = 0;
    bool waterCoverEnabled_ = true;
    std::vector<uint8_t> scratchCells_;
    // Takes the cells of scratchCells_ for the slice's cover.
    bool BuildWaterCover(Slice& slice);
    // An index buffer of a level-0 slice's size, from the pool or new (null when none can be made).
    IDirect3DIndexBuffer9* TakeCoverBuffer();
    // Writes into a cover buffer, from cell `start` of it on, the triangles (of `triangles`, six indices a
    // cell) of the cells of scratchCells_ for which `take` holds; the number of triangles written, or -1
    // when it cannot be locked.
    template <class Take>
    int64_t FillCover(IDirect3DIndexBuffer9* buffer, const std::vector<uint16_t>& triangles, size_t start,
                      Take take);
    void ReturnWaterCover(Slice& slice);
    void ReleaseWaterCovers();

    IDirect3DVertexBuffer9* TakeBuffer(int kind, uint32_t size);
    void ReturnBuffer(int kind, IDirect3DVertexBuffer9*& buffer);
    void ReleaseBuffers();
};

} // namespace Obj
