// Physics tests run on the engine's null device with the frame wrappers registered, in the built data tree
// (the airfoils read "Data\Airfoil.dat" from the working directory). Flight scenarios use the sample
// airplanes' descriptions with wheel positions that stand in for the model's "WheelC" and "WheelL" frames.
#pragma once

#include "physics/AirplanePhysicsComplex.h"
#include "physics/AirplaneState.h"
#include "physics/PhysicsParams.h"

#include "base/Info.h"
#include "base/Random.h"
#include "rwsdk/src/engine.h"
#include "scene/Frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

class PhysicsTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_TRUE(Rw::Frame::RegisterPlugins());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        previous = std::filesystem::current_path();
        std::filesystem::current_path(std::filesystem::path(CORVANE_BINARY_DIR) / "data");
        ASSERT_TRUE(std::filesystem::exists("Data/Airfoil.dat")) << "build the sample_data target";
        Base::Random::Seed(4357);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        EXPECT_TRUE(RwEngineStop());
        EXPECT_TRUE(RwEngineClose());
        EXPECT_TRUE(RwEngineTerm());
    }

    // The test airplane: a light fighter (the sample fighter's masses and surfaces) with the wheel positions
    // that the loader would take from the model's "WheelC" and "WheelL" frames.
    static Physics::PhysicsParams TestParams() {
        Physics::PhysicsParams params{};
        params.simple = {330, 30};
        Physics::ComplexPhysicsParams& c = params.complex;
        c.mass = 12000;
        c.aMass = {80000, 140000, 70000};
        c.thrust = 11000;
        c.linearDampingFactor = 5;
        c.quadraticDampingFactor = 0.6f;
        c.wingSurface = 13;
        c.hStabilizerSurface = 3;
        c.vStabilizerSurface = 4;
        c.aileronSurface = 1.2f;
        c.elevatorSurface = 1.5f;
        c.rudderSurface = 1.2f;
        c.wingOffset = {2.5f, 0, 1.2f};
        c.hStabilizerOffset = {2, 0.2f, -6.5f};
        c.vStabilizerOffset = {0, 1.8f, -6.5f};
        c.centerWheelPosition = {0, -1.3f, 4.0f};
        c.sideWheelPosition = {1.4f, -1.2f, -0.6f};
        c.centerWheelRadius = 0.3f;
        c.sideWheelRadius = 0.4f;
        c.frontBottomSpringOffset = {0, -1, 5};
        c.rearBottomSpringOffset = {0, -1, -5};
        c.frontTopSpringOffset = {0, 1, 6};
        c.rearTopSpringOffset = {0, 1.5f, -6};
        c.sideSpringOffset = {4.5f, 0, -1};
        return params;
    }

    // A sample airplane's record as the loader fills it from the built data tree's description; the wheel
    // positions stand in for the model's frames.
    static Physics::PhysicsParams SampleParams(const char* title) {
        Base::Info info;
        const std::string path =
            std::string(CORVANE_BINARY_DIR) + "/data/Data/Models/Airplanes/" + title + ".info";
        EXPECT_EQ(info.LoadFile(path), 0) << path;
        Physics::PhysicsParams params;
        Physics::ReadPhysicsParams(info, params);
        params.complex.centerWheelPosition = {0, -1.3f, 4.0f};
        params.complex.sideWheelPosition = {1.4f, -1.2f, -0.6f};
        return params;
    }

    // A fresh state flying level along +z.
    static Physics::AirplaneState Flying(float height, float speed, double x = 0, double z = 0) {
        Physics::AirplaneState s;
        Physics::AirplaneState::Init(s);
        s.position = {float(x), height, float(z)};
        s.precisePosition[0] = x;
        s.precisePosition[1] = height;
        s.precisePosition[2] = z;
        s.velocity = {0, 0, speed};
        s.engineRunning = 1;
        s.throttle = s.throttleLevel = 0.5f;
        s.engineSpool = 0.75f;
        return s;
    }

    std::filesystem::path previous;
};
