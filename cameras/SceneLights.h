// The world's two scene lights: uniform ambient light and sunlight from one direction. Both are engine
// lights on attachable frames; the sky sets them from its description.
//
// The object model (Obj::Object, Grp::World) is not built yet: SetWorld takes the engine world the lights
// join, and the sky's attachment of them as children joins once the sky has its roles.
#pragma once

#include "scene/Attachable.h"

#include <memory>

struct RpWorld;

namespace Obj {
class Sky;
}

namespace Lights {

class SceneLight : public Obj::Light {
public:
    using Obj::Light::Light;
    // A light dies out of its world, never leaving the world a dangling entry.
    ~SceneLight() override;
    // Into that world's global-light list, or (null) out of the world it is in.
    void SetWorld(RpWorld* world);
    RpWorld* GetWorld() const;
};

class Ambient : public SceneLight {
public:
    Ambient();
};

class Directional : public SceneLight {
public:
    Directional();
};

// The sky's two lights, coloured and oriented from its description: the directional light shines along
// the sky's light direction.
struct SkyLights {
    std::unique_ptr<Ambient> ambient;
    std::unique_ptr<Directional> directional;
    void SetWorld(RpWorld* world) {
        ambient->SetWorld(world);
        directional->SetWorld(world);
    }
};
SkyLights CreateSkyLights(const Obj::Sky& sky);

} // namespace Lights
