// Obj::AutoGen: generated scenery (trees, houses) over the land around the camera. The land is a grid of
// square sectors; each sector within the visibility range places objects on a regular grid of candidate
// points, thinned by density maps and jittered by the shared generator seeded from the sector's centre, so a
// sector always gets the same objects when it is rebuilt. A sector's objects and shadows are baked into one
// vertex and one index buffer and drawn with two indexed draws, fading out towards the range.
#pragma once

#include "objects/LightRecord.h"
#include "scene/ObjectModel.h"

#include "base/Info.h"
#include "base/Maths.h"
#include "base/String.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;
struct RpClump;
struct RwTexture;

namespace Obj {

class Terrain;

class AutoGen : public Object, public Renderable {
public:
    static constexpr uint8_t RenderOrder = 192;
    // Sector vertices are indexed with 16 bits: placement stops before a sector would pass this.
    static constexpr uint32_t MaxSectorVertices = 65535;
    // Candidate points per sector side at most: more could not even hold a triangle each in 65535 vertices,
    // and a huge value would stall every sector build.
    static constexpr uint32_t MaxObjectsSpan = 256;
    // Variants made per model at most: a tiny positive step would otherwise make millions.
    static constexpr uint32_t MaxVariantsPerModel = 360;

    // 32 bytes, also the vertex-buffer layout (XYZ | NORMAL | TEX1).
    struct Vertex {
        float x = 0, y = 0, z = 0;
        float nx = 0, ny = 0, nz = 0;
        float u = 0, v = 0;
    };

    struct Mesh {
        std::vector<Vertex> vertices;
        std::vector<uint16_t> indices; // three per triangle
    };
    using Variant = std::pair<std::unique_ptr<Mesh>, std::unique_ptr<Mesh>>; // object, shadow

    // 2 bits a pixel (0..3), four pixels to a byte.
    class DensityMap {
    public:
        DensityMap() = default;
        // Reads the image through the engine's image search path; an unreadable image gives an empty map.
        explicit DensityMap(const Base::String& imageName);
        // From pixel values (their two lowest bits), rows of width, top row first.
        DensityMap(uint32_t width, uint32_t height, const std::vector<uint8_t>& values);

        uint32_t width = 0, height = 0;
        std::vector<uint8_t> pixels;

        bool Empty() const { return width == 0 || height == 0; }
        uint8_t Get(uint32_t x, uint32_t z) const {
            const size_t index = size_t(width) * z + x;
            return (pixels[index >> 2] >> ((index & 3) * 2)) & 3;
        }
        void Set(uint32_t x, uint32_t z, uint8_t value);
        // Bilinear between the four pixels around (fx, fz), coordinates clamped to the map: 0 to 3.
        float Sample(float fx, float fz) const;
    };

    struct ObjectSet {
        int32_t mapIndex = -1;
        float left = 0, top = 0, right = 0, bottom = 0;
        uint8_t useTerrainNormal = 0, terrainAligned = 0, lodForShadow = 0, doubleSided = 0;
        float rotateStep = 0;   // radians
        float density = 0;      // "DensityFactor"
        float displacement = 0; // "DisplacementFactor"
        std::vector<Variant> variants;

        // The map's value (0 to 1) at world (x, z); 0 outside the rectangle, whose edges count as inside.
        float DensityAt(const AutoGen& autogen, float x, float z) const;
    };

    struct Sector {
        Sector() = default;
        Sector(const Sector&) = delete;
        Sector& operator=(const Sector&) = delete;
        ~Sector(); // releases the buffers

