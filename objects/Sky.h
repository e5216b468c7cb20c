// The sky of a world: a coloured dome around the camera whose colours follow the camera's altitude and the
// glow of its elements (sun, moon), a star field that fades in high up, the fog colour at the horizon
// ahead, and the orientation of the scene's sun light.
//
// In the world it is drawn first (render order 10) for every camera, from the catch-all sector. Its two scene
// lights live in a layer above this one, which installs CreateLights: the sky builds them when it loads,
// holds them as attached children and takes them into and out of the world with itself.
#pragma once

#include "base/Info.h"
#include "base/Maths.h"
#include "base/String.h"
#include "objects/LensFlare.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include <cfloat>
#include <cstdint>
#include <vector>

struct IDirect3DVertexBuffer9;
struct IDirect3DIndexBuffer9;
struct RwCamera;
struct RwTexture;

namespace Obj {

class Sky : public Object, public Renderable, public Attachable {
public:
    using RenderRole = Alg::Render::Object<Cameras::Basic>;
    static constexpr uint8_t RenderOrder = 10;
    // The flares of its bright elements go over everything else drawn in the world.
    static constexpr uint8_t FlareRenderOrder = 245;

    struct Element {
        float elevation = 0, azimuth = 0; // radians
        uint8_t color[4] = {255, 255, 255, 255};
        Base::String texture;
        float size = 0;
        Base::Color glowColor{0, 0, 0, 0};
        float glowSize = 1;
        bool lensFlare = false;
        RwTexture* loadedTexture = nullptr; // owned; read at the first draw
        // (-cos e sin a, sin e, cos e cos a): azimuth 0 looks along +Z, positive azimuth turns to -X.
        Base::Vector3 GetDirection() const;
        // The sprite's four corners (dome units) in strip order, facing the dome's centre.
        void Corners(Base::Vector3 out[4]) const;
    };

    // 16-byte dome and star vertex: position and an A8R8G8B8 colour.
    struct Vertex {
        float x = 0, y = 0, z = 0;
        uint32_t color = 0;
    };

    // Bounds that keep the dome's strip in 16-bit indices and its divisions away from zero.
    static constexpr uint32_t MinLatTessel = 2, MinLongTessel = 3, MaxVertices = 65536;
    static constexpr uint32_t MaxStars = 65536;
    static constexpr float ColorStep = 0.002f;
    static constexpr uint32_t MinStarAlpha = 50;
    // Half the diagonal of a sprite over its size (sqrt 2), with room for rounding.
    static constexpr float SpriteReach = 1.4143f;

    // Render order 10.
    Sky();
    Sky(const Sky&) = delete;
    Sky& operator=(const Sky&) = delete;
    ~Sky() override;

    // Builds the scene lights of a loaded sky from SunLight() and the colours and attaches them to it;
    // installed at start-up by the lights' layer.
    static void (*CreateLights)(Sky& sky);

    // Joins (or leaves) the renderables, in their catch-all sector, with its attached children.
    void SetWorld(Grp::World* world) override;
    // Draws around the engine's current camera; the arguments are not used.
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return nullptr; }

    // Reads the sky, dome, element and light keys and builds the dome and the stars. False (with Error()
    // naming the key) leaves an inert sky: no geometry, nothing drawn, no fog change.
    bool Load(const Base::Info& node);
    bool IsLoaded() const { return loaded_; }
    const Base::String& Error() const { return error_; }

    float VisibilityRange() const { return visibilityRange_; }
    float Radius() const { return radius_; }
    uint32_t LatTessel() const { return latTessel_; }
    uint32_t LongTessel() const { return longTessel_; }
    uint32_t VertexCount() const { return uint32_t(vertices_.size()); }
    const std::vector<Vertex>& Vertices() const { return vertices_; }
    const std::vector<uint16_t>& Indices() const { return indices_; }
    const std::vector<Vertex>& Stars() const { return stars_; }
    const std::vector<Element>& Elements() const { return elements_; }
    // One per element that asks for it, placed far out along the element's direction.
    std::vector<LensFlare>& Flares() { return flares_; }
    const Base::Color& AmbientColor() const { return ambientColor_; }
    const Base::Color& DiffuseColor() const { return diffuseColor_; }
    float LastAltitudeRatio() const { return lastAltitudeRatio_; }

