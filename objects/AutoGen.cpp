// Generated scenery: the description, the object sets with their rotated variants and density maps, and the
// sectors' placements and geometry. The device side (buffers, drawing) is in AutoGenRender.cpp.
#include "objects/AutoGen.h"

#include "objects/Terrain.h"

#include "base/ClumpCache.h"
#include "base/Random.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/bageomet.h"
#include "scene/AtomicData.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"
#include "scene/RoleGroups.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace Obj {

namespace {

constexpr float TwoToMinus32 = 1.0f / 4294967296.0f;

float Unit() {
    return float(Base::Random::NextUInt32()) * TwoToMinus32;
}

float Uniform(float lo, float hi) {
    return Unit() * (hi - lo) + lo;
}

// The runtime library's generator, 15 bits a draw as the placements' shuffle has always used.
uint32_t Draw15() {
    return uint32_t(std::rand()) & 0x7FFF;
}

bool Flag(const Base::Info& node, const char* key, uint8_t& out) {
    int32_t value = 0;
    if (!node.TryGetInt(key, value))
        return false;
    out = (value & 0xFF) != 0;
    return true;
}

} // namespace

AutoGen::AutoGen() {
    renderOrders.push_back(RenderOrder);
}

AutoGen::~AutoGen() {
    sectors.clear();
    spareSectors_.clear();
    spareStorage_.clear();
    if (texture)
        RwTextureDestroy(texture);
    if (shadowTexture)
        RwTextureDestroy(shadowTexture);
}

void AutoGen::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    SetRenderableWorld(*this, joined);
}

// ---- description

bool AutoGen::Load(const Base::Info& node) {
    light = Light{};
    error_.clear();
    setFaults_.clear();
    // The first key that leaves nothing to place is named; the rest is read all the same.
    const auto fault = [this](const char* key, const char* why) {
        if (error_.empty())
            error_ = Base::String("generated scenery: \"") + key + "\" " + why;
    };
    node.TryGetFloat("VisibilityRange", visibilityRange);
    if (!node.TryGetInt2("SectorsSpan", sectorsX, sectorsZ) || sectorsX < 1 || sectorsZ < 1)
        fault("SectorsSpan", "is missing or below 1");
    if (!node.TryGetFloat("SectorSize", sectorSize) || !std::isfinite(sectorSize) || !(sectorSize > 0))
        fault("SectorSize", "is missing or not above 0");
    if (node.TryGetUInt("ObjectsSpan", objectsSpan))
        objectsSpan = std::min(objectsSpan, MaxObjectsSpan);
    if (objectsSpan == 0)
        fault("ObjectsSpan", "is missing or 0");
    if (!std::isfinite(visibilityRange) || !(visibilityRange > 0))
        fault("VisibilityRange", "is missing or not above 0");
    Base::Vector2 corner{cornerX, cornerZ};
    if (node.TryGetPoint("BottomRightPos", corner)) {
        cornerX = corner.x;
        cornerZ = corner.y;
    }
    Base::String textureName, shadowName;
    node.TryGetString("TextureFilename", textureName);
    node.TryGetString("TextureFilenameShadow", shadowName);
    node.TryGetColor("LightAmbientColor", light.ambient);
    node.TryGetColor("LightDiffuseColor", light.diffuse);
    if (node.TryGetVector3("LightDirection", light.direction))
        light.direction = Base::Normalize3d(light.direction);
    node.TryGetFloat("GlobalDensityFactor", globalDensity);
    if (!std::isfinite(cornerX) || !std::isfinite(cornerZ))
        fault("BottomRightPos", "is not finite");
    if (!std::isfinite(globalDensity))
        fault("GlobalDensityFactor", "is not finite");

    // A range or sector size that is missing, negative or not finite builds no window at all; a window is
    // kept to 255 cells a side so a tiny sector size cannot ask for a huge one.
    windowSize = 0;
    if (std::isfinite(visibilityRange) && visibilityRange > 0 && std::isfinite(sectorSize) && sectorSize > 0)
        windowSize = int32_t(std::min(255.0f, std::ceil(2 * visibilityRange / sectorSize) + 1));
    windowFlags.assign(size_t(windowSize) * size_t(windowSize), 0);
    // The window holds at most its cells' sectors: records and storage in use and spare never pass that.
    sectors.reserve(windowFlags.size());
    spareSectors_.reserve(windowFlags.size());
    spareStorage_.reserve(windowFlags.size());

    // A second load replaces the textures rather than leaking them.
    if (!textureName.empty()) {
        if (texture)
            RwTextureDestroy(texture);
        texture = Rw::LoadTexture(textureName.c_str(), 1, 6);
    }
    if (!shadowName.empty()) {
        if (shadowTexture)
            RwTextureDestroy(shadowTexture);
        shadowTexture = Rw::LoadTexture(shadowName.c_str(), 1, 6);
    }
    ReadObjectSets(node);
    if (error_.empty() && objectSets.empty())
        error_ = setFaults_.empty()
                     ? Base::String("generated scenery: no object set")
                     : "generated scenery: no object set is usable (" + setFaults_.front() + ")";
    return error_.empty();
}

