// Ships, armed ships and carriers that missions spawn at sea. Obj::Ship is a vehicle held at sea level that
// drags a wake; Obj::WarShip carries automatic weapons; Obj::Carrier holds airplanes on named catapults and
// runs them along its deck until they have run the catapult's length.
#pragma once

#include "objects/Vehicle.h"

#include "base/SmartPtr.h"
#include "base/String.h"

#include <map>

namespace Obj {

class WaterTrail;

// What a carrier reads and writes of an airplane on a catapult. The airplane class takes this on and moves
// these words between its flight model's state block and the record.
class CatapultAirplane : public virtual Base::SmartPtrTarget {
public:
    struct State {
        RwV3d position{0, 0, 0};
        RwV3d up{0, 1, 0};
        RwV3d at{0, 0, 1};
        RwV3d velocity{0, 0, 0};
        RwV3d acceleration{0, 0, 0};
        bool onCatapult = false;
        float wheelTurn[3] = {0, 0, 0};
    };
    // Lengths of the wheel geometry: a placed airplane sits a - b + 0.2 below the catapult point; b is also
    // the radius of the second and third wheels, firstWheelRadius that of the first.
    struct WheelGeometry {
        float a = 0, b = 0, firstWheelRadius = 0;
    };

    virtual ~CatapultAirplane() = default;
    // The airplane's frame part, which the carrier hangs below its own frame.
    virtual Frame* GetCatapultFrame() = 0;
    virtual State GetCatapultState() = 0;
    // fresh: written into a newly initialised state block, together with the placement's control words.
    virtual void SetCatapultState(const State& state, bool fresh) = 0;
    virtual WheelGeometry GetWheelGeometry() = 0;
};

class Ship : public Vehicle {
public:
    Ship() = default;

    // The vehicle, then the beam measured across the model and the wake's point interval.
    bool Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction, float initialSpeed,
               float maxSpeed, float turnRate, float acceleration);
    // Entering, makes the wake; leaving, lets it go to fade by itself.
    void SetWorld(Grp::World* world) override;
    void Run() override;

    // 0.1 / (turnRate + 0.001) within [0, 10].
    static float WakeInterval(float turnRate);

    float beam = 1.0f;
    float wakeInterval = 0;
    Base::SmartPtr<WaterTrail> wake;
};

class WarShip : public Ship {
public:
    WarShip() = default;

    // The ship, then the weapons asked for: the gun 30 and the launcher 60 above the ship's origin.
    bool Setup(const Base::Info* info, Base::Vector2 position, Base::Vector2 direction, float initialSpeed,
               float maxSpeed, float turnRate, float acceleration, bool withAutoGun, bool withAutoLauncher);
    void SetWorld(Grp::World* world) override;

    Base::SmartPtr<Frame> autoGun;
    Base::SmartPtr<Frame> autoLauncher;
};

class Carrier : public WarShip {
public:
    struct Catapult {
        RwV3d position{0, 0, 0}; // on the deck, in the carrier's model coordinates
        float heading = 0;       // "Hdg", kept
        float length = 0;        // how far the airplane runs before it is released
        Base::SmartPtr<CatapultAirplane> airplane;
        float launchSpeed = 0; // 0 while waiting
    };

    Carrier() = default;
    ~Carrier() override;

    // The model, then its "Catapults": each child's "Position" (x z), "Hdg" and "Length"; a catapult missing
    // any of them fails the load. Without "Catapults" the carrier has none.
    bool Load(const Base::Info* info) override;
    // Fails, changing nothing, for an airplane already attached to a frame, an unknown name or an occupied
    // catapult.
    bool PlaceOnCatapult(CatapultAirplane* airplane, const Base::String& name);
    // False when the airplane is on no catapult or its launch already runs.
    bool StartCatapultLaunch(CatapultAirplane* airplane);
    // Lets the airplane go where it is now; false when it is on no catapult.
    bool ReleaseFromCatapult(CatapultAirplane* airplane);
    void Run() override;

    Catapult* FindCatapult(CatapultAirplane* airplane);

    std::map<Base::String, Catapult> catapults;
};

} // namespace Obj
