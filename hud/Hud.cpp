#include "hud/Hud.h"

#include "cameras/Cameras.h"
#include "aircraft/Airplane.h"
#include "objects/Terrain.h"
#include "pilots/Pilot.h"
#include "scene/AtomicData.h"
#include "scene/EngineHost.h"
#include "scene/World.h"
#include "weapons/HomingRocket.h"
#include "weapons/Ordnance.h"
#include "weapons/Stores.h"

#include "audio/BasicSound.h"
#include "audio/CreateSound.h"
#include "audio/Sound.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/TextTable.h"
#include "gui/draw/Font.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"

#include <d3d9.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace Hud {

namespace {

RwV3d Sub(const RwV3d& a, const RwV3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

} // namespace

bool LineBuffer::Line(float x0, float y0, float x1, float y1, uint8_t alpha) {
    if (vertices.size() + 2 > capacity)
        return false;
    RwRGBA colour = Hud::Colour;
    colour.alpha = alpha;
    Gui::Vertex3d a, b;
    a.x = x0;
    a.y = y0;
    b.x = x1;
    b.y = y1;
    a.colour = b.colour = colour;
    vertices.push_back(a);
    vertices.push_back(b);
    return true;
}

Mode ChooseMode(const Selection& selection) {
    if (selection.gun)
        return Mode::GunSight;
    if (!selection.ordnance)
        return Mode::None;
    if (selection.airToAir)
        return Mode::AirToAir;
    if (selection.kind == Weapons::Ordnance::BombType)
        return Mode::Bomb;
    return Mode::AirToGround;
}

Selection ReadGun(Obj::Airplane* airplane) {
    Selection s;
    if (!airplane || !airplane->hasGun || !airplane->gun.Get() || !airplane->gun->frame)
        return s;
    const RwMatrix* m = RwFrameGetWorldMatrix(airplane->gun->frame);
    // The position in double precision: drawn camera-relative, the float matrix is the camera's offset.
    double position[3];
    airplane->gun->GetWorldPositionDouble(position);
    s.gun = true;
    s.gunPosition = {float(position[0]), float(position[1]), float(position[2])};
    s.gunAxis = Base::Normalize3d(m->at);
    s.muzzleSpeed = airplane->gunSetup.muzzleSpeed;
    s.count = int32_t(2 * airplane->gunSetup.rounds);
    return s;
}

Selection ReadStores(Obj::Airplane* airplane) {
    Weapons::Stores* stores = Weapons::Stores::Of(airplane);
    if (!stores)
        return ReadGun(airplane);
    if (stores->IsGunSelected()) {
        Selection s = ReadGun(airplane);
        s.count = stores->GetSelectedCount();
        return s;
    }
    Selection s;
    Weapons::Ordnance* ordnance = stores->GetSelectedOrdnance();
    if (!ordnance)
        return s;
    s.ordnance = true;
    s.airToAir = ordnance->airToAir;
    s.kind = ordnance->type;
    s.name = ordnance->name;
    s.count = stores->GetSelectedCount();
    auto* missile = dynamic_cast<Weapons::HomingRocket*>(ordnance);
    if (missile && missile->seeker && missile->frame && airplane->frame) {
        // The seeker looks along its axis in the missile's own axes; the HUD wants it in the airplane's.
        const RwMatrix* m = RwFrameGetWorldMatrix(missile->frame);
        const RwMatrix* a = RwFrameGetWorldMatrix(airplane->frame);
        const RwV3d axis = missile->seeker->axis;
        const RwV3d world{m->right.x * axis.x + m->up.x * axis.y + m->at.x * axis.z,
                          m->right.y * axis.x + m->up.y * axis.y + m->at.y * axis.z,
                          m->right.z * axis.x + m->up.z * axis.y + m->at.z * axis.z};
        s.seeker = true;
        s.seekerDirection = Base::Normalize3d(RwV3d{Base::DotProduct(world, Base::Normalize3d(a->right)),
                                                    Base::DotProduct(world, Base::Normalize3d(a->up)),
                                                    Base::DotProduct(world, Base::Normalize3d(a->at))});
        s.locked = missile->seeker->locked;
        s.inRange = missile->seeker->inRange;
    }
    return s;
}

bool Hud::PilotEjected(Obj::Airplane* airplane) {
    return airplane && airplane->flightModel && !Obj::Pilot::Of(airplane) &&
           airplane->GetState().outOfControl;
}

// ---- construction

RpAtomic* Hud::FindGlass(RpClump* model, RwFrame* cockpitFrame, RwV3d corners[4]) {
    struct Search {
        RpAtomic* atomic = nullptr;
    } search;
    if (!model)
        return nullptr;
    RpClumpForAllAtomics(
        model,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            if (strcasecmp(Rw::GetAtomicName(atomic), "HUD") != 0)
                return atomic;
            static_cast<Search*>(data)->atomic = atomic;
            return nullptr;
        },
        &search);
    RpAtomic* atomic = search.atomic;
    RpGeometry* geometry = atomic ? RpAtomicGetGeometry(atomic) : nullptr;
    if (!geometry || RpGeometryGetNumVertices(geometry) < 4 || !RpGeometryGetMorphTarget(geometry, 0))
        return nullptr;
    const RwV3d* vertices = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(geometry, 0));
    if (!vertices)
        return nullptr;
    // Into the cockpit's frame: the atomic's world matrix, then the inverse of the cockpit's.
    RwMatrix toCockpit = *RwFrameGetWorldMatrix(RpAtomicGetFrame(atomic));
    if (cockpitFrame) {
        RwMatrix inverse;
        RwMatrixInvert(&inverse, RwFrameGetWorldMatrix(cockpitFrame));
        RwMatrixTransform(&toCockpit, &inverse, rwCOMBINEPOSTCONCAT);
    }
    RwVector3TransformPoints(corners, vertices, 4, &toCockpit);
    return atomic;
}