void AutoGen::ReadObjectSets(const Base::Info& node) {
    const Base::Info* sets = node.GetChild("ObjectSets");
    if (!sets)
        return;
    // The keys carried over from set to set start from zero for the first.
    ObjectSet working;
    int index = 0;
    for (const auto& [name, child] : sets->GetChildren()) {
        ++index;
        float stepDegrees = -1;
        child->TryGetFloat("RotateEvery", stepDegrees);
        working.rotateStep = stepDegrees * std::numbers::pi_v<float> / 180;
        ObjectSet set;
        const std::vector<float> angles = VariantAngles(stepDegrees);
        if (const Base::Info* models = child->GetChild("Models")) {
            std::vector<Base::String> files;
            models->CollectValues(files);
            for (const Base::String& file : files) {
                RpClump* clump = Base::ClumpCache::Get(file);
                if (!clump) {
                    std::fprintf(stderr, "AutoGen: object set %d: model '%s' did not load\n", index,
                                 file.c_str());
                    continue;
                }
                for (float angle : angles)
                    set.variants.emplace_back(BuildMesh(clump, "Object", angle),
                                              BuildMesh(clump, "Shadow", angle));
                RpClumpDestroy(clump);
            }
        }
        Base::String mapName;
        std::unique_ptr<DensityMap> map;
        if (child->TryGetString("Map", mapName))
            map = std::make_unique<DensityMap>(mapName);
        Base::Rect rect{working.left, working.top, working.right, working.bottom};
        if (child->GetRect("Rect", rect)) {
            working.left = rect.left;
            working.top = rect.top;
            working.right = rect.right;
            working.bottom = rect.bottom;
        }
        Flag(*child, "UseTerrainNormal", working.useTerrainNormal);
        Flag(*child, "TerrainAligned", working.terrainAligned);
        Flag(*child, "LodForShadow", working.lodForShadow);
        Flag(*child, "DoubleSided", working.doubleSided);
        // A value that is there but is no number is a fault, not a key to carry over from the set before.
        const Base::Info* setInfo = child.get(); // clang 14 cannot capture a structured binding
        const auto unreadable = [&](const char* key, float& value) {
            return setInfo->GetChild(key) && !setInfo->TryGetFloat(key, value);
        };
        const bool badDensity = unreadable("DensityFactor", working.density);
        const bool badDisplacement = unreadable("DisplacementFactor", working.displacement);
        const bool badRotation = unreadable("RotateEvery", stepDegrees);

        // A set without variants would divide by zero when placing, one without a map has no density, and
        // a density or displacement that is not a number places nothing or everywhere.
        const char* refused = badRotation || !(stepDegrees < 360)
                                  ? "has a \"RotateEvery\" that is not a number below 360"
                              : set.variants.empty() ? "has no model that loads"
                              : !map || map->Empty() ? "has no density map that loads"
                              : badDensity || !std::isfinite(working.density) || working.density < 0
                                  ? "has a \"DensityFactor\" that is not a number of 0 or more"
                              : badDisplacement || !std::isfinite(working.displacement)
                                  ? "has a \"DisplacementFactor\" that is not a number"
                                  : nullptr;
        if (refused) {
            setFaults_.push_back("object set \"" + Base::Clip(name) + "\" " + refused);
            ++setsRefused;
            continue;
        }
        set.mapIndex = AddDensityMap(std::move(map));
        set.left = working.left;
        set.top = working.top;
        set.right = working.right;
        set.bottom = working.bottom;
        set.useTerrainNormal = working.useTerrainNormal;
        set.terrainAligned = working.terrainAligned;
        set.lodForShadow = working.lodForShadow;
        set.doubleSided = working.doubleSided;
        set.rotateStep = working.rotateStep;
        set.density = working.density;
        set.displacement = working.displacement;
        objectSets.push_back(std::move(set));
    }
}

