// Cockpit::Blackout: the full-screen overlay that darkens the view through the cockpit when the pilot's
// g-load blackout or redout passes half, black or red, flickering near the limit.
#pragma once

#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include "rwsdk/src/plcore/color.h"

namespace Obj {
class Airplane;
}

namespace Cockpit {

class Blackout : public Obj::Object, public Obj::Attachable, public Obj::Renderable {
public:
    static constexpr uint8_t RenderOrder = 255;

    Blackout();
    ~Blackout() override;

    // The overlay's colour for the levels, before the flicker; alpha 0 or 1 draws nothing.
    static RwRGBA Colour(float blackoutLevel, float redoutLevel);
    // Near the limit (alpha above 210) a draw that is not a multiple of 9 makes it opaque.
    static RwRGBA Flicker(RwRGBA colour, uint32_t draw);

    // Joins the parent's attachment tree: it dies with it.
    void AttachTo(Obj::Attachable* parent);

    void SetWorld(Grp::World* world) override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override { return nullptr; }

    Obj::Airplane* airplane = nullptr;
};

} // namespace Cockpit
