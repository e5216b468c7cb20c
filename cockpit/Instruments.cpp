#include "cockpit/Instruments.h"

#include "aircraft/Airplane.h"
#include "scene/MatrixHelpers.h"
#include "weapons/Gun.h"
#include "weapons/Launcher.h"
#include "weapons/Stores.h"

#include "base/FontCache.h"
#include "base/TextTable.h"

#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/renderstate.h"

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace Cockpit {

namespace {

constexpr float TwoPi = 6.2831853f;
constexpr RwRGBA Green{0, 255, 0, 255};
constexpr RwRGBA HalfGreen{0, 255, 0, 128};

// The airplane's state, or a resting one.
Physics::AirplaneState StateOf(const Cockpit* cockpit) {
    if (cockpit->airplane)
        return cockpit->airplane->GetState();
    Physics::AirplaneState s;
    return Physics::AirplaneState::Init(s);
}

void QueueText(Base::Vector2 at, const char* text, float size, int alignment) {
    Gui::QueueText3d({at.x, at.y, 0}, text, Green, {size, size}, 0, size_t(-1), {0, 0}, alignment, 0);
}

} // namespace

// ---- airspeed and height

AirspeedInd::AirspeedInd(Cockpit* owner) : cockpit(owner) {
    present = cockpit->BuildFace("Airspeed", &faceCentre, &faceNormal);
    if (present)
        needle = cockpit->BuildNeedle("Airspeed.Needle1", faceCentre,
                                      Base::CrossProduct(faceNormal, RwV3d{1, 0, 0}), faceNormal);
}

float AirspeedInd::NeedleAngle(float speed) {
    return std::clamp(speed * KnotsPerMetrePerSecond * 0.001f, 0.0f, 1.0f) * TwoPi;
}

void AirspeedInd::Update() {
    if (!present)
        return;
    const RwV3d v = StateOf(cockpit).velocity;
    cockpit->SetNeedleAngle(needle, NeedleAngle(float(Base::VectorLength(v))), faceCentre, faceNormal);
}

Altimeter::Altimeter(Cockpit* owner) : cockpit(owner) {
    present = cockpit->BuildFace("Altimeter", &faceCentre, &faceNormal);
    if (present) {
        const RwV3d d = Base::CrossProduct(faceNormal, RwV3d{1, 0, 0});
        needle1 = cockpit->BuildNeedle("Altimeter.Needle1", faceCentre, d, faceNormal);
        needle2 = cockpit->BuildNeedle("Altimeter.Needle2", faceCentre, d, faceNormal);
    }
}

void Altimeter::NeedleAngles(float height, float& a1, float& a2) {
    const float feet = height * FeetPerMetre;
    a1 = std::fmod(feet, 10000.0f) * 0.0001f * TwoPi;
    a2 = std::fmod(feet, 100000.0f) * 0.00001f * TwoPi;
}

void Altimeter::Update() {
    if (!present)
        return;
    float a1, a2;
    NeedleAngles(cockpit->airplaneMatrix.pos.y, a1, a2);
    cockpit->SetNeedleAngle(needle1, a1, faceCentre, faceNormal);
    cockpit->SetNeedleAngle(needle2, a2, faceCentre, faceNormal);
}

// ---- attitude

ADInd::ADInd(Cockpit* owner) : cockpit(owner) {
    RwV3d quad[4];
    if (!cockpit->FaceQuad("ADI", quad))
        return;
    const int strip[4] = {0, 1, 3, 2};
    for (int i = 0; i < 4; ++i) {
        const RwV3d& p = quad[strip[i]];
        ball[i].x = p.x, ball[i].y = p.y, ball[i].z = p.z;
    }
    const Base::Vector2 ul = cockpit->ReadPoint("Cockpit.ADI.BallTexCoordsUL");
    const Base::Vector2 br = cockpit->ReadPoint("Cockpit.ADI.BallTexCoordsBR");
    ballHalfSize = {(br.x - ul.x) / 2, (br.y - ul.y) / 2};
    ballCentre = {ul.x + ballHalfSize.x, ul.y + ballHalfSize.y};
    present = cockpit->BuildFace("ADI", &faceCentre, &faceNormal);
}

void ADInd::BallCoordinates(const RwV3d& up, const RwV3d& right, const RwV3d& forward,
                            Base::Vector2 out[4]) const {
    const RwV3d p = Base::Normalize3d(Base::CrossProduct(forward, RwV3d{0, 1, 0}));
    const RwV3d q = Base::Normalize3d(Base::CrossProduct(p, forward));
    Base::Vector2 r1 = Base::Normalize2d(Base::DotProduct(up, q), Base::DotProduct(up, p));
    Base::Vector2 r2 = Base::Normalize2d(Base::DotProduct(right, q), Base::DotProduct(right, p));
    r1 = {r1.x * ballHalfSize.x, r1.y * ballHalfSize.y};
    r2 = {r2.x * ballHalfSize.x, r2.y * ballHalfSize.y};
    const float pitch = forward.y * ballHalfSize.y;
    const float signs[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    for (int i = 0; i < 4; ++i)
        out[i] = {ballCentre.x + signs[i][0] * r1.x + signs[i][1] * r2.x,
                  ballCentre.y + signs[i][0] * r1.y + signs[i][1] * r2.y - pitch};
}

void ADInd::Update() {
    if (!present)
        return;
    const Physics::AirplaneState s = StateOf(cockpit);
    Base::Vector2 uv[4];
    BallCoordinates(s.up, s.right, s.at, uv);
    for (int i = 0; i < 4; ++i)
        ball[i].u = uv[i].x, ball[i].v = uv[i].y;
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, ball, sizeof(MeshVertex));
}

// ---- stick and throttle

MovingPart::MovingPart(Cockpit* owner, const char* name) : cockpit(owner) {
    RwMatrixSetIdentity(&restMatrix);
    if (RpAtomic* atomic = cockpit->FindAtomic(name))
        if ((frame = RpAtomicGetFrame(atomic))) {
            restMatrix = frame->modelling;
            present = true;
        }
}

void MovingPart::Turn(float aboutRight, float aboutAt) {
    if (!present)
        return;
    RwMatrix m = restMatrix;
    const RwV3d right = Base::Normalize3d(frame->modelling.right);
    Base::RotateMatrixAboutPoint(&m, right, aboutRight, rwCOMBINEPOSTCONCAT, frame->modelling.pos);
    if (aboutAt != 0) {
        const RwV3d at = Base::Normalize3d(frame->modelling.at);
        Base::RotateMatrixAboutPoint(&m, at, aboutAt, rwCOMBINEPOSTCONCAT, frame->modelling.pos);
    }
    RwMatrixTransform(&frame->modelling, &m, rwCOMBINEREPLACE);
    RwFrameUpdateObjects(frame);
}

void Joystick::Update(float pitch, float roll) {
    Turn(-25.0f * pitch, 25.0f * roll);
}

void Joystick::Update() {
    const Physics::AirplaneState s = StateOf(cockpit);
    Update(s.pitchInput, s.rollInput);
}

void Throttle::Update(float value) {
    Turn(30.0f * value, 0);
}

void Throttle::Update() {
    Update(StateOf(cockpit).throttle);
}

// ---- weapons display

MFDWeapons::MFDWeapons(Cockpit* owner) : cockpit(owner) {
    RwMatrixSetIdentity(&matrix);
    RwV3d quad[4];
    if (cockpit->FaceQuad("Monitor2", quad)) {
        matrix = Cockpit::DisplayMatrix(quad);
        present = cockpit->BuildFace("Monitor2", nullptr, nullptr);
    }
    font = Base::FontCache::Get("Tahoma8.font");
}

void MFDWeapons::Render() {
    if (!present)
        return;
    RwMatrix m;
    RwMatrixMultiply(&m, &matrix, RwFrameGetWorldMatrix(cockpit->frame));
    Cockpit::DepthWrite depthOff(false);
    const float now = cockpit->GameTime();
    if (cockpit->Ejected()) {
        if (std::fmod(now, 0.5f) < 0.3f)
            QueueText({0, 0.1f}, Base::GetText("Hud.Eject").c_str(), 0.05f, 0);
        Gui::FlushTextQueue3d(font, &m, rwFILTERLINEAR);
        return;
    }
    Gui::Vertex3d lines[4];
    const float ys[2] = {0.75f, -0.75f};
    for (int i = 0; i < 2; ++i) {
        lines[2 * i].x = 1, lines[2 * i].y = ys[i];
        lines[2 * i + 1].x = -1, lines[2 * i + 1].y = ys[i];
        lines[2 * i].colour = lines[2 * i + 1].colour = HalfGreen;
    }
    Gui::DrawLines(lines, 4, 1, &m);

    Obj::Airplane* airplane = cockpit->airplane;
    char text[128];
    if (airplane && airplane->hasGun) {
        const auto* gun = dynamic_cast<const Weapons::Gun*>(airplane->gun.Get());
        const unsigned rounds = gun ? gun->params.rounds : airplane->gunSetup.rounds;
        // The strings file holds the format: its one number is the rounds.
        std::snprintf(text, sizeof text, Base::GetFormat("Hud.Gun", "i").c_str(), int(rounds * 2));
        QueueText({0.9f, 0.95f}, text, 0.015f, -1);
    }
    if (now - fuelTime > 1.0f) {
        fuelFraction = StateOf(cockpit).fuel;
        fuelTime = now;
    }
    std::snprintf(text, sizeof text, "%04d %s", int(fuelFraction * 3850.0f),
                  Base::GetText("Units.Kg").c_str());
    QueueText({-0.9f, 0.95f}, text, 0.015f, 1);

    // The stores, recounted: a rocket pod counts its rockets left, anything else one; a name once seen
    // stays, so a used-up store shows 0.
    for (auto& entry : stores)
        entry.second = 0;
    const Weapons::Stores* weaponStores = Weapons::Stores::Of(airplane);
    if (weaponStores)
        for (const auto& rack : weaponStores->racks)
            if (const Weapons::Ordnance* ordnance = rack->ordnance.Get()) {
                const auto* pod = dynamic_cast<const Weapons::Launcher*>(ordnance);
                stores[ordnance->name] += pod ? int(pod->rocketsLeft) : 1;
            }
    flares = weaponStores ? int(weaponStores->decoys[Weapons::Stores::FlareKind]) : 0;
    chaff = weaponStores ? int(weaponStores->decoys[Weapons::Stores::ChaffKind]) : 0;
    float y = 0.6f;
    for (const auto& [name, count] : stores) {
        std::snprintf(text, sizeof text, "%s:", name.c_str());
        QueueText({-0.9f, y}, text, 0.015f, 1);
        std::snprintf(text, sizeof text, "%d", count);
        QueueText({0.9f, y}, text, 0.015f, -1);
        y -= 0.2f;
    }
    const Physics::AirplaneState s = StateOf(cockpit);
    std::snprintf(text, sizeof text, "F: %d", flares);
    QueueText({0.9f, -0.95f}, text, 0.015f, -1);
    std::snprintf(text, sizeof text, "C: %d", chaff);
    QueueText({-0.9f, -0.95f}, text, 0.015f, 1);
    if (s.jammerOn)
        QueueText({0, -0.95f}, "ECM", 0.015f, 0);
    Gui::FlushTextQueue3d(font, &m, rwFILTERLINEAR);
}

} // namespace Cockpit