bool AutoGen::AddObjectSet(ObjectSet set) {
    if (set.variants.empty() || set.mapIndex < 0 || size_t(set.mapIndex) >= densityMaps.size() ||
        densityMaps[size_t(set.mapIndex)]->Empty()) {
        ++setsRefused;
        return false;
    }
    objectSets.push_back(std::move(set));
    return true;
}

int32_t AutoGen::AddDensityMap(std::unique_ptr<DensityMap> map) {
    densityMaps.push_back(std::move(map));
    return int32_t(densityMaps.size()) - 1;
}

std::vector<float> AutoGen::VariantAngles(float stepDegrees) {
    std::vector<float> angles;
    if (!(stepDegrees < 360)) // 360 or more, or not a number
        return angles;
    if (!(stepDegrees > 0)) {
        angles.push_back(0);
        return angles;
    }
    // Counted in whole steps so that rounding cannot add or lose the last turn.
    for (uint32_t k = 1; double(k) * stepDegrees < 360 && angles.size() < MaxVariantsPerModel; ++k)
        angles.push_back(float(double(k) * stepDegrees * std::numbers::pi / 180));
    return angles;
}

std::unique_ptr<AutoGen::Mesh> AutoGen::BuildMesh(RpClump* clump, const char* atomicName, float angle) {
    if (!clump)
        return nullptr;
    struct Find {
        const char* name;
        RpAtomic* found;
    } find{atomicName, nullptr};
    RpClumpForAllAtomics(
        clump,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            auto* f = static_cast<Find*>(data);
            const char* name = f->name;
            if (Rw::MatchAtomicName(atomic, &name)) // keeps walking
                return atomic;
            f->found = atomic;
            return nullptr;
        },
        &find);
    RpAtomic* atomic = find.found;
    RpGeometry* geometry = atomic ? RpAtomicGetGeometry(atomic) : nullptr;
    if (!geometry || RpGeometryGetNumMorphTargets(geometry) < 1)
        return nullptr;

    RwMatrix m;
    if (RwFrame* frame = RpAtomicGetFrame(atomic))
        m = *RwFrameGetWorldMatrix(frame);
    else
        RwMatrixSetIdentity(&m);
    const RwV3d up{0, 1, 0};
    RwMatrixRotate(&m, &up, angle * 180 / std::numbers::pi_v<float>, rwCOMBINEPOSTCONCAT);

    auto mesh = std::make_unique<Mesh>();
    RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
    const RwV3d* positions = RpMorphTargetGetVertices(target);
    const RwV3d* normals = RpMorphTargetGetVertexNormals(target);
    const RwTexCoords* uvs = RpGeometryGetVertexTexCoords(geometry, 1); // the first set
    const RwInt32 count = RpGeometryGetNumVertices(geometry);
    mesh->vertices.resize(size_t(count));
    for (RwInt32 k = 0; k < count; ++k) {
        Vertex& v = mesh->vertices[size_t(k)];
        RwV3d p;
        RwVector3TransformPoint(&p, &positions[k], &m);
        v.x = p.x;
        v.y = p.y;
        v.z = p.z;
        if (normals) {
            RwV3d n;
            RwVector3TransformVector(&n, &normals[k], &m);
            v.nx = n.x;
            v.ny = n.y;
            v.nz = n.z;
        }
        if (uvs) {
            v.u = uvs[k].u;
            v.v = uvs[k].v;
        }
    }
    const RpTriangle* triangles = RpGeometryGetTriangles(geometry);
    const RwInt32 triangleCount = RpGeometryGetNumTriangles(geometry);
    mesh->indices.reserve(size_t(triangleCount) * 3);
    for (RwInt32 k = 0; k < triangleCount; ++k)
        for (int corner = 0; corner < 3; ++corner)
            mesh->indices.push_back(triangles[k].vertIndex[corner]);
    return mesh;
}

// ---- density maps

