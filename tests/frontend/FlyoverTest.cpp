// The flyover's world on the sample data: the scenery's moving groups are in it, in their formations,
// and set off towards their destinations.
#include "cameras/SceneLights.h"
#include "frontend/Flyover.h"
#include "objects/Ship.h"
#include "objects/Sky.h"
#include "objects/Terrain.h"
#include "objects/Vehicle.h"
#include "tests/support/GlDriver.h"
#include "tests/support/TempDir.h"
#include "tests/support/HiddenWindow.h"

#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/String.h"
#include "base/TextTable.h"
#include "platform/d3d9/Control.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/src/baimage.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/StreamedTexture.h"
#include "scene/World.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <typeinfo>
#include <vector>

namespace {

class Flyover : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path data = std::filesystem::path(CORVANE_BINARY_DIR) / "data";
        ASSERT_TRUE(std::filesystem::exists(data / "Data" / "Convoys1.info"))
            << "build the sample_data target";
        std::filesystem::current_path(data);
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("flyover", 320, 240, window, hwnd));
        Base::Info strings;
        ASSERT_EQ(strings.LoadFile("Data/Strings.info"), 0);
        ASSERT_TRUE(Rw::StartEngine(4096, 0, hwnd, 0, 0));
        Base::TextTable = strings;
        Base::ClumpCache::Directory = Base::GetText("ModelsDir");
        RwImageSetPath(Base::GetText("TexturesDir").c_str());
        Rw::InstallClumpCache();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        Rw::RegisterImageFormats();
        Lights::InstallSkyLights();
    }
    void TearDown() override {
        Base::AsyncLoader::Stop();
        Base::ClumpCache::Clear();
        Rw::StopEngine();
        TestSupport::PinGlDriver();
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
    }
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
};

template <class T> std::vector<T*> Exactly(Grp::World& world) {
    std::vector<T*> found;
    world.ForEach([&](Obj::Object* o) {
        if (auto* t = dynamic_cast<T*>(o); t && typeid(*t) == typeid(T))
            found.push_back(t);
    });
    return found;
}

TEST_F(Flyover, TheScenerysConvoyAndCarrierGroupSail) {
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    Grp::World& world = *flyover.World();
    const auto trucks = Exactly<Obj::Car>(world);
    const auto escorts = Exactly<Obj::WarCar>(world);
    const auto carriers = Exactly<Obj::Carrier>(world);
    const auto frigates = Exactly<Obj::WarShip>(world);
    ASSERT_EQ(trucks.size(), 5u);
    ASSERT_EQ(escorts.size(), 2u);
    ASSERT_EQ(carriers.size(), 1u);
    ASSERT_EQ(frigates.size(), 2u);

    // A column heading 270 (+x) from (-7000, 8200), 30 apart; the frigates abreast of (-12500, -3300).
    struct Ground {
        double x, z;
    };
    const auto at = [](Obj::Vehicle* v) {
        double p[3];
        v->GetWorldPositionDouble(p);
        return Ground{p[0], p[2]};
    };
    // The world lists its objects newest first: the column's head is the last one.
    std::vector<Obj::Car*> column(trucks.rbegin(), trucks.rend());
    for (size_t i = 0; i < column.size(); ++i) {
        EXPECT_NEAR(at(column[i]).x, -7000.0 - 30.0 * double(i), 0.5) << i;
        EXPECT_NEAR(at(column[i]).z, 8200.0, 0.5) << i;
        EXPECT_FALSE(column[i]->arrived);
    }
    EXPECT_NEAR(at(carriers[0]).x, -12500.0, 0.5);
    EXPECT_NEAR(std::abs(at(frigates[0]).x - at(frigates[1]).x), 600.0, 0.5);
    EXPECT_FALSE(carriers[0]->arrived);

    // A few frames on, the convoy has driven towards its destination.
    const double before = at(column[0]).x;
    for (int k = 0; k < 20; ++k)
        flyover.Frame(0.1 * k, 0.1, Rw::ColourRaster, Rw::DepthRaster, nullptr);
    EXPECT_GT(at(column[0]).x, before);
}