    // Camera height over the radius, clamped to [0, 1].
    float AltitudeRatio(float cameraHeight) const;
    // The bands from the top down to the horizon that a camera at that altitude ratio sees.
    static uint32_t VisibleBands(float altitudeRatio, uint32_t latTessel);
    // Primitives of the dome's strip over that many bands.
    uint32_t StripPrimitives(uint32_t bands) const { return (longTessel_ + 1) * bands * 2 - 2; }

    static Base::Color LerpColor(const Base::Color& a, const Base::Color& b, float t);
    // The sky colour (A8R8G8B8) in a unit direction for a camera at that height.
    uint32_t GetSkyColor(const Base::Vector3& direction, float cameraHeight) const;
    // Recolours the dome when the altitude ratio moved by more than ColorStep since the last time (always
    // the first time); true when it did.
    bool UpdateColors(float cameraHeight);

    // The stars' alpha byte at that height, or 0 when they are too faint to draw.
    uint32_t StarAlpha(float cameraHeight) const;

    // Exponential-squared density of the rest of the frame's fog.
    float FogDensity() const { return 2.0f / visibilityRange_; }
    // The sky at the horizon ahead of a camera looking along at.
    uint32_t FogColor(const Base::Vector3& cameraAt, float cameraHeight) const;

    // The sun light's frame: at along the description's direction, right = Y x at, up = at x right.
    struct LightFrame {
        Base::Vector3 right, up, at;
    };
    const LightFrame& SunLight() const { return sunLight_; }
    static LightFrame OrientLight(const Base::Vector3& direction);

    // ---- drawing on the engine's Direct3D 9 device, inside the camera's update
    // Fog off, the dome around the camera (its visible bands, the elements, the stars), then the fog of the
    // rest of the frame. An inert sky, or one whose device buffers cannot be made, draws nothing and
    // leaves the fog alone; false then.
    bool Render(RwCamera* camera);
    uint32_t LastVisibleBands() const { return visibleBands_; }
    // Elements whose sprite is wholly outside the view are not drawn.
    uint32_t LastElementsDrawn() const { return elementsDrawn_; }
    bool LastDrewStars() const { return drewStars_; }

private:
    bool Fail(const char* key, const char* why);
    void RebuildLights();
    void AddChildrenToWorld();
    bool ReadElement(const Base::Info& node, Element& element);
    void BuildGeometry();
    void BuildStars();
    bool PrepareDevice();
    void ReleaseDevice();
    void DrawDome(const RwCamera* camera, const Base::Vector3& position);
    bool ElementInView(const Element& element, const RwCamera* camera, const Base::Vector3& position) const;
    void DrawElement(const Element& element) const;
    void DrawStars(float cameraHeight);
    void SetupFog(const Base::Vector3& at, float cameraHeight) const;

    bool loaded_ = false;
    Base::String error_;
    float visibilityRange_ = 0, radius_ = 0;
    uint32_t latTessel_ = 0, longTessel_ = 0;
    Base::Color topHiAltColor_, topLoAltColor_, horizonColor_;
    float hiAltLevel_ = 1;
    float lastAltitudeRatio_ = -FLT_MAX;
    uint32_t starsCount_ = 0;
    float starsFade_[2] = {0, 1};
    std::vector<Element> elements_;
    std::vector<LensFlare> flares_;
    std::vector<Vertex> vertices_;
    std::vector<uint16_t> indices_;
    std::vector<Vertex> stars_;
    Base::Color ambientColor_, diffuseColor_;
    LightFrame sunLight_;
    IDirect3DVertexBuffer9* vertexBuffer_ = nullptr;
    IDirect3DIndexBuffer9* indexBuffer_ = nullptr;
    IDirect3DVertexBuffer9* starsBuffer_ = nullptr;
    bool devicePrepared_ = false;
    uint32_t visibleBands_ = 0;
    bool drewStars_ = false;
    uint32_t elementsDrawn_ = 0;
};

} // namespace Obj