AutoGen::DensityMap::DensityMap(const Base::String& imageName) {
    RwImage* image = RwImageRead(imageName.c_str());
    if (!image)
        return;
    if (image->width > 0 && image->height > 0 && image->pixels) {
        width = uint32_t(image->width);
        height = uint32_t(image->height);
        pixels.assign((size_t(width) * height + 3) / 4, 0);
        const bool word = image->depth == 32;
        for (uint32_t z = 0; z < height; ++z) {
            const uint8_t* row = image->pixels + size_t(z) * size_t(image->stride);
            for (uint32_t x = 0; x < width; ++x) {
                // The lowest byte of a 32-bit pixel word is its first byte.
                const uint8_t value = word ? row[size_t(x) * 4] : row[x];
                Set(x, z, value & 3);
            }
        }
    }
    RwImageDestroy(image);
}

AutoGen::DensityMap::DensityMap(uint32_t w, uint32_t h, const std::vector<uint8_t>& values)
    : width(w), height(h), pixels((size_t(w) * h + 3) / 4, 0) {
    for (uint32_t z = 0; z < h; ++z)
        for (uint32_t x = 0; x < w; ++x)
            Set(x, z, values[size_t(z) * w + x] & 3);
}

void AutoGen::DensityMap::Set(uint32_t x, uint32_t z, uint8_t value) {
    const size_t index = size_t(width) * z + x;
    const unsigned shift = unsigned(index & 3) * 2;
    pixels[index >> 2] = uint8_t((pixels[index >> 2] & ~(3u << shift)) | ((value & 3u) << shift));
}

float AutoGen::DensityMap::Sample(float fx, float fz) const {
    if (Empty())
        return 0;
    const auto clampTo = [](float v, uint32_t size) {
        return v > 0 ? std::min(uint32_t(v), size - 1) : 0u; // NaN goes to 0 as well
    };
    const uint32_t x0 = clampTo(std::floor(fx), width), x1 = clampTo(std::ceil(fx), width);
    const uint32_t z0 = clampTo(std::floor(fz), height), z1 = clampTo(std::ceil(fz), height);
    const float tx = fx - float(x0), tz = fz - float(z0);
    return tz * (tx * Get(x1, z1) + (1 - tx) * Get(x0, z1)) +
           (1 - tz) * (tx * Get(x1, z0) + (1 - tx) * Get(x0, z0));
}

float AutoGen::ObjectSet::DensityAt(const AutoGen& autogen, float x, float z) const {
    if (!(left <= x && x <= right && top <= z && z <= bottom))
        return 0;
    if (mapIndex < 0 || size_t(mapIndex) >= autogen.densityMaps.size())
        return 0;
    const DensityMap& map = *autogen.densityMaps[size_t(mapIndex)];
    // A rectangle of no width or depth samples its first column or row.
    const float fx = right > left ? (x - left) * float(map.width) / (right - left) : 0;
    const float fz = bottom > top ? (z - top) * float(map.height) / (bottom - top) : 0;
    return map.Sample(fx, fz) / 3;
}

// ---- sectors

std::pair<int32_t, int32_t> AutoGen::CellOf(float x, float z) const {
    const float i = std::floor((x - cornerX) / sectorSize), j = std::floor((z - cornerZ) / sectorSize);
    // Far outside the grid (or with no grid at all) the cell is simply out of it.
    const auto toCell = [](float v) {
        return std::isfinite(v) ? int32_t(std::clamp(v, -1e9f, 1e9f)) : int32_t(-1000000000);
    };
    return {toCell(i), toCell(j)};
}

Base::Vector3 AutoGen::SectorCentre(int32_t i, int32_t j) const {
    return {sectorSize * (float(i) + 0.5f) + cornerX, 0, sectorSize * (float(j) + 0.5f) + cornerZ};
}

uint32_t AutoGen::SectorSeed(float x, float z) {
    // Wrapping arithmetic: far from the origin the product passes 32 bits, as it always has.
    return uint32_t(std::lround(x)) + 300000u * uint32_t(std::lround(z));
}