        int32_t i = 0, j = 0;
        Base::Vector3 centre, boxMax, boxMin;
        // The box the vertices fill (the buffers' vertices are relative to centre).
        Base::Vector3 drawnMin, drawnMax;
        IDirect3DVertexBuffer9* vertexBuffer = nullptr;
        IDirect3DIndexBuffer9* indexBuffer = nullptr;
        uint32_t vertexCapacity = 0, indexCapacity = 0; // bytes of the buffers, rounded up when made
        uint32_t totalVertices = 0, totalIndices = 0, objectVertices = 0, objectIndices = 0;
        std::vector<uint32_t> objectEnd, shadowEnd;
        uint8_t doubleSided = 0;
    };

    struct Placement {
        const Variant* pair = nullptr;
        uint8_t useTerrainNormal = 0, terrainAligned = 0, lodForShadow = 0;
        float dx = 0, dz = 0;
        bool operator==(const Placement&) const = default;
    };

    // Direct3D 9 light layout.
    using Light = LightRecord;

    // The ground under (x, z): height and normal, or nothing when the vertical probe misses.
    struct Ground {
        float height = 0;
        Base::Vector3 normal{0, 1, 0};
    };
    using GroundProbe = std::function<std::optional<Ground>(float x, float z)>;

    // Per-frame distance fade of a sector: the texture factor's alpha and the alpha-test reference.
    struct Fade {
        uint32_t alpha = 0;
        uint32_t textureFactor = 0;
        uint32_t alphaReference = 0;
    };

    AutoGen();
    ~AutoGen() override;

    // Reads the description (a missing key leaves its field as it was) and the object sets. False when it
    // can place nothing (a key missing or out of range, or no set usable), with Error() naming the first key
    // at fault; SetFaults() names each set left out of a description that loads.
    bool Load(const Base::Info& node);
    const Base::String& Error() const { return error_; }
    const std::vector<Base::String>& SetFaults() const { return setFaults_; }
    // Draws with the engine's current camera; neither argument is used.
    void Render(unsigned order, Cameras::Basic* camera) override;
    // Drawn everywhere: no sphere.
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    void SetWorld(Grp::World* world) override;

    // The ground comes from the world's terrain; a probe set here replaces it (tests, tools).
    void SetGroundProbe(GroundProbe probe) { probe_ = std::move(probe); }
    std::optional<Ground> ProbeGround(float x, float z) const;

    // The mesh of the clump's atomic of that name (ignoring case) turned about the up axis by angle
    // radians, or null when the clump has none.
    static std::unique_ptr<Mesh> BuildMesh(RpClump* clump, const char* atomicName, float angle);
    // The variant angles (radians) of a step in degrees: one step, two steps, ... while below 360. A step of
    // 0 gives one unrotated variant, 360 or more none; a negative step (the default) counts as 0, and a tiny
    // one stops at MaxVariantsPerModel.
    static std::vector<float> VariantAngles(float stepDegrees);
    // Appends a set (its variants, map and rectangle already filled); a set with no variants or no map is
    // dropped and false returned.
    bool AddObjectSet(ObjectSet set);
    int32_t AddDensityMap(std::unique_ptr<DensityMap> map);

    std::pair<int32_t, int32_t> CellOf(float x, float z) const;
    Base::Vector3 SectorCentre(int32_t i, int32_t j) const;
    // The seed of the shared generator for a sector centred at (x, z).
    static uint32_t SectorSeed(float x, float z);
    // The sector's placements in candidate order (reseeds the shared generator); fills its centre, box
    // and counts. Placement stops before the sector would pass MaxSectorVertices.
    std::vector<Placement> PlaceObjects(Sector& sector) const;
    // The same into a vector kept by the caller (cleared first).
    void PlaceObjects(Sector& sector, std::vector<Placement>& placements) const;
    // Placements, shuffle, then the vertices and indices (into the scratch arrays) and the device buffers
    // when a device is there.
    std::unique_ptr<Sector> BuildSector(int32_t i, int32_t j);
    // The last built sector's geometry.
    const std::vector<Vertex>& LastVertices() const { return scratchVertices_; }
    const std::vector<uint16_t>& LastIndices() const { return scratchIndices_; }

