// A 3D model shown inside a widget: its own engine world, camera and two lights, the model optionally
// spinning, drawn in the middle of the interface pass into the part of the frame buffer under the widget.
#pragma once

#include "base/Maths.h"
#include "base/String.h"
#include "gui/Widget.h"

namespace Base {
class Info;
}
namespace Obj {
class Camera;
class Dff;
class Light;
} // namespace Obj
namespace Rw {
class World;
}

namespace Gui {

class ModelBase {
public:
    // The world with the camera and both lights in it.
    ModelBase();
    virtual ~ModelBase();
    ModelBase(const ModelBase&) = delete;
    ModelBase& operator=(const ModelBase&) = delete;

    // Replaces the shown model by the one the named description file gives (none for an empty name);
    // false, and nothing shown, when it cannot be loaded.
    bool SetModel(const Base::String& name);
    // "ModelCameraOffset", "ModelViewAngle", "ModelAmbLightColor", "ModelDirLightColor", "ModelDirLightDir",
    // "ModelRotVel", "ModelDff"; each keeps its value when missing or unparsable. Always true.
    bool Load(const Base::Info& node);
    // Spins the model by the last frame's time and draws it into rect (virtual coordinates) as mapped to
    // the screen, cut to the screen and scissored to the top of the clip stack. Nothing without a model or
    // when less than a pixel is left.
    void Draw(const Desktop* desktop, const Rect& rect);

    Obj::Camera* camera = nullptr;
    Rw::World* world = nullptr;
    Obj::Light* ambientLight = nullptr;
    Obj::Light* directionalLight = nullptr;
    Base::Vector3 cameraOffset{0.0f, 0.5f, -1.5f}; // from the bounding sphere's centre, in its radii
    float viewAngle = 0.7853982f;                  // horizontal, radians
    Base::Color ambientColor{0.4f, 0.4f, 0.4f, 1.0f};
    Base::Color dirLightColor{0.8f, 0.8f, 0.8f, 1.0f};
    Base::Vector3 dirLightDir{0.7071f, -0.7071f, 0.0f};
    Base::String modelName;
    Obj::Dff* model = nullptr;
    Base::Vector3 rotationVelocity{0.0f, 0.5f, 0.0f}; // radians per second about its direction
};

class Model : public Widget, public ModelBase {
public:
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
};

} // namespace Gui