std::optional<AutoGen::Ground> AutoGen::ProbeGround(float x, float z) const {
    if (probe_)
        return probe_(x, z);
    const Terrain* terrain = Obj::Object::world ? Obj::Object::world->terrain : nullptr;
    if (!terrain)
        return std::nullopt;
    Terrain::Segment segment{{x, 10000, z}, {x, -10000, z}};
    Base::Vector3 point, normal;
    if (!terrain->IntersectSegment(segment, &point, &normal))
        return std::nullopt;
    return Ground{point.y, normal};
}

std::vector<AutoGen::Placement> AutoGen::PlaceObjects(Sector& sector) const {
    std::vector<Placement> placements;
    PlaceObjects(sector, placements);
    return placements;
}

void AutoGen::PlaceObjects(Sector& sector, std::vector<Placement>& placements) const {
    placements.clear();
    const float h = sectorSize / 2;
    const Base::Vector3 centre = SectorCentre(sector.i, sector.j);
    // Sectors are built as the camera comes near: the program's stream is left as it was, so that what is
    // drawn does not change what the game's pilots and weapons draw next.
    const Base::Random::Saved saved;
    Base::Random::Seed(SectorSeed(centre.x, centre.z));
    // A probe that misses (the sector reaches past the height map) stands on the sea level.
    const std::optional<Ground> ground = ProbeGround(centre.x, centre.z);
    sector.centre = {centre.x, ground ? ground->height : Terrain::SeaLevel, centre.z};
    sector.boxMin = {centre.x - h, sector.centre.y, centre.z - h};
    sector.boxMax = {centre.x + h, sector.centre.y + 300, centre.z + h};
    sector.totalVertices = sector.totalIndices = sector.objectVertices = sector.objectIndices = 0;
    sector.doubleSided = 0;
    if (objectsSpan == 0 || objectSets.empty())
        return;

    const float step = sectorSize / float(objectsSpan), half = step / 2;
    for (uint32_t a = 0; a < objectsSpan; ++a) {
        const float u = half - h + float(a) * step;
        for (uint32_t b = 0; b < objectsSpan; ++b) {
            const float v = half - h + float(b) * step;
            float r = Unit();
            const ObjectSet* chosen = nullptr;
            for (const ObjectSet& set : objectSets) {
                r -= set.DensityAt(*this, centre.x + u, centre.z + v) * set.density * globalDensity;
                if (r <= 0) {
                    chosen = &set;
                    break;
                }
            }
            if (!chosen)
                continue;
            const float maxd = half * chosen->displacement;
            const Variant& pair = chosen->variants[Base::Random::NextUInt32() % chosen->variants.size()];
            const float dx = u + Uniform(-maxd, maxd);
            const float dz = v + Uniform(-maxd, maxd);
            const uint32_t objectVertices = pair.first ? uint32_t(pair.first->vertices.size()) : 0;
            const uint32_t shadowVertices = pair.second ? uint32_t(pair.second->vertices.size()) : 0;
            // Sixteen-bit indices reach 65535 vertices: a placement that would pass them is left out.
            if (sector.totalVertices + objectVertices + shadowVertices > MaxSectorVertices) {
                ++placementsDropped;
                continue;
            }
            if (chosen->doubleSided)
                sector.doubleSided = 1;
            const uint32_t objectIndices = pair.first ? uint32_t(pair.first->indices.size()) : 0;
            const uint32_t shadowIndices = pair.second ? uint32_t(pair.second->indices.size()) : 0;
            sector.totalVertices += objectVertices + shadowVertices;
            sector.totalIndices += objectIndices + shadowIndices;
            sector.objectVertices += objectVertices;
            sector.objectIndices += objectIndices;
            placements.push_back(
                {&pair, chosen->useTerrainNormal, chosen->terrainAligned, chosen->lodForShadow, dx, dz});
        }
    }
}

std::unique_ptr<AutoGen::Sector> AutoGen::BuildSector(int32_t i, int32_t j) {
    std::unique_ptr<Sector> sector;
    if (spareSectors_.empty()) {
        sector = std::make_unique<Sector>();
    } else {
        // A freed sector's record, with its arrays and device buffers, takes the new one.
        // A freed sector's record takes the new one; its storage was kept apart.
        sector = std::move(spareSectors_.back());
        spareSectors_.pop_back();
    }
    sector->i = i;
    sector->j = j;
    std::vector<Placement>& placements = scratchPlacements_;
    PlaceObjects(*sector, placements);
    scratchVertices_.clear();
    scratchIndices_.clear();
    ++sectorsBuilt;
    if (sector->totalVertices == 0)
        return sector;
    // Shuffled so that the level of detail, a prefix, thins the sector evenly.
    for (size_t k = 2; k <= placements.size(); ++k) {
        uint64_t r = Draw15(), bound = 0x8000;
        while (bound <= k) {
            r = r * 0x8000 + Draw15();
            bound *= 0x8000;
        }
        std::swap(placements[k - 1], placements[size_t(r % k)]);
    }
    TakeStorage(*sector, placements.size());
    FillSector(*sector, placements);
    UploadSector(*sector);
    return sector;
}