// The world the flyover builds is lit by the sky's own lights, which leave with it.
TEST_F(Flyover, TheSkyLightsItsWorld) {
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    Grp::World& world = *flyover.World();
    ASSERT_NE(world.sky, nullptr);
    for (Lights::SceneLight* light :
         {static_cast<Lights::SceneLight*>(Exactly<Lights::Ambient>(world).at(0)),
          static_cast<Lights::SceneLight*>(Exactly<Lights::Directional>(world).at(0))}) {
        EXPECT_EQ(light->GetParent(), static_cast<Obj::Attachable*>(world.sky));
        EXPECT_EQ(light->GetEngineWorld(), world.world);
    }
    flyover.Stop();
    EXPECT_EQ(flyover.World(), nullptr);
}

// Every indexed draw of the flyover's world (land, water, sky, models, generated scenery) declares a vertex
// range that holds its indices: the rasteriser is handed the range to shade.
TEST_F(Flyover, ItsIndexedDrawsDeclareTheVerticesTheyUse) {
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    Obj::Terrain* terrain = flyover.World()->terrain;
    ASSERT_NE(terrain, nullptr);
    const size_t faults = D3D9::IndexRangeFaults(RwD3D9Device);
    uint32_t slices = 0, waterSlices = 0;
    // Twice round the path: the second lap draws the slices the first streamed in.
    const int frames = 60;
    for (int k = 0; k < 2 * frames; ++k) {
        flyover.Frame(Fe::Flyover::LapTime * (k % frames) / frames, 0.04, Rw::ColourRaster, Rw::DepthRaster,
                      nullptr);
        slices += terrain->SlicesDrawn();
        waterSlices += terrain->WaterSlicesDrawn();
    }
    EXPECT_GT(slices, 0u);
    EXPECT_GT(waterSlices, 0u);
    EXPECT_EQ(D3D9::IndexRangeFaults(RwD3D9Device) - faults, 0u);
    flyover.Stop();
}

// A group's count is a whole number: one far too large is cut to the most a group spawns, one that does not
// read (NaN, words) gives a single object; neither may spawn without end.
TEST_F(Flyover, AGroupsCountIsBounded) {
    const TestSupport::TempDir dir("corvane-flyover");
    std::ofstream(dir / "Convoys1.info") << "Many\n{\n\tAction\tSpawnCars\n\tType\tCar\n\tModel\tTruck.info\n"
                                            "\tCount\t1000\n\tPos\t0 0\n\tHdg\t0\n}\n"
                                            "Odd\n{\n\tAction\tSpawnCars\n\tType\tCar\n\tModel\tTruck.info\n"
                                            "\tCount\tnan\n\tPos\t500 0\n\tHdg\t0\n}\n";
    Base::TextTable.GetChildForWrite("DataDir")->SetValue(dir.path.string());
    Fe::Flyover flyover;
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    EXPECT_EQ(Exactly<Obj::Car>(*flyover.World()).size(), size_t(Fe::Flyover::MaxGroupObjects) + 1);
}

// A list cut in half is told with its file and line (a list that does not parse is not used at all).
TEST_F(Flyover, ADamagedGroupListIsToldWithItsLine) {
    const TestSupport::TempDir dir("corvane-flyover");
    std::ofstream(dir / "Convoys1.info")
        << "Trucks\n{\n\tAction\tSpawnCars\n\tType\tCar\n\tModel\tTruck.info\n"
           "\tPos\t0 0\n\tHdg\t0\n}\nShips\n{\n\tAction\tSpawnShips\n";
    Base::TextTable.GetChildForWrite("DataDir")->SetValue(dir.path.string());
    Fe::Flyover flyover;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Error in the scenery file '" +
                        Base::MakePath(dir.path.string(), "Convoys1", "info") + "' at line "),
              std::string::npos)
        << said;
    EXPECT_TRUE(Exactly<Obj::Car>(*flyover.World()).empty());
}

} // namespace
