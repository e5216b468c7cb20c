// The camera manager as a game drives it: the camera keys with and without a player, the crash view of a lost
// target or player, the fly-by view of an ejected pilot, and the cycling through airplanes and ordnance.
#include "CameraRig.h"

#include "cameras/CamerasManager.h"
#include "weapons/Ordnance.h"

#include <dinput.h>

namespace {

// A pilot as the manager sees one: a world object attached to its airplane while it sits in it.
class Pilot : public Obj::Object, public Obj::Frame {
public:
    void Eject() { Detach(true); }
};

class Missile : public Weapons::Ordnance {
public:
    void Launch(const RwV3d&) override {}
};

class Manager : public CameraRig {
protected:
    void SetUp() override {
        CameraRig::SetUp();
        if (HasFatalFailure())
            return;
        manager.CreateCameras(world.get());
        beforeRun = [this] { manager.HandleKeys(keyboard.get()); };
    }

    Obj::Airplane* AddAirplane(float x) {
        Obj::Airplane* airplane = Loaded(Sample("F16"), 2).release();
        if (!airplane)
            return nullptr;
        airplane->Place(x, 2000, 1500, 0, 200);
        world->AddObject(airplane);
        return airplane;
    }
    // A pilot seated in the airplane and made the player.
    Pilot* Seat(Obj::Airplane* airplane) {
        auto* pilot = new Pilot;
        world->AddObject(pilot);
        pilot->AttachTo(airplane, airplane->frame, false);
        manager.SetPlayer(pilot);
        return pilot;
    }
    void Press(const char* key, const char* modifiers = nullptr) {
        std::string text;
        if (modifiers)
            for (const char* m : {"LSHIFT", "LCONTROL"})
                if (std::strstr(modifiers, m))
                    text += std::to_string(frame) + " keyboard down " + m + "\n";
        // The keyboard hands out one key that went down per poll: the modifiers' own presses come first.
        text += std::to_string(frame + (modifiers ? 3 : 0)) + " keyboard press " + key + "\n";
        Script(text.c_str());
        Frames(modifiers ? 4 : 1);
        if (modifiers)
            ReleaseAll();
        Frame(Step);
    }
    void Destroy(Obj::Object* object) {
        world->RemoveObject(object);
        delete object;
    }

    SPlr::CamerasManager manager;
};

} // namespace

TEST_F(Manager, CreatesFiveCamerasInTheWorldWithTheFreeOneCurrent) {
    Cameras::Basic* cameras[] = {manager.free, manager.cockpit, manager.outside, manager.flyBy,
                                 manager.crash};
    for (Cameras::Basic* camera : cameras) {
        ASSERT_TRUE(camera);
        EXPECT_EQ(camera->world, world.get());
        EXPECT_EQ(RwCameraGetWorld(camera->camera), world->world);
        EXPECT_FLOAT_EQ(camera->camera->nearPlane, 1.0f);
        EXPECT_FLOAT_EQ(camera->camera->farPlane, 110000.0f);
        EXPECT_EQ(camera->IsActive(), camera == manager.free);
    }
    EXPECT_EQ(manager.current, manager.free);
    EXPECT_EQ(manager.cockpit->showCockpit, 1);
}

TEST_F(Manager, CameraKeysWithAndWithoutAPlayer) {
    // Without a player the airplane keys do nothing; Shift + Ctrl + F2 still takes the free camera.
    for (const char* key : {"F1", "F2", "F3"}) {
        Press(key);
        EXPECT_EQ(manager.current, manager.free) << key;
    }
    Obj::Airplane* airplane = AddAirplane(0);
    ASSERT_TRUE(airplane);
    Seat(airplane);
    const struct {
        const char* key;
        const char* modifiers;
        Cameras::Basic* expected;
    } cases[] = {{"F1", nullptr, manager.cockpit},        {"F2", nullptr, manager.outside},
                 {"F3", nullptr, manager.flyBy},          {"F4", nullptr, manager.flyBy}, // unused
                 {"F2", "LSHIFT LCONTROL", manager.free}, {"F1", nullptr, manager.cockpit},
                 {"F2", "LSHIFT", manager.outside}};
    for (const auto& c : cases) {
        const RwMatrix before = MatrixOf(*manager.current);
        Press(c.key, c.modifiers);
        EXPECT_EQ(manager.current, c.expected) << c.key << (c.modifiers ? c.modifiers : "");
        EXPECT_TRUE(manager.current->IsActive());
        if (c.expected == manager.free) {
            // The free camera takes over the view it replaced (and keeps it while no key moves it).
            const RwMatrix after = MatrixOf(*manager.free);
            EXPECT_EQ(std::memcmp(&after.pos, &before.pos, sizeof(RwV3d)), 0);
            EXPECT_EQ(std::memcmp(&after.at, &before.at, sizeof(RwV3d)), 0);
        } else if (c.expected != manager.flyBy) {
            EXPECT_EQ(manager.target.Get(), airplane);
        }
        int active = 0;
        for (Cameras::Basic* camera :
             {static_cast<Cameras::Basic*>(manager.free), static_cast<Cameras::Basic*>(manager.cockpit),
              static_cast<Cameras::Basic*>(manager.outside), static_cast<Cameras::Basic*>(manager.flyBy),
              static_cast<Cameras::Basic*>(manager.crash)})
            active += camera->IsActive();
        EXPECT_EQ(active, 1);
    }
    EXPECT_EQ(manager.cockpit->target.Get(), airplane);
}

