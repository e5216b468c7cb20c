// A HUD on the sample fighter, seen through its cockpit camera: a glass 0.24 square, 0.6 in front of the eye,
// on a cockpit that stands in for the real one (its eye, radar target, threats and navigation point are the
// test's). The airplane's flight state is set directly; Update builds the symbology for inspection.
#pragma once

#include "tests/cameras/CameraRig.h"

#include "hud/Hud.h"

#include "base/TextTable.h"

#include <algorithm>
#include <set>
#include <string>

class HudRig : public CameraRig {
protected:
    void SetUp() override {
        CameraRig::SetUp();
        if (HasFatalFailure())
            return;
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data/Strings.info"), 0);
        Base::TextTable = strings;
        airplane = Loaded(Sample("F16"), 2).release();
        ASSERT_TRUE(airplane);
        airplane->Place(0, 0, 1500, 0, 200);
        link = new CockpitStandIn;
        link->eye = {0, 1, 2};
        airplane->cockpit.reset(link);
        const RwV3d glass[4] = {
            {0.12f, 0.88f, 2.6f}, {-0.12f, 0.88f, 2.6f}, {-0.12f, 1.12f, 2.6f}, {0.12f, 1.12f, 2.6f}};
        hud = new Hud::Hud(airplane, airplane, glass);
        world->AddObject(airplane);
        camera = Add(std::make_unique<Cameras::Cockpit>());
        camera->target = airplane;
        camera->SetActive(true);
    }
    void TearDown() override {
        Base::TextTable = Base::Info();
        CameraRig::TearDown();
    }

    // The airplane level at that height, heading (degrees, 0 along +z, 90 along -x) and velocity.
    void Fly(float height, float heading, RwV3d velocity) {
        airplane->Place(0, 0, height, heading, 0);
        Physics::AirplaneState s = airplane->GetState();
        s.velocity = velocity;
        s.acceleration = {0, 0, 0};
        airplane->SetState(s);
        Frame(Step); // the camera follows
    }
    void Fly(float height, RwV3d velocity) { Fly(height, 0, velocity); }
    bool Update() { return hud->Update(camera); }

    std::set<std::string> Texts() const {
        std::set<std::string> out;
        for (const Hud::Text& t : hud->texts)
            out.insert(t.text);
        return out;
    }
    bool HasText(const std::string& text) const { return Texts().count(text) != 0; }
    const Hud::Text* FindText(const std::string& text) const {
        for (const Hud::Text& t : hud->texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }

    Obj::Airplane* airplane = nullptr;
    CockpitStandIn* link = nullptr;
    Hud::Hud* hud = nullptr;
    Cameras::Cockpit* camera = nullptr;
};
