// The head-up display on the cockpit's glass: green vector symbology (airspeed and altitude tapes, heading
// tape, flight path marker, pitch ladder, ground warning cross, threat lines, target designation, the aiming
// symbols of the selected weapon) and short texts, all in the HUD's own flat frame where (+/-1, +/-1) are the
// glass corners, +x towards the pilot's left and z away from the eye. Each frame the parts fill their line
// buffers and the text list anew (Update), then everything is drawn clipped to the glass through the stencil
// buffer (Render). The cockpit creates it on its frame and renders it for its own cockpit camera only.
#pragma once

#include "cockpit/Cockpit.h"
#include "scene/Attachable.h"
#include "scene/ObjectModel.h"

#include "base/Maths.h"
#include "base/SmartPtr.h"
#include "gui/draw/Draw3d.h"
#include "rwsdk/src/plcore/matrix.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RpAtomic;
struct RpClump;

namespace Audio {
class Sound;
}
namespace Cameras {
class Basic;
}
namespace Gui {
class Font;
}
namespace Obj {
class Airplane;
}
namespace Weapons {
class Ordnance;
}

namespace Hud {

class Hud;

// A part's line list, refilled every frame; lines beyond its capacity are dropped.
class LineBuffer {
public:
    explicit LineBuffer(std::size_t capacity) : capacity(capacity) { vertices.reserve(capacity); }
    void Clear() { vertices.clear(); }
    // False (nothing added) when the buffer is full.
    bool Line(float x0, float y0, float x1, float y1, uint8_t alpha = 255);
    bool Line(Base::Vector2 a, Base::Vector2 b, uint8_t alpha = 255) {
        return Line(a.x, a.y, b.x, b.y, alpha);
    }
    std::size_t LineCount() const { return vertices.size() / 2; }

    std::size_t capacity;
    std::vector<Gui::Vertex3d> vertices;
};

// A text of this frame in HUD coordinates; anchors as the 3D text queue takes them.
struct Text {
    Base::Vector2 position;
    std::string text;
    int horizontal = 0, vertical = 0;
    float size = 0; // character size; 0 = the HUD's own
};

// The selected weapon as the HUD shows it.
struct Selection {
    bool gun = false;
    // The gun: muzzle position, unit axis and speed.
    RwV3d gunPosition{0, 0, 0}, gunAxis{0, 0, 1};
    float muzzleSpeed = 0;
    // Ordnance on the selected rack.
    bool ordnance = false;
    bool airToAir = false;
    int32_t kind = -1; // 0 homing missile, 1 bomb, 3 rockets
    std::string name;
    int32_t count = -1; // rounds left (twice the gun's rounds for the gun)
    // A homing missile's seeker: direction in the airplane's axes (right, up, at), lock and range flags.
    bool seeker = false;
    RwV3d seekerDirection{0, 0, 1};
    bool locked = false, inRange = false;
};

enum class Mode { None, GunSight, AirToAir, Bomb, AirToGround };
Mode ChooseMode(const Selection& selection);

// The bomb's fall from P at velocity v over ground at groundHeight, with a drag of 3 % per second on the
// horizontal travel: the fall time and the impact point.
struct BombImpact {
    float time = 0;
    RwV3d point{0, 0, 0};
};
BombImpact ComputeBombImpact(const RwV3d& position, const RwV3d& velocity, float groundHeight);

// The flight symbology that is always there.
class Common {
public:
    explicit Common(Hud* hud) : hud(hud) {}

    void Update();

    Hud* hud;
    LineBuffer cross{4};
    LineBuffer fpm{100}, altitude{100}, airspeed{100}, heading{100}, ladder{500};
    bool aboveSeaLevel = false; // the altitude tape's mode: true above sea level, false above ground

private:
    void UpdateFlightPathMarker();
    void UpdateAltitude();
    void UpdateAirspeed();
    void UpdateHeading();
    void UpdatePitchLadder();
};

// The aiming symbols of the selected weapon with its rounds left.
class WeaponModes {
public:
    explicit WeaponModes(Hud* hud);

    void Update(const Selection& selection);