void AutoGen::FillSector(Sector& sector, std::vector<Placement>& placements) {
    std::vector<Vertex>& vertices = scratchVertices_;
    std::vector<uint16_t>& indices = scratchIndices_;
    vertices.assign(sector.totalVertices, Vertex{});
    indices.assign(sector.totalIndices, 0);
    uint32_t middle = 0;
    for (const Placement& p : placements)
        if (!p.lodForShadow && p.pair->second)
            middle += uint32_t(p.pair->second->indices.size());
    // Rounded up, as the buffers are: storage grows seldom, and then past the next sectors' needs.
    if (sector.objectEnd.capacity() < placements.size())
        sector.objectEnd.reserve(std::bit_ceil(placements.size()));
    if (sector.shadowEnd.capacity() < placements.size())
        sector.shadowEnd.reserve(std::bit_ceil(placements.size()));
    sector.objectEnd.assign(placements.size(), 0);
    sector.shadowEnd.assign(placements.size(), 0);

    uint32_t objectVertex = 0, shadowVertex = sector.objectVertices;
    uint32_t objectIndex = 0, middleIndex = sector.objectIndices, lastIndex = sector.objectIndices + middle;
    const Base::Vector3& c = sector.centre;
    for (size_t k = 0; k < placements.size(); ++k) {
        const Placement& p = placements[k];
        const std::optional<Ground> ground = ProbeGround(c.x + p.dx, c.z + p.dz);
        const float height = ground ? ground->height : Terrain::SeaLevel;
        const Base::Vector3 n = ground ? ground->normal : Base::Vector3{0, 1, 0};
        const float yoff = height - c.y;
        sector.boxMin.y = std::min(sector.boxMin.y, height);
        sector.boxMax.y = std::max(sector.boxMax.y, height);
        const float sx = n.y != 0 ? n.x / n.y : 0, sz = n.y != 0 ? n.z / n.y : 0;

        if (const Mesh* mesh = p.pair->first.get()) {
            const uint32_t first = objectVertex;
            for (const Vertex& source : mesh->vertices) {
                Vertex& v = vertices[objectVertex++];
                v = source;
                if (p.terrainAligned)
                    v.y -= sx * source.x + sz * source.z;
                v.x += p.dx;
                v.y += yoff;
                v.z += p.dz;
                if (p.useTerrainNormal) {
                    v.nx = n.x;
                    v.ny = n.y;
                    v.nz = n.z;
                }
            }
            for (uint16_t index : mesh->indices)
                indices[objectIndex++] = uint16_t(first + index);
        }
        sector.objectEnd[k] = objectIndex;

        if (const Mesh* mesh = p.pair->second.get()) {
            const uint32_t first = shadowVertex;
            for (const Vertex& source : mesh->vertices) {
                Vertex& v = vertices[shadowVertex++];
                v = source;
                v.y -= sx * source.x + sz * source.z;
                v.x += p.dx;
                v.y += yoff;
                v.z += p.dz;
            }
            uint32_t& at = p.lodForShadow ? lastIndex : middleIndex;
            for (uint16_t index : mesh->indices)
                indices[at++] = uint16_t(first + index);
        }
        sector.shadowEnd[k] = lastIndex - sector.objectIndices;
    }
    // The box the vertices fill: objects near the sector's edge reach past its square, and the trees stand
    // far lower than the box above allows for.
    sector.drawnMin = vertices.empty()
                          ? sector.boxMin
                          : Base::Vector3{c.x + vertices[0].x, c.y + vertices[0].y, c.z + vertices[0].z};
    sector.drawnMax = sector.drawnMin;
    for (const Vertex& v : vertices) {
        const Base::Vector3 p{c.x + v.x, c.y + v.y, c.z + v.z};
        sector.drawnMin = {std::min(sector.drawnMin.x, p.x), std::min(sector.drawnMin.y, p.y),
                           std::min(sector.drawnMin.z, p.z)};
        sector.drawnMax = {std::max(sector.drawnMax.x, p.x), std::max(sector.drawnMax.y, p.y),
                           std::max(sector.drawnMax.z, p.z)};
    }
}

