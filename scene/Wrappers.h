// Owners of the engine's cameras, lights, clumps, atomics and worlds. As with Rw::Frame, each engine object
// points back at its wrapper through a plugin slot (an engine slot counts the live objects of the type), so
// an engine object and its wrapper always die together, whichever side goes first.
#pragma once

#include "rwsdk/src/camera.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bawrld.h"

#include <cstdint>

namespace Rw {

// The camera for culling, filled by Camera::GetViewParameters, with the six planes of its viewing volume.
// A plane is a unit normal pointing into the volume and d = N . (a point of the plane).
struct Plane {
    float x, y, z, d;
};
struct CameraView {
    RwV3d position, at, up;
    float windowX, windowY;
    float nearClip, farClip;

    Plane* GetMinusRightPlane(Plane* out) const;
    Plane* GetPlusRightPlane(Plane* out) const;
    Plane* GetBottomPlane(Plane* out) const;
    Plane* GetTopPlane(Plane* out) const;
    Plane* GetNearPlane(Plane* out) const;
    Plane* GetFarPlane(Plane* out) const;
};

// The back-pointer plugins of atomics, clumps, lights, cameras and worlds, in that order; between the
// engine's initialisation and its opening. False when any registration fails.
bool RegisterWrapperPlugins();

class Atomic {
public:
    static constexpr RwUInt32 PluginId = 0x169D901;
    static Atomic* FromEngine(const RpAtomic* atomic);
    static int32_t LiveCount();

    Atomic(RpAtomic* atomic, bool owns);
    virtual ~Atomic();
    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

    uint8_t owns = 0;
    RpAtomic* atomic = nullptr;
};

class Clump {
public:
    static constexpr RwUInt32 PluginId = 0x169D902;
    static Clump* FromEngine(const RpClump* clump);
    static int32_t LiveCount();

    Clump(RpClump* clump, bool owns);
    virtual ~Clump();
    Clump(const Clump&) = delete;
    Clump& operator=(const Clump&) = delete;

protected:
    // Clears the back pointer and destroys the clump when owned.
    void ReleaseClump();
    void BindClump(RpClump* clump, bool owns);

public:
    uint8_t owns = 0;
    RpClump* clump = nullptr;
};

class Light {
public:
    static constexpr RwUInt32 PluginId = 0x169D903;
    static Light* FromEngine(const RpLight* light);
    static int32_t LiveCount();

    // A new light of the engine type, colour (0, 0, 0, 0), radius 0, owned.
    explicit Light(int type);
    virtual ~Light();
    Light(const Light&) = delete;
    Light& operator=(const Light&) = delete;

protected:
    void ReleaseLight();

public:
    uint8_t owns = 0;
    RpLight* light = nullptr;
};

class Camera {
public:
    static constexpr RwUInt32 PluginId = 0x169D904;
    static Camera* FromEngine(const RwCamera* camera);
    static int32_t LiveCount();

    // A new camera, always owned.
    Camera();
    virtual ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // fov: the horizontal field of view in radians; the height follows the frame buffer's shape.
    void SetFieldOfView(float fov);
    void SetAspectRatio(float factor);
    // The one static record, overwritten by each call.
    const CameraView* GetViewParameters() const;
    // Screen x and y in pixels, depth 0 at the near clip to 1 at the far clip.
    void ProjectPoint(const RwV3d* world, RwV3d* out) const;

protected:
    void ReleaseCamera();

public:
    RwCamera* camera = nullptr;
};

class World {
public:
    static constexpr RwUInt32 PluginId = 0x169D905;
    static World* FromEngine(const RpWorld* world);
    static int32_t LiveCount();

    explicit World(const RwBBox* box);
    virtual ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    RpWorld* world = nullptr;
};

} // namespace Rw