Hud::Hud(Obj::Airplane* owner, Obj::Frame* cockpitFrame, const RwV3d* corners)
    : airplane(owner), cockpit(cockpitFrame), common(this), modes(this), readSelection(&ReadStores) {
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    if (corners) {
        const RwV3d& a = corners[0];
        const RwV3d& c = corners[2];
        const float hx = std::fabs(c.x - a.x) * 0.5f, hy = std::fabs(c.y - a.y) * 0.5f;
        glass = hx > 0 && hy > 0;
        if (glass) {
            m.right = {hx, 0, 0};
            m.up = {0, hy, 0};
            m.pos = {(a.x + c.x) * 0.5f, (a.y + c.y) * 0.5f, (a.z + c.z) * 0.5f};
        }
    }
    RwMatrixUpdate(&m);
    Transform(&m, rwCOMBINEREPLACE);
    if (cockpit)
        AttachTo(cockpit, cockpit->frame, false);
    font = Base::FontCache::Get("Tahoma8.font");
}

Hud::~Hud() {
    delete warningSounds[0];
    delete warningSounds[1];
}

// ---- coordinates

RwV3d Hud::ToHudDirection(const RwV3d& w) const {
    RwV3d out;
    float* o = &out.x;
    for (int i = 0; i < 3; ++i) {
        const float length2 = Base::DotProduct(axes[i], axes[i]);
        o[i] = length2 > 0 ? Base::DotProduct(w, axes[i]) / length2 : 0.0f;
    }
    return out;
}

RwV3d Hud::ToHud(const RwV3d& world) const {
    // Relative to the HUD's double-precision origin first: far from the world origin a float world matrix
    // would cost the glass its millimetres.
    const RwV3d w{float(double(world.x) - origin[0]), float(double(world.y) - origin[1]),
                  float(double(world.z) - origin[2])};
    return ToHudDirection(w);
}

Base::Vector2 Hud::ProjectHud(const RwV3d& p) const {
    const RwV3d d = Sub(p, eyeHud);
    const float dz = std::fabs(d.z);
    if (dz == 0)
        return {0, 0};
    const float t = -eyeHud.z / dz;
    return {eyeHud.x + d.x * t, eyeHud.y + d.y * t};
}

float Hud::CharacterSize() const {
    const RwRaster* raster = Rw::ColourRaster;
    return 0.007f * (raster && raster->width <= 640 ? 1.3f : 1.0f);
}

void Hud::AddText(Base::Vector2 position, std::string text, int horizontal, int vertical, float size) {
    texts.push_back({position, std::move(text), horizontal, vertical, size});
}

bool Hud::GroundHit(const RwV3d& from, const RwV3d& to, RwV3d* point, RwV3d* normal) const {
    Grp::World* world = airplane ? airplane->Obj::Object::world : nullptr;
    if (!world || !world->terrain)
        return false;
    const RwLine segment{from, to};
    return world->terrain->IntersectSegment(&segment, point, normal);
}

