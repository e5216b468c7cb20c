#include "cameras/SceneLights.h"

#include "objects/Sky.h"

#include "rwsdk/src/frame.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/baworobj.h"

namespace Lights {

void SceneLight::SetWorld(RpWorld* world) {
    if (!light)
        return;
    if (RpWorld* current = RpLightGetWorld(light))
        RpWorldRemoveLight(current, light);
    if (world)
        RpWorldAddLight(world, light);
}

SceneLight::~SceneLight() {
    SetWorld(nullptr);
}

RpWorld* SceneLight::GetWorld() const {
    return light ? RpLightGetWorld(light) : nullptr;
}

Ambient::Ambient() : SceneLight(rpLIGHTAMBIENT) {}

Directional::Directional() : SceneLight(rpLIGHTDIRECTIONAL) {}

SkyLights CreateSkyLights(const Obj::Sky& sky) {
    SkyLights lights{std::make_unique<Ambient>(), std::make_unique<Directional>()};
    auto colour = [](const Base::Color& c) { return RwRGBAReal{c.r, c.g, c.b, c.a}; };
    const RwRGBAReal ambient = colour(sky.AmbientColor()), diffuse = colour(sky.DiffuseColor());
    if (lights.ambient->light)
        RpLightSetColor(lights.ambient->light, &ambient);
    if (lights.directional->light)
        RpLightSetColor(lights.directional->light, &diffuse);
    if (RwFrame* frame = lights.directional->frame) {
        // Only the axes: the position stays.
        const Obj::Sky::LightFrame& sun = sky.SunLight();
        RwMatrix* m = RwFrameGetMatrix(frame);
        m->right = {sun.right.x, sun.right.y, sun.right.z};
        m->up = {sun.up.x, sun.up.y, sun.up.z};
        m->at = {sun.at.x, sun.at.y, sun.at.z};
        RwMatrixUpdate(m);
        RwFrameUpdateObjects(frame);
    }
    return lights;
}

} // namespace Lights