TEST_F(Manager, LostTargetShowsItsCrashOnce) {
    Obj::Airplane* airplane = AddAirplane(0);
    Obj::Airplane* other = AddAirplane(3000);
    ASSERT_TRUE(airplane && other);
    manager.SetTarget(other);
    manager.SetCurrentCamera(manager.outside);
    Frame(Step);
    const RwV3d last = MatrixOf(*other).pos;
    Destroy(other);
    Frame(Step);
    EXPECT_EQ(manager.current, manager.crash);
    EXPECT_FALSE(manager.targetSeen);
    EXPECT_EQ(std::memcmp(&manager.crash->point, &last, sizeof last), 0);
    const RwV3d at = MatrixOf(*manager.crash).pos;
    EXPECT_NEAR(at.x, last.x + 200, 1.0f);
    EXPECT_NEAR(at.y, last.y + 70, 0.01f);
    // Once: a later switch stays.
    manager.SetCurrentCamera(manager.free);
    Frames(5);
    EXPECT_EQ(manager.current, manager.free);
}

TEST_F(Manager, EjectionFollowsThePilotAndSuppressesTheAirplanesCrashView) {
    Obj::Airplane* airplane = AddAirplane(0);
    ASSERT_TRUE(airplane);
    Pilot* pilot = Seat(airplane);
    EXPECT_EQ(manager.playerAirplane.Get(), airplane);
    EXPECT_TRUE(manager.playerSeen);
    Press("F1");
    ASSERT_EQ(manager.current, manager.cockpit);
    pilot->Eject();
    Frame(Step);
    EXPECT_EQ(manager.current, manager.flyBy);
    EXPECT_EQ(manager.flyBy->target.Get(), pilot);
    EXPECT_TRUE(manager.ejectionHandled);
    EXPECT_FALSE(manager.playerSeen);
    Destroy(airplane);
    Frames(3);
    EXPECT_EQ(manager.current, manager.flyBy);
    // Without an ejection the loss of the player's airplane shows its crash.
    manager.SetTarget(nullptr);
    Obj::Airplane* next = AddAirplane(0);
    ASSERT_TRUE(next);
    Seat(next);
    Frame(Step);
    const RwV3d last = MatrixOf(*next).pos;
    Destroy(next);
    Frame(Step);
    EXPECT_EQ(manager.current, manager.crash);
    EXPECT_EQ(std::memcmp(&manager.crash->point, &last, sizeof last), 0);
    EXPECT_FALSE(manager.playerSeen);
}

TEST_F(Manager, NextAirplaneAndNextOrdnanceCycleInWorldOrder) {
    Obj::Airplane* only = AddAirplane(0);
    ASSERT_TRUE(only);
    Press("F5");
    EXPECT_EQ(manager.target.Get(), only);
    EXPECT_EQ(manager.current, manager.outside);
    Press("F5");
    EXPECT_EQ(manager.target.Get(), only); // a single airplane keeps being the target

    Obj::Airplane* second = AddAirplane(3000);
    ASSERT_TRUE(second);
    // Holding F5 cycles at the keyboard's repeat rate: the press, then after 0.2 s every 0.03 s.
    Script((std::to_string(frame) + " keyboard down F5\n").c_str());
    int changes = 0;
    Obj::Object* seen = manager.target.Get();
    for (int i = 0; i < 64; ++i) {
        Frame(Step);
        if (manager.target.Get() != seen)
            ++changes;
        seen = manager.target.Get();
        EXPECT_TRUE(seen == only || seen == second);
    }
    ReleaseAll();
    Frame(Step);
    EXPECT_GE(changes, 20);
    EXPECT_LE(changes, 1 + 27);

    // Ordnance counts once it has left its rack.
    Weapons::Rack rack(nullptr, nullptr, nullptr);
    auto* hanging = new Missile;
    hanging->rack = &rack;
    auto* flying = new Missile;
    world->AddObject(hanging);
    world->AddObject(flying);
    Press("F6");
    EXPECT_EQ(manager.target.Get(), flying);
    EXPECT_EQ(manager.current, manager.outside);
    EXPECT_EQ(manager.cockpit->target.Get(), nullptr); // not an airplane
    Press("F6");
    EXPECT_EQ(manager.target.Get(), flying);
    hanging->rack = nullptr;
    Press("F6");
    EXPECT_EQ(manager.target.Get(), hanging);
    Press("F6");
    EXPECT_EQ(manager.target.Get(), flying);
}