    // Squared distance of a sector's centre from the camera at the height of the ground under the camera.
    // The window and the keep test both use it, so a sector at the rim is not freed and rebuilt frame after
    // frame.
    static float SectorDistanceSquared(float centreX, float centreZ, const Base::Vector3& camera,
                                       float ground);
    // Frees the sectors out of range and builds those that came in; the rest stay. ground: the height
    // under the camera.
    void UpdateSectors(const Base::Vector3& camera, float ground);

    static Fade FadeAt(float distance, float range);
    // Index counts drawn at that distance: objects and shadows, prefixes of the shuffled placements.
    struct LodCounts {
        uint32_t objectIndices = 0, shadowIndices = 0;
    };
    LodCounts LodAt(const Sector& sector, float distance) const;
    // The projection's depth scale for the shadow draw, with the camera's height over the ground kept at
    // least 1 so that a camera at or below the ground neither divides by zero nor flips the sign.
    static float ShadowDepthFactor(float cameraHeightOverGround);

    // ---- description
    int32_t sectorsX = 0, sectorsZ = 0;
    float sectorSize = 0;
    float cornerX = 0, cornerZ = 0;
    float visibilityRange = 0;
    float globalDensity = 0;
    uint32_t objectsSpan = 0;
    std::vector<uint8_t> windowFlags;
    int32_t windowSize = 0;
    std::vector<std::unique_ptr<Sector>> sectors;
    RwTexture* texture = nullptr;
    RwTexture* shadowTexture = nullptr;
    std::vector<ObjectSet> objectSets;
    std::vector<std::unique_ptr<DensityMap>> densityMaps;
    Light light;

    // Counters since the load: sectors built and freed, vertex and index buffers created, placements
    // dropped at the vertex cap, object sets refused.
    uint32_t sectorsBuilt = 0, sectorsFreed = 0, buffersCreated = 0, setsRefused = 0;
    Base::String error_;
    std::vector<Base::String> setFaults_;
    mutable uint32_t placementsDropped = 0;
    uint32_t sectorsDrawn = 0;   // in the last frame
    uint32_t sectorsCovered = 0; // in the last frame: in view, left out wholly behind the screen's cover

private:
    void ReadObjectSets(const Base::Info& node);
    void FillSector(Sector& sector, std::vector<Placement>& placements);
    bool UploadSector(Sector& sector);

    // A sector's buffers and arrays, kept while no sector uses them. An empty sector holds none, so that
    // the storage in use and spare never passes what the most sectors with objects at once needed.
    struct Storage {
        Storage() = default;
        Storage(Storage&& other) noexcept { Swap(other); }
        Storage& operator=(Storage&& other) noexcept {
            Swap(other);
            return *this;
        }
        ~Storage(); // releases the buffers
        void Swap(Storage& other) noexcept;
        // Exchanges these with the sector's own.
        void Swap(Sector& sector) noexcept;

        IDirect3DVertexBuffer9* vertexBuffer = nullptr;
        IDirect3DIndexBuffer9* indexBuffer = nullptr;
        uint32_t vertexCapacity = 0, indexCapacity = 0;
        std::vector<uint32_t> objectEnd, shadowEnd;
    };
    // Gives the sector the smallest spare storage that holds it, else none (it makes its own).
    void TakeStorage(Sector& sector, size_t placements);
    // Keeps a freed sector's storage for the next builds.
    void KeepStorage(Sector& sector);

    GroundProbe probe_;
    // Freed sectors' records, reused by the next builds, and the placements of the sector being built:
    // the window builds and frees at its rim without allocating once these have grown.
    std::vector<std::unique_ptr<Sector>> spareSectors_;
    std::vector<Storage> spareStorage_;
    std::vector<Placement> scratchPlacements_;
    std::vector<Vertex> scratchVertices_;
    std::vector<uint16_t> scratchIndices_;
};

} // namespace Obj