float AutoGen::SectorDistanceSquared(float centreX, float centreZ, const Base::Vector3& camera,
                                     float ground) {
    const float dx = centreX - camera.x, dy = ground - camera.y, dz = centreZ - camera.z;
    return dx * dx + dy * dy + dz * dz;
}

void AutoGen::UpdateSectors(const Base::Vector3& camera, float ground) {
    const int32_t n = windowSize;
    if (n <= 0)
        return;
    const float r2 = visibilityRange * visibilityRange;
    const auto [i0, j0] = CellOf(camera.x - visibilityRange, camera.z - visibilityRange);
    for (int32_t b = 0; b < n; ++b)
        for (int32_t a = 0; a < n; ++a) {
            const int64_t i = int64_t(i0) + a, j = int64_t(j0) + b;
            uint8_t flag = 0;
            if (i >= 0 && j >= 0 && i < sectorsX && j < sectorsZ) {
                const Base::Vector3 centre = SectorCentre(int32_t(i), int32_t(j));
                flag = SectorDistanceSquared(centre.x, centre.z, camera, ground) < r2;
            }
            windowFlags[size_t(b) * size_t(n) + size_t(a)] = flag;
        }
    // Kept sectors clear their cell; the same rule as the window's, so no sector flips at the rim.
    for (size_t k = 0; k < sectors.size();) {
        Sector& s = *sectors[k];
        const int64_t a = int64_t(s.i) - i0, b = int64_t(s.j) - j0;
        const bool inWindow = a >= 0 && b >= 0 && a < n && b < n;
        if (inWindow && SectorDistanceSquared(s.centre.x, s.centre.z, camera, ground) < r2) {
            windowFlags[size_t(b) * size_t(n) + size_t(a)] = 0;
            ++k;
        } else {
            KeepStorage(*sectors[k]);
            spareSectors_.push_back(std::move(sectors[k]));
            sectors.erase(sectors.begin() + ptrdiff_t(k));
            ++sectorsFreed;
        }
    }
    for (int32_t b = 0; b < n; ++b)
        for (int32_t a = 0; a < n; ++a)
            if (windowFlags[size_t(b) * size_t(n) + size_t(a)])
                sectors.push_back(BuildSector(i0 + a, j0 + b));
}

AutoGen::Fade AutoGen::FadeAt(float distance, float range) {
    const float fade = std::clamp((range - distance) / range * 1.2f, 0.0f, 1.0f);
    Fade result;
    result.alpha = uint32_t(std::lround(fade * 255));
    result.textureFactor = (result.alpha << 24) + 0xFFFFFFu;
    result.alphaReference = uint32_t(std::clamp(int32_t(result.alpha) - 1, 0, 64));
    return result;
}

AutoGen::LodCounts AutoGen::LodAt(const Sector& sector, float distance) const {
    const size_t count = sector.objectEnd.size();
    if (count == 0)
        return {};
    const float range = visibilityRange;
    const float k = sectorSize * 1.4142f;
    const float d = distance - k;
    const float objLod = std::clamp(1 - d / (1.3f * range - k), 0.0f, 1.0f);
    const float shadowBase = std::clamp(1 - d / (0.5f * range - k), -1e9f, 1e9f);
    const float shadowLod = std::clamp(shadowBase * shadowBase * shadowBase, 0.0f, 1.0f);
    const auto at = [count](float lod) {
        return std::min(count - 1, size_t(std::ceil(float(count - 1) * lod)));
    };
    return {sector.objectEnd[at(objLod)], sector.shadowEnd[at(shadowLod)]};
}

float AutoGen::ShadowDepthFactor(float cameraHeightOverGround) {
    // Not below 1: at or under the ground the tweak would divide by zero or flip the sign.
    return 1 - 0.001f / std::max(cameraHeightOverGround, 1.0f);
}

} // namespace Obj
