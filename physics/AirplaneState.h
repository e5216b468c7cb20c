// The one record through which everything that concerns an airplane's flight meets: pilots write commands
// into it, the flight model integrates motion and writes it back, the airplane, its engine, the stores, the
// cockpit and the network copy read it. Always copied whole out of the flight model and handed back whole
// through AirplanePhysics::SetState. World axes, y up; metres, seconds, radians; flags 0 or 1.
#pragma once

#include "rwsdk/src/plcore/vector.h"

#include <cstdint>

namespace Physics {

struct AirplaneState {
    RwV3d position;
    RwV3d up;
    RwV3d at;
    // Flight-model body relative to the model's origin, in the airplane's axes; zero everywhere in the game.
    RwV3d massCentreOffset;
    RwV3d velocity;
    RwV3d angularVelocity;

    // Commands.
    float rollInput;  // [-1, 1]
    float auxInput;   // no pilot writes it
    float pitchInput; // [-1, 1]
    float yawInput;   // [-1, 1], also steers the nose wheel
    float throttle;   // [0, 1]
    float afterburnerCommand;
    float wheelBrakeCommand; // 0 or 0.6
    float gearDownCommand;   // 1 down, 0 up
    float weaponDoorCommand; // 1 open, 0 closed
    uint8_t fireRequest;
    uint8_t engineRunning;
    float fuel; // fraction of a full load
    uint8_t engineDestroyed;
    uint8_t outOfControl; // stays set once set
    uint8_t crashed;
    uint8_t held; // on a catapult: no integration

    // The surface under the airplane, written by the airplane's run before each flight step.
    uint8_t groundValid;
    RwV3d groundNormal;
    float groundDistance; // groundNormal . p for its points p
    RwV3d groundVelocity;
    float groundRoughness; // 0.2 on the terrain, 0 on objects
    float groundHeight;    // terrain height straight below

    uint8_t jammerOn;
    double precisePosition[3]; // position in double precision
    RwV3d right;
    RwV3d acceleration;

    // Actual control positions.
    float aileronAngle;
    float auxAngle;
    float elevatorAngle;
    float rudderAngle;
    float throttleLevel;
    float gearExtension;     // 1 fully down
    float weaponDoorOpening; // 0..1

    // Per wheel: centre, left, right.
    float wheelCompression[3]; // negative pressed into the ground, 0 no contact
    float wheelSteering[3];
    float wheelRotation[3]; // [0, 2 pi)
    float wheelBrake[3];    // [0, 1]

    float engineSpool; // 0.6 idle
    float afterburnerLevel;
    float thrustFactor; // fraction of the rated thrust

    // Every field zero, then the axes right (1, 0, 0), up (0, 1, 0), at (0, 0, 1) and a full tank.
    static AirplaneState& Init(AirplaneState& state);
};

} // namespace Physics
