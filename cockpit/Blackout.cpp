#include "cockpit/Blackout.h"

#include "cockpit/Cockpit.h"

#include "gui/draw/ScreenDraw.h"
#include "pilots/Pilot.h"
#include "scene/EngineHost.h"
#include "scene/RoleGroups.h"
#include "scene/World.h"

#include "base/Random.h"

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/renderstate.h"

#include <algorithm>
#include <cmath>

namespace Cockpit {

Blackout::Blackout() {
    Renderable::renderOrders.push_back(RenderOrder);
}

Blackout::~Blackout() {
    if (Obj::Object::world)
        Obj::Object::world->RemoveObject(this);
}

void Blackout::AttachTo(Obj::Attachable* parent) {
    LinkTo(parent);
}

RwRGBA Blackout::Colour(float blackoutLevel, float redoutLevel) {
    const float b = std::max(blackoutLevel - 0.5f, 0.0f) * 2;
    const float r = std::max(redoutLevel - 0.5f, 0.0f) * 2;
    const float s = b + r;
    RwRGBA c{0, 0, 0, 0};
    if (s > 0)
        c.red = uint8_t((1 - b / s) * 192);
    c.alpha = uint8_t(std::floor(std::min(s, 1.0f) * 255));
    return c;
}

RwRGBA Blackout::Flicker(RwRGBA colour, uint32_t draw) {
    if (colour.alpha > 210 && draw % 9 != 0)
        colour.alpha = 255;
    return colour;
}

void Blackout::SetWorld(Grp::World* joined) {
    Obj::Object::SetWorld(joined);
    Obj::SetRenderableWorld(*this, joined);
}

void Blackout::Render(unsigned, Cameras::Basic* camera) {
    if (!airplane || !Cockpit::ShownAirplane || !Cockpit::ShownAirplane(camera))
        return;
    const Obj::Pilot* pilot = Obj::Pilot::Of(airplane);
    if (!pilot)
        return;
    const float blackoutLevel = pilot->blackout, redoutLevel = pilot->redout;
    RwRGBA colour = Colour(blackoutLevel, redoutLevel);
    if (colour.alpha <= 1)
        return;
    if (colour.alpha > 210)
        colour = Flicker(colour, Base::Random::NextUInt32());
    if (!Rw::ColourRaster)
        return;
    Gui::ScreenPoint quad[2];
    quad[0].colour = quad[1].colour = colour;
    quad[1].x = float(RwRasterGetWidth(Rw::ColourRaster));
    quad[1].y = float(RwRasterGetHeight(Rw::ColourRaster));
    Gui::DrawQuads(quad, 2, nullptr, rwFILTERLINEAR);
}

} // namespace Cockpit
