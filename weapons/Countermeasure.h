// Decoys an airplane drops: Weapons::Flare against infrared seekers and Weapons::Chaff against radar. Each is
// a small falling sprite that faces the camera, lives ten seconds (or until it sinks below height 0) and sits
// in the world's target list so that homing missiles can take it for their target. Bullets and rockets pass
// through it.
#pragma once

#include "scene/Frame.h"
#include "scene/ObjectModel.h"

struct RwTexture;

namespace Weapons {

class Countermeasure : public Rw::Frame,
                       public Obj::Object,
                       public Obj::Target,
                       public Obj::Renderable,
                       public Obj::Runnable {
public:
    static constexpr uint8_t RenderOrder = 230;
    static constexpr float Life = 10.0f;
    static constexpr float Gravity = 9.81f;
    static constexpr float DragPerSecond = 0.9f;

    Countermeasure();
    ~Countermeasure() override;

    // The texture, the velocity and a full life; the velocity field back.
    virtual RwV3d* Setup(const RwV3d& initialVelocity) = 0;

    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    // Its own record: radius 1 about the frame's world position.
    const RwSphere* GetBoundingSphere() override;
    bool IntersectSegment(const RwLine*, RwV3d*, RwV3d*) override { return false; }
    void SetWorld(Grp::World* world) override;

    uint8_t remoteCopy = 0;
    uint32_t reserved = 0;
    RwTexture* texture = nullptr; // owned
    RwV3d velocity = {0, 0, 0};
    float life = 0;

protected:
    RwV3d* SetupWith(const char* textureName, const RwV3d& initialVelocity);

private:
    RwSphere sphere = {{0, 0, 0}, 1};
};

class Flare : public Countermeasure {
public:
    RwV3d* Setup(const RwV3d& initialVelocity) override { return SetupWith("Flare", initialVelocity); }
};

class Chaff : public Countermeasure {
public:
    RwV3d* Setup(const RwV3d& initialVelocity) override { return SetupWith("Chaff", initialVelocity); }
};

} // namespace Weapons
