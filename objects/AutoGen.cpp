#include "objects/AutoGen.h"

#include "objects/Terrain.h"

#include "base/Random.h"
#include "scene/World.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Obj {

AutoGen::AutoGen() {
    renderOrders.push_back(RenderOrder);
}

AutoGen::~AutoGen() = default;

AutoGen::Sector::~Sector() = default;

bool AutoGen::Load(const Base::Info&) {
    return true;
}

void AutoGen::Render(unsigned, Cameras::Basic*) {}

void AutoGen::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    if (joined) {
        Renderable::group = joined->renderables.get();
        Renderable::group->Update(this);
        Renderable::OnGroupChanged(Renderable::group);
    } else if (Renderable::group) {
        Grp::Spatial<Renderable>::Remove(this);
    }
}

std::optional<AutoGen::Ground> AutoGen::ProbeGround(float, float) const {
    return std::nullopt;
}

std::unique_ptr<AutoGen::Mesh> AutoGen::BuildMesh(RpClump*, const char*, float) {
    return nullptr;
}

std::vector<float> AutoGen::VariantAngles(float) {
    return {};
}

bool AutoGen::AddObjectSet(ObjectSet) {
    return false;
}

int32_t AutoGen::AddDensityMap(std::unique_ptr<DensityMap> map) {
    densityMaps.push_back(std::move(map));
    return int32_t(densityMaps.size()) - 1;
}

std::pair<int32_t, int32_t> AutoGen::CellOf(float x, float z) const {
    return {int32_t(std::floor((x - cornerX) / sectorSize)), int32_t(std::floor((z - cornerZ) / sectorSize))};
}

Base::Vector3 AutoGen::SectorCentre(int32_t i, int32_t j) const {
    return {sectorSize * (float(i) + 0.5f) + cornerX, 0, sectorSize * (float(j) + 0.5f) + cornerZ};
}

uint32_t AutoGen::SectorSeed(float x, float z) {
    return uint32_t(int32_t(std::lround(x)) + 300000 * int32_t(std::lround(z)));
}

std::vector<AutoGen::Placement> AutoGen::PlaceObjects(Sector&) const {
    return {};
}

std::unique_ptr<AutoGen::Sector> AutoGen::BuildSector(int32_t i, int32_t j) {
    auto sector = std::make_unique<Sector>();
    sector->i = i;
    sector->j = j;
    return sector;
}

float AutoGen::SectorDistanceSquared(const Base::Vector3& centre, const Base::Vector3& camera) {
    const float dx = centre.x - camera.x, dy = centre.y - camera.y, dz = centre.z - camera.z;
    return dx * dx + dy * dy + dz * dz;
}

void AutoGen::UpdateSectors(const Base::Vector3&) {}

AutoGen::Fade AutoGen::FadeAt(float distance, float range) {
    const float fade = std::clamp((range - distance) / range * 1.2f, 0.0f, 1.0f);
    Fade result;
    result.alpha = uint32_t(std::lround(fade * 255));
    result.textureFactor = (result.alpha << 24) + 0xFFFFFFu;
    result.alphaReference = uint32_t(std::clamp(int32_t(result.alpha) - 1, 0, 64));
    return result;
}

AutoGen::LodCounts AutoGen::LodAt(const Sector&, float) const {
    return {};
}

float AutoGen::ShadowDepthFactor(float cameraHeightOverGround) {
    return 1 - 0.001f / std::max(cameraHeightOverGround, 1.0f);
}

void AutoGen::FillSector(Sector&, std::vector<Placement>&) {}

bool AutoGen::UploadSector(Sector&) {
    return false;
}

} // namespace Obj
