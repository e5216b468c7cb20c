#include "cameras/SceneLights.h"

#include "objects/Sky.h"
#include "scene/World.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/baworobj.h"

#include <memory>

namespace Lights {

namespace {

void LeaveEngineWorld(RpLight* light) {
    if (!light)
        return;
    if (RpWorld* current = RpLightGetWorld(light))
        RpWorldRemoveLight(current, light);
}

} // namespace

SceneLight::~SceneLight() {
    LeaveEngineWorld(light);
}

void SceneLight::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    LeaveEngineWorld(light);
    if (joined && joined->world && light)
        RpWorldAddLight(joined->world, light);
}

RpWorld* SceneLight::GetEngineWorld() const {
    return light ? RpLightGetWorld(light) : nullptr;
}

Ambient::Ambient() : SceneLight(rpLIGHTAMBIENT) {}

Directional::Directional() : SceneLight(rpLIGHTDIRECTIONAL) {}

void CreateSkyLights(Obj::Sky& sky) {
    auto colour = [](const Base::Color& c) { return RwRGBAReal{c.r, c.g, c.b, c.a}; };
    auto ambient = std::make_unique<Ambient>();
    auto directional = std::make_unique<Directional>();
    const RwRGBAReal ambientColour = colour(sky.AmbientColor()), diffuse = colour(sky.DiffuseColor());
    if (ambient->light)
        RpLightSetColor(ambient->light, &ambientColour);
    if (directional->light)
        RpLightSetColor(directional->light, &diffuse);
    if (RwFrame* frame = directional->frame) {
        // Only the axes: the position stays.
        const Obj::Sky::LightFrame& sun = sky.SunLight();
        RwMatrix* m = RwFrameGetMatrix(frame);
        m->right = {sun.right.x, sun.right.y, sun.right.z};
        m->up = {sun.up.x, sun.up.y, sun.up.z};
        m->at = {sun.at.x, sun.at.y, sun.at.z};
        RwMatrixUpdate(m);
        RwFrameUpdateObjects(frame);
    }
    // The sky has no engine frame of its own: the lights hang in its tree only, their frames where they are.
    ambient.release()->AttachTo(&sky, nullptr, false);
    directional.release()->AttachTo(&sky, nullptr, false);
}

void InstallSkyLights() {
    Obj::Sky::CreateLights = &CreateSkyLights;
}

} // namespace Lights
