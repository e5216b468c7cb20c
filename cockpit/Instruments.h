// The cockpit's instruments: the airspeed indicator and the altimeter (needles in the instrument mesh), the
// attitude indicator (a ball texture turned by bank and shifted by pitch), the stick and the throttle (parts
// of the model turned by the pilot's inputs) and the weapons display on the second monitor. Each finds its
// part of the model by a fixed name and is inert when the model has none.
#pragma once

#include "cockpit/Cockpit.h"

#include <map>
#include <memory>

namespace Cockpit {

class AirspeedInd {
public:
    static constexpr float KnotsPerMetrePerSecond = 1.9440124f;

    explicit AirspeedInd(Cockpit* cockpit);
    virtual ~AirspeedInd() = default;
    void Update();
    // The needle's angle in radians at a speed in metres per second: one turn is 1000 knots, at most one.
    static float NeedleAngle(float speed);

    Cockpit* cockpit;
    bool present = false;
    RwV3d faceCentre{0, 0, 0}, faceNormal{0, 0, -1};
    int needle = -1;
};

class Altimeter {
public:
    static constexpr float FeetPerMetre = 3.2808399f;

    explicit Altimeter(Cockpit* cockpit);
    virtual ~Altimeter() = default;
    void Update();
    // The two needles' angles in radians at a height in metres: one turn per 10000 and per 100000 feet.
    static void NeedleAngles(float height, float& needle1, float& needle2);

    Cockpit* cockpit;
    bool present = false;
    RwV3d faceCentre{0, 0, 0}, faceNormal{0, 0, -1};
    int needle1 = -1, needle2 = -1;
};

class ADInd {
public:
    explicit ADInd(Cockpit* cockpit);
    virtual ~ADInd() = default;
    // Turns the ball's texture to the airplane's attitude and draws it, under the cockpit's face states.
    void Update();
    // The ball's texture coordinates (strip order) for the up, right and forward vectors.
    void BallCoordinates(const RwV3d& up, const RwV3d& right, const RwV3d& forward,
                         Base::Vector2 out[4]) const;

    Cockpit* cockpit;
    MeshVertex ball[4]; // triangle-strip order
    bool present = false;
    RwV3d faceCentre{0, 0, 0}, faceNormal{0, 0, -1};
    Base::Vector2 ballCentre{0, 0}, ballHalfSize{0, 0};
};

// The stick and the throttle: a part of the model turned from its rest placement.
class MovingPart {
public:
    MovingPart(Cockpit* cockpit, const char* name);
    virtual ~MovingPart() = default;

    // Replaces the part's placement: the rest placement turned about the part's own axes through its
    // position, by degrees about right and then about at.
    void Turn(float aboutRight, float aboutAt);

    Cockpit* cockpit;
    bool present = false;
    RwFrame* frame = nullptr; // the part's frame in the model
    RwMatrix restMatrix;
};

class Joystick : public MovingPart {
public:
    explicit Joystick(Cockpit* cockpit) : MovingPart(cockpit, "Joystick") {}
    // -25 degrees x pitch about the stick's right axis, then 25 degrees x roll about its at axis.
    void Update();
    void Update(float pitch, float roll);
};

class Throttle : public MovingPart {
public:
    explicit Throttle(Cockpit* cockpit) : MovingPart(cockpit, "Throttle") {}
    // 30 degrees x throttle about the lever's right axis.
    void Update();
    void Update(float throttle);
};

class MFDWeapons {
public:
    explicit MFDWeapons(Cockpit* cockpit);
    virtual ~MFDWeapons() = default;
    void Render();

    Cockpit* cockpit;
    bool present = false;
    RwMatrix matrix;
    const Gui::Font* font = nullptr;
    std::map<Base::String, int> stores; // by ordnance name; a used-up store stays with 0
    int flares = 0, chaff = 0;          // the decoys left, as last drawn
    float fuelFraction = 0;
    float fuelTime = 0;
};

} // namespace Cockpit