    Hud* hud;
    Mode mode = Mode::None;
    LineBuffer lines{200};
    // The fixed shapes: the lead sight's ticks, the fixed sight's circle, the rocket pipper's ticks.
    std::vector<Gui::Vertex3d> leadSight, fixedSight, rocketPipper;

private:
    void GunSight(const Selection& selection);
    void AirToAir(const Selection& selection);
    void AirToGround(const Selection& selection);
    void Bomb(const Selection& selection);
    void SeekerCircle(const Selection& selection);
    void RoundsLeft(const Selection& selection);
    // The shape's lines moved to p in HUD coordinates, with a dot at its centre.
    void Shape(const std::vector<Gui::Vertex3d>& shape, bool strip, Base::Vector2 p);
};

class Hud : public Obj::Object, public Obj::Frame, public Cockpit::HudLink {
public:
    static constexpr RwRGBA Colour{0, 255, 0, 255};

    // The glass corners in the cockpit's frame (the first four vertices of the model's "HUD" atomic; the
    // first and third are opposite corners). Without them the HUD is inert.
    Hud(Obj::Airplane* airplane, Obj::Frame* cockpit, const RwV3d* glass);
    ~Hud() override;

    // The "HUD" atomic of the cockpit model and its first four vertices in the cockpit's frame; null
    // (corners untouched) when the model has none or it has fewer than four vertices.
    static RpAtomic* FindGlass(RpClump* model, RwFrame* cockpitFrame, RwV3d corners[4]);

    // Builds this frame's symbology for the camera; false when nothing is to be drawn (another camera, an
    // inert HUD).
    bool Update(Cameras::Basic* camera);
    // Update, then draws it on the glass inside the camera's update.
    void Render(Cameras::Basic* camera) override;
    // Stops the warning sounds that play; the threats set them playing again each frame they last.
    void StopWarnings() override;

    // ---- for the parts

    // A world point in HUD coordinates.
    RwV3d ToHud(const RwV3d& world) const;
    RwV3d ToHudDirection(const RwV3d& world) const;
    // The HUD plane's point on the line from the eye through p (HUD coordinates); the direction's z is taken
    // by its absolute value.
    Base::Vector2 ProjectHud(const RwV3d& p) const;
    Base::Vector2 Project(const RwV3d& world) const { return ProjectHud(ToHud(world)); }
    void AddText(Base::Vector2 position, std::string text, int horizontal, int vertical, float size = 0);
    // The terrain's hit on the segment, false without terrain or hit.
    bool GroundHit(const RwV3d& from, const RwV3d& to, RwV3d* point, RwV3d* normal) const;
    float CharacterSize() const;

    Obj::Airplane* airplane;
    Obj::Frame* cockpit;
    bool glass = false;
    Cameras::Basic* camera = nullptr;
    Common common;
    WeaponModes modes;
    LineBuffer warnings{40};
    LineBuffer designation{100};
    std::vector<Text> texts;
    Base::Vector2 flightPathMarker{0, 0};
    Audio::Sound* warningSounds[2] = {nullptr, nullptr};
    int warningPlaying = 0; // the warning set playing this frame: 1, 2, or 0 for none
    Gui::Font* font = nullptr;
    // The selected weapon, read from the airplane's weapon stores each frame.
    std::function<Selection(Obj::Airplane*)> readSelection;
    // Whether the airplane's pilot has ejected: no pilot sits in it and it flies on out of control.
    static bool PilotEjected(Obj::Airplane* airplane);
    static inline bool (*Ejected)(Obj::Airplane* airplane) = &PilotEjected;
    // This frame's snapshot, for the parts.
    struct State {
        RwMatrix plane; // right, up, at, position
        RwV3d velocity{0, 0, 0}, acceleration{0, 0, 0};
        RwV3d eye{0, 0, 0}; // the camera's position
        RwV3d cockpitPosition{0, 0, 0};
        float throttle = 0, afterburner = 0, wheelBrake = 0;
        bool hasGear = false;
        float gearProgress = 0;
        double worldTime = 0, gameTime = 0;
        bool ejected = false;
    } state;
    // The HUD frame in the world: origin in double precision and its (scaled) axes.
    double origin[3] = {0, 0, 0};
    RwV3d axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    RwV3d eyeHud{0, 0, -1};

private:
    void UpdateWarnings();
    void UpdateDesignation(const Selection& selection);
    void Draw();
};

// The airplane's gun when it has one, counted as the stores count it (twice its rounds).
Selection ReadGun(Obj::Airplane* airplane);
// The selected weapon of the airplane's weapon stores: the gun, or the selected rack's ordnance with its
// rounds left and a homing missile's seeker. An airplane without stores shows its gun.
Selection ReadStores(Obj::Airplane* airplane);

// Installs the display's maker in the cockpit at start-up: every cockpit whose model has its glass (the
// "HUD" atomic, which leaves the model) gets its head-up display on it.
void RegisterHud();

} // namespace Hud