// ---- per frame

bool Hud::Update(Cameras::Basic* viewer) {
    camera = viewer;
    for (LineBuffer* buffer : {&common.cross, &common.fpm, &common.altitude, &common.airspeed,
                               &common.heading, &common.ladder, &modes.lines, &warnings, &designation})
        buffer->Clear();
    texts.clear();
    warningPlaying = 0;
    auto* eyeCamera = dynamic_cast<Cameras::Cockpit*>(viewer);
    if (!glass || !airplane || !eyeCamera || eyeCamera->target.Get() != airplane || !frame)
        return false;

    // The snapshot.
    const Physics::AirplaneState s = airplane->flightModel ? airplane->GetState() : Physics::AirplaneState{};
    state.plane = *RwFrameGetWorldMatrix(airplane->frame);
    double position[3];
    // The cockpit draws camera-relative, which moves the airplane's float matrix by the camera's position;
    // its double-precision position is the world's.
    airplane->GetWorldPositionDouble(position);
    state.plane.pos = {float(position[0]), float(position[1]), float(position[2])};
    state.velocity = s.velocity;
    state.acceleration = s.acceleration;
    state.throttle = s.throttle;
    state.afterburner = s.afterburnerLevel;
    state.wheelBrake = s.wheelBrakeCommand;
    state.hasGear = airplane->gears.loaded;
    // How far the gear is down (the gear animation here runs towards retracted).
    state.gearProgress = airplane->gears.loaded ? s.gearExtension : 0.0f;
    Grp::World* world = airplane->Obj::Object::world;
    state.worldTime = world && world->time ? double(world->time->time) : Base::FrameClock::GameTime;
    state.gameTime = Base::FrameClock::GameTime;
    state.ejected = Ejected && Ejected(airplane);
    if (cockpit) {
        cockpit->GetWorldPositionDouble(position);
        state.cockpitPosition = {float(position[0]), float(position[1]), float(position[2])};
    } else {
        state.cockpitPosition = state.plane.pos;
    }
    viewer->GetWorldPositionDouble(position);
    state.eye = {float(position[0]), float(position[1]), float(position[2])};

    // The HUD frame: its axes from the world matrix, its origin in double precision.
    const RwMatrix* m = RwFrameGetWorldMatrix(frame);
    axes[0] = m->right;
    axes[1] = m->up;
    axes[2] = m->at;
    GetWorldPositionDouble(origin);
    eyeHud = ToHudDirection(RwV3d{float(position[0] - origin[0]), float(position[1] - origin[1]),
                                  float(position[2] - origin[2])});

    if (state.ejected) {
        if (std::fmod(state.worldTime, 0.5) < 0.3)
            AddText({0, 0}, Base::GetText("Hud.Eject"), 0, 0, 0.03f);
        return true;
    }
    const Selection selection = readSelection ? readSelection(airplane) : Selection{};
    common.Update();
    UpdateWarnings();
    modes.Update(selection);
    UpdateDesignation(selection);
    return true;
}

void Hud::StopWarnings() {
    for (Audio::Sound* sound : warningSounds)
        if (sound && sound->state != Audio::BasicSound::Finished && sound->state != Audio::BasicSound::Idle)
            sound->state = Audio::BasicSound::Idle;
}

