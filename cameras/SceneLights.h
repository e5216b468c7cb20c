// The world's two scene lights: uniform ambient light and sunlight from one direction. Both are world
// objects on engine lights. The sky builds them when it loads, through the hook installed here at start-up
// (the sky lives in a lower layer), hangs them below itself and takes them into and out of the world with
// it; they die with the sky.
#pragma once

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

struct RpWorld;

namespace Obj {
class Sky;
}

namespace Lights {

class SceneLight : public Obj::Object, public Obj::Light {
public:
    explicit SceneLight(int type) : Obj::Light(type) {}
    // A light dies out of its engine world, never leaving the world a dangling entry.
    ~SceneLight() override;
    // Into the world's global-light list, or (null) out of the engine world it is in.
    void SetWorld(Grp::World* world) override;
    // The engine world it lights, or null.
    RpWorld* GetEngineWorld() const;
};

class Ambient : public SceneLight {
public:
    Ambient();
};

class Directional : public SceneLight {
public:
    Directional();
};

// The sky's two lights, coloured and oriented from its description (the directional light shines along the
// sky's light direction), attached to the sky.
void CreateSkyLights(Obj::Sky& sky);
// Makes every sky that loads build its lights with CreateSkyLights.
void InstallSkyLights();

} // namespace Lights
