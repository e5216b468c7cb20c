// Airplanes from the built sample data in a world of their own: the engine without a device with the game's
// plugins (the animation plugin among them), the clump, animation and info caches on the data tree, and the
// airfoil tables in the working directory. Descriptions can be edited into a scratch folder.
#pragma once

#include "tests/scene/SceneFixture.h"

#include "aircraft/Airplane.h"
#include "scene/AnimationFile.h"
#include "scene/World.h"
#include "scene/WorldPasses.h"

#include "base/AnimationCache.h"
#include "base/InfoCache.h"
#include "rwsdk/plugin/hanim/rphanim.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

class AirplaneWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_NO_FATAL_FAILURE(AttachScenePlugins());
        ASSERT_TRUE(RpHAnimPluginAttach());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        data = std::filesystem::path(CORVANE_BINARY_DIR) / "data" / "Data";
        models = (data / "Models").string();
        Base::ClumpCache::Directory = models + "\\";
        Rw::InstallClumpCache();
        Base::AnimationCache::Directory = (data / "Anims").string() + "\\";
        Rw::InstallAnimationCache();
        previous = std::filesystem::current_path();
        std::filesystem::current_path(data.parent_path());
        ASSERT_TRUE(std::filesystem::exists("Data/Airfoil.dat")) << "build the sample_data target";
        scratch = std::filesystem::temp_directory_path() /
                  ("corvane-airplane-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(scratch);
        world = std::make_unique<Grp::World>();
    }
    void TearDown() override {
        world.reset();
        Base::InfoCache::Clear();
        Base::AnimationCache::Clear();
        Base::AnimationCache::Read = nullptr;
        Base::AnimationCache::Destroy = nullptr;
        TestSupport::RemoveClumpCache();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(scratch);
        EXPECT_EQ(Rw::Clump::LiveCount(), 0);
        EXPECT_EQ(Rw::Frame::LiveFrameCount(), 0);
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }

    // The sample airplane's path for Load.
    std::string Sample(const std::string& title) const { return models + "/Airplanes/" + title; }

    // The sample's description with every line for which edit returns false left out and the rest as edit
    // leaves them, written under a new title in the scratch folder; its path for Load.
    std::string Edited(const std::string& title, const std::string& newTitle,
                       const std::function<bool(std::string&)>& edit, const std::string& extra = "") {
        std::ifstream in(Sample(title) + ".info");
        std::ostringstream out;
        std::string line;
        while (std::getline(in, line))
            if (edit(line))
                out << line << '\n';
        out << extra;
        const std::filesystem::path path = scratch / (newTitle + ".info");
        std::ofstream(path) << out.str();
        return (scratch / newTitle).string();
    }

    // A loaded airplane, or null (the test fails).
    std::unique_ptr<Obj::Airplane> Loaded(const std::string& path, int kind, bool remote = false) {
        auto airplane = std::make_unique<Obj::Airplane>();
        airplane->remoteCopy = remote;
        if (!airplane->Load(path.c_str(), kind)) {
            ADD_FAILURE() << path << " does not load";
            return nullptr;
        }
        return airplane;
    }

    // One frame of the world: the simulation up to the new time, then the run pass.
    void Frame(float dt) {
        const float t0 = world->time->time;
        world->time->step = dt;
        world->time->time = t0 + dt;
        Grp::SimulateGroup(*world->simulateables, t0, t0 + dt);
        Grp::RunGroup(*world->runnables);
    }

    std::filesystem::path data, scratch, previous;
    std::string models;
    std::unique_ptr<Grp::World> world;
};
