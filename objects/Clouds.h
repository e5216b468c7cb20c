// The cloud layer of a world: clouds scattered once over a grid of sectors, given their camera-facing
// particles while within the visibility range, faded by distance and sorted back to front every frame.
//
// In the world the layer is drawn in render order 220 for every camera, from the catch-all sector.
#pragma once

#include "base/Info.h"
#include "base/Maths.h"
#include "base/String.h"
#include "scene/ObjectModel.h"

#include <cstdint>
#include <memory>
#include <list>
#include <optional>
#include <vector>

struct IDirect3DVertexBuffer9;
struct RwCamera;
struct RwTexture;

namespace Obj {

class Clouds : public Object, public Renderable {
public:
    using RenderRole = Alg::Render::Object<Cameras::Basic>;
    static constexpr uint8_t RenderOrder = 220;

    struct Cloud {
        Base::Vector3 centre;
        float size = 0;
        uint8_t active = 0;
    };
    struct Particle {
        Base::Vector3 centre;
        float size = 0;
        uint8_t color[4] = {255, 255, 255, 255}; // red, green, blue, alpha
        uint32_t quarter = 0;
        float distance = 0;
        uint32_t order = 0; // place among the frame's particles before sorting, for ties
    };
    struct ActiveCloud {
        Cloud* cloud = nullptr;
        std::vector<Particle> particles;
    };
    // 36-byte vertex: position, normal, A8R8G8B8 diffuse, texture coordinates.
    struct Vertex {
        float x, y, z, nx, ny, nz;
        uint32_t color;
        float u, v;
    };
    // The camera as the frame sees it.
    struct View {
        Base::Vector3 position, right, at;
    };
    struct Segment {
        Base::Vector3 start, end;
    };

    // Bounds that keep a hostile description from huge allocations or endless loops.
    static constexpr int32_t MaxSectorsPerSide = 4096;
    static constexpr uint64_t MaxGridPoints = 1u << 22;
    static constexpr uint32_t MaxParticlesPerCloud = 4096;
    // Particles of the clouds that can be active at once (the grid points within the visibility range).
    static constexpr uint64_t MaxParticlesInView = 1u << 20;

    // Reads the description and generates every cloud (from the clock, or from seed when given). False,
    // with Error() naming the key, leaves an inert layer: no clouds, nothing drawn, no hits.
    bool Load(const Base::Info& node, std::optional<uint32_t> seed = std::nullopt);
    bool IsLoaded() const { return loaded_; }
    const Base::String& Error() const { return error_; }

    // Column and row, not clamped.
    void GetSectorOf(float x, float z, int32_t& column, int32_t& row) const;
    const std::vector<std::vector<Cloud>>& Sectors() const { return sectors_; }
    size_t CloudCount() const;
    const std::list<ActiveCloud>& ActiveClouds() const { return active_; }

    // Releases clouds beyond the range plus 100, activates those within it.
    void UpdateActive(const Base::Vector3& camera);
    void BuildParticles(ActiveCloud& active) const;

    // Fades and sorts the visible particles (farthest first). visible(centre, radius) is the frustum test
    // of a cloud, and of each particle of a cloud that passes (a particle's square lies within its size of
    // its centre); null draws every cloud.
    using SphereTest = bool (*)(const Base::Vector3& centre, float radius, void* context);
    const std::vector<const Particle*>& PrepareFrame(const View& view, SphereTest visible = nullptr,
                                                     void* context = nullptr);
    // Six vertices per particle of the last prepared frame.
    void FillVertices(const View& view, Vertex* out) const;

    bool IsSegmentInCloud(const Segment& segment) const;

    // Off: every particle of a cloud in view is drawn, out of view or not, as a reference to compare with.
    void SetParticleCullingEnabled(bool on) { particleCulling_ = on; }

    // ---- drawing on the engine's Direct3D 9 device, inside the camera's update
    // Render order 220.
    Clouds();
    Clouds(const Clouds&) = delete;
    Clouds& operator=(const Clouds&) = delete;
    ~Clouds() override;

    // Joins (or leaves) the renderables, in their catch-all sector.
    void SetWorld(Grp::World* world) override;
    // Draws for the engine's current camera; the arguments are not used.
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return nullptr; }
    // Updates the active clouds for the camera and draws their visible particles in one call. The number
    // of particles drawn; 0 with nothing to draw (no buffer is made or locked then).
    uint32_t Render(RwCamera* camera);
    IDirect3DVertexBuffer9* VertexBuffer() const { return vertexBuffer_; }

    float VisibilityRange() const { return visibilityRange_; }
    float CloudMaxSize() const { return cloudMaxSize_; }

private:
    bool Fail(const char* key, const char* why);

    bool loaded_ = false;
    Base::String error_;
    float visibilityRange_ = 0;
    int32_t sectorsX_ = 0, sectorsZ_ = 0;
    float sectorSize_ = 0;
    Base::Vector2 origin_;
    uint32_t maxParticles_ = 0;
    float cloudMaxSize_ = 0;
    std::vector<std::vector<Cloud>> sectors_;
    std::list<ActiveCloud> active_;
    std::vector<const Particle*> frame_;
    IDirect3DVertexBuffer9* vertexBuffer_ = nullptr;
    RwTexture* texture_ = nullptr;
    bool textureTried_ = false;
    bool particleCulling_ = true;

public:
    Base::Color lightAmbient, lightDiffuse;
    Base::Vector3 lightDirection{0, 0, 1};
};

} // namespace Obj
