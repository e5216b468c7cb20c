// The engine as the benchmarks and the flyover window set it up over the sample data: the flyover's world
// they draw is lit by its sky, as the game's is, so that lit models (the airbase's runway and hangars) do
// not draw black.
#include "bench/frontend/SampleEngine.h"
#include "cameras/SceneLights.h"
#include "frontend/Flyover.h"
#include "objects/Sky.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"

#include "scene/World.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(SampleEngine, TheFlyoverWorldItDrawsIsLitByItsSky) {
    const std::filesystem::path data = std::filesystem::path(CORVANE_BINARY_DIR) / "data";
    ASSERT_TRUE(std::filesystem::exists(data / "Data" / "Convoys1.info")) << "build the sample_data target";
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(data);
    Obj::Sky::CreateLights = nullptr; // only what the set-up installs
    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("sample engine", 320, 240, window, hwnd));
    {
        const BenchSupport::SampleEngine engine(window, hwnd);
        ASSERT_EQ(engine.Failure(), "");
        TestSupport::PinGlDriver();
        Fe::Flyover flyover;
        ASSERT_TRUE(flyover.Start(Base::Config{}, 1));
        ASSERT_NE(flyover.World()->sky, nullptr);
        int ambient = 0, directional = 0;
        flyover.World()->ForEach([&](Obj::Object* object) {
            ambient += dynamic_cast<Lights::Ambient*>(object) != nullptr;
            directional += dynamic_cast<Lights::Directional*>(object) != nullptr;
        });
        EXPECT_EQ(ambient, 1);
        EXPECT_EQ(directional, 1);
        flyover.Stop();
    }
    std::filesystem::current_path(previous);
}

} // namespace