void Hud::UpdateWarnings() {
    Obj::CockpitLink* link = airplane->cockpit.get();
    if (!link)
        return;
    const float heading = Base::HeadingDegrees2d({state.plane.at.x, state.plane.at.z});
    const double t = state.worldTime;
    bool missile = false;
    int last = 0;
    for (std::size_t i = 0, n = link->GetThreatCount(); i < n; ++i) {
        Obj::CockpitLink::Threat threat;
        if (!link->GetThreat(i, threat) || !threat.source || !threat.source->frame)
            continue;
        if (threat.level != 1 && threat.level != 2)
            continue;
        last = threat.level;
        missile = missile || threat.level == 2;
        const RwV3d p = RwFrameGetWorldMatrix(threat.source->frame)->pos;
        const float bearing = Base::HeadingDegrees2d({p.x - state.plane.pos.x, p.z - state.plane.pos.z});
        const float angle = (bearing - heading + 90.0f) * float(Base::Pi / 180.0);
        const Base::Vector2 u{std::cos(angle), std::sin(angle)};
        const bool visible = threat.level == 1 ? std::fmod(t, 1.3) < 1.0 : std::fmod(t, 0.3) < 0.2;
        warnings.Line(0.5f * u.x, 0.5f * u.y, 0.85f * u.x, 0.85f * u.y, visible ? 255 : 0);
        if (auto* missile = dynamic_cast<Weapons::HomingRocket*>(threat.source); visible && missile) {
            const int kind = int(missile->guidance);
            if (kind >= 0 && kind <= 2)
                AddText({0.85f * u.x + 0.05f * u.x, 0.85f * u.y + 0.05f * u.y}, std::string(1, "OIR"[kind]),
                        0, 0);
        }
    }
    // The sound of the last listed threat.
    if (last) {
        Audio::Sound*& sound = warningSounds[last - 1];
        Grp::World* world = airplane->Obj::Object::world;
        if (!sound && world && world->soundGroup)
            sound = Audio::CreateSound(last == 1 ? "CockpitWarning1.wav" : "CockpitWarning2.wav",
                                       world->soundGroup);
        if (sound && sound->state != Audio::BasicSound::Finished) {
            sound->loop = 1;
            if (sound->state != Audio::BasicSound::Playing)
                sound->state = Audio::BasicSound::PlayRequested;
        }
        warningPlaying = last;
    }
    if (missile && std::fmod(t, 0.5) < 0.3)
        AddText({0, -0.9f}, Base::GetText("Hud.IncomingMissile"), 0, 1);
}

void Hud::UpdateDesignation(const Selection& selection) {
    Obj::CockpitLink* link = airplane->cockpit.get();
    Obj::Target* target = link ? link->GetRadarTarget() : nullptr;
    auto* targetFrame = dynamic_cast<Obj::Frame*>(target);
    if (!target || !targetFrame || !targetFrame->frame)
        return;
    const RwSphere* sphere = target->GetBoundingSphere();
    const RwV3d centre = sphere ? sphere->center : RwFrameGetWorldMatrix(targetFrame->frame)->pos;
    const RwV3d los = Sub(centre, state.plane.pos);
    const float range = float(Base::VectorLength(los));
    RwV3d targetVelocity{0, 0, 0};
    if (auto* other = dynamic_cast<Obj::Airplane*>(target); other && other->flightModel)
        targetVelocity = other->GetState().velocity;
    float rangeRate = 0;
    if (range > 0)
        rangeRate = Base::DotProduct(Sub(targetVelocity, state.velocity), los) / range;
    float shownRange = range, shownRate = rangeRate;
    if (link->GetTargetRange(&shownRange, &shownRate) == false) {
        shownRange = range;
        shownRate = rangeRate;
    }

    char text[96];
    AddText({0.8f, -0.9f}, target->name, -1, 1);
    std::snprintf(text, sizeof text, "rV: %0.0f %s", -10.0 * std::floor(0.36 * shownRate + 0.5),
                  Base::GetText("Units.Kmh").c_str());
    AddText({-0.35f, -0.9f}, text, -1, 1);
    std::snprintf(text, sizeof text, "D: %0.1f %s", shownRange / 1000.0, Base::GetText("Units.Km").c_str());
    AddText({-0.35f, -1.0f}, text, -1, 1);

    Base::Vector2 p = Project(centre);
    const RwV3d u = Base::Normalize3d(los);
    if (Base::DotProduct(u, state.plane.at) < 0.8f || std::fabs(p.x) > 1 || std::fabs(p.y) > 1) {
        // An arrow at the edge pointing at the target; one behind always gets it.
        const float scale = 0.9f / std::max({std::fabs(p.x), std::fabs(p.y), 1e-6f});
        p = {p.x * scale, p.y * scale};
        const Base::Vector2 n = Base::Normalize2d(p);
        const Base::Vector2 side{n.y, -n.x}; // n x Z
        const Base::Vector2 back{p.x - 0.08f * n.x, p.y - 0.08f * n.y};
        const Base::Vector2 a{back.x + 0.08f * side.x, back.y + 0.08f * side.y};
        const Base::Vector2 b{back.x - 0.08f * side.x, back.y - 0.08f * side.y};
        designation.Line(p, a);
        designation.Line(a, b);
        designation.Line(b, p);
        return;
    }
    // The box: a square through the arc's corners.
    Gui::Vertex3d box[5];
    Gui::MakeArcPoints({p.x, p.y, 0}, {0.1f, 0.1f}, -0.25f * float(Base::Pi), 1.75f * float(Base::Pi), 5, 1,
                       box);
    for (int i = 0; i < 4; ++i)
        designation.Line(box[i].x, box[i].y, box[i + 1].x, box[i + 1].y);
    if (selection.seeker && selection.kind == Weapons::Ordnance::HomingRocketType) {
        if (selection.locked) {
            Gui::Vertex3d diamond[5];
            Gui::MakeArcPoints({p.x, p.y, 0}, {0.1f, 0.1f}, 0, 2 * float(Base::Pi), 5, 1, diamond);
            for (int i = 0; i < 4; ++i)
                designation.Line(diamond[i].x, diamond[i].y, diamond[i + 1].x, diamond[i + 1].y);
        }
        if (selection.inRange && std::fmod(state.gameTime, 0.5) < 0.3) {
            AddText({p.x, p.y - 0.1f}, Base::GetText("Hud.Shoot"), 0, -1);
            AddText({0, -1}, Base::GetText("Hud.Shoot"), 0, 1);
        }
    }
}

// ---- drawing

void Hud::Render(Cameras::Basic* viewer) {
    if (Update(viewer))
        Draw();
}

void Hud::Draw() {
    const RwMatrix* matrix = RwFrameGetWorldMatrix(frame);
    const float size = CharacterSize();
    const auto queueTexts = [&] {
        for (const Text& t : texts) {
            const float s = t.size > 0 ? t.size : size;
            Gui::QueueText3d({t.position.x, t.position.y, 0}, t.text, Colour, {s, s}, 0, t.text.size(),
                             {0, 0}, t.horizontal, t.vertical);
        }
        Gui::FlushTextQueue3d(font, matrix, rwFILTERLINEAR);
    };
    Rw::SavedRenderStates saved;
    saved.SetRenderState(D3DRS_ZENABLE, FALSE);
    saved.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    // The texts blend; the engine recomputes blending when a texture is unbound, so the HUD keeps the
    // state it found itself.
    saved.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    if (state.ejected) {
        queueTexts();
        saved.Restore();
        return;
    }
    // The glass in the stencil buffer: everything after is clipped to it.
    saved.SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    saved.SetRenderState(D3DRS_STENCILENABLE, TRUE);
    saved.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    saved.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    saved.SetRenderState(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    saved.SetRenderState(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    saved.SetRenderState(D3DRS_STENCILREF, 1);
    saved.SetRenderState(D3DRS_STENCILMASK, 0xFFFFFFFF);
    saved.SetRenderState(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);
    Gui::Vertex3d quad[6];
    const float corners[6][2] = {{-0.95f, -1},   {0.95f, -1},     {0.95f, 0.95f},
                                 {0.95f, 0.95f}, {-0.95f, 0.95f}, {-0.95f, -1}};
    for (int i = 0; i < 6; ++i) {
        quad[i].x = corners[i][0];
        quad[i].y = corners[i][1];
        quad[i].colour = Colour;
    }
    Gui::DrawTriangles(quad, 6, 1, nullptr, matrix, rwFILTERLINEAR);
    saved.SetRenderState(D3DRS_COLORWRITEENABLE, 15);
    saved.SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    saved.SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);

    for (const LineBuffer* buffer : {&common.cross, &common.fpm, &common.altitude, &common.airspeed,
                                     &common.heading, &common.ladder, &warnings, &modes.lines, &designation})
        if (!buffer->vertices.empty())
            Gui::DrawLines(buffer->vertices.data(), uint32_t(buffer->vertices.size()), 1, matrix);
    queueTexts();
    saved.Restore();
}

// ---- start-up

void RegisterHud() {
    ::Cockpit::Cockpit::CreateHud = [](::Cockpit::Cockpit* owner) -> ::Cockpit::HudLink* {
        RwV3d corners[4];
        RpAtomic* glassAtomic = owner ? Hud::FindGlass(owner->clump, owner->frame, corners) : nullptr;
        // The glass only places the display: the model draws it no more.
        if (glassAtomic)
            owner->RemoveAtomic(glassAtomic);
        return new Hud(owner ? owner->airplane : nullptr, owner, glassAtomic ? corners : nullptr);
    };
}

} // namespace Hud
