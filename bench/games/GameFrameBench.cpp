// Where a single-player frame goes with many airplanes: the sample mission "Two Bandits" with 10, 50 or 200
// more computer-flown fighters in the air, half on each side with their air-to-air set-up, and 200 trucks on
// the roads, headless on the offscreen device (320 x 240, so that the rasteriser does not hide the rest),
// seen from outside the first added fighter, each frame split into the game's sections: the mission, the
// simulation, the run, culling and sorting (the render section less what the objects drew inside it), the
// objects' drawing, the overlay (its update and drawing) and Present. Sections end with the GL's work
// finished, so a section's time holds its own rasterisation. The airplanes get their cockpits and weapon
// stores as in the program. Run in build/data with vblank_mode=0.
// The second benchmark is the player's own frame: the same mission at 1024 x 768 seen from the player's
// cockpit, with its instruments and head-up display, and 0 or 10 computer-flown fighters ahead, each frame's
// cost broken down by section (each kind of renderable, the cockpit's parts, the overlay, Present) with its
// GL calls, as bench_frame_costs does for the flyover.
#include "bench/FrameProbe.h"
#include "bench/Offscreen.h"

#include "aircraft/Airplane.h"
#include "audio/CreateSound.h"
#include "base/AnimationCache.h"
#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/RandomTimeStamp.h"
#include "base/SoundCache.h"
#include "base/StreamedTextureCache.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "cockpit/Cockpit.h"
#include "games/SPlrGame.h"
#include "hud/Hud.h"
#include "gui/draw/Font.h"
#include "frontend/Frontend.h"
#include "mission/GameRequest.h"
#include "mission/Host.h"
#include "mission/Mission.h"
#include "objects/Vehicle.h"
#include "rwsdk/src/baimage.h"
#include "scene/AnimationFile.h"
#include "scene/ClumpFile.h"
#include "scene/EngineHost.h"
#include "scene/RenderProbe.h"
#include "scene/StreamedTexture.h"
#include "weapons/AirplaneGun.h"
#include "weapons/AutoWeapons.h"
#include "weapons/Stores.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int Width = 320, Height = 240;
using Clock = std::chrono::steady_clock;

// Exclusive time per top-level game section; whatever opens inside "render" is the objects' drawing.
class SectionProbe final : public Grp::RenderProbe {
public:
    void Begin(const char* section) override {
        glFinish();
        const auto now = Clock::now();
        if (!stack.empty())
            Charge(stack.back(), now);
        stack.push_back(section);
        last = now;
    }
    void End() override {
        glFinish();
        const auto now = Clock::now();
        Charge(stack.back(), now);
        stack.pop_back();
        last = now;
    }
    std::map<std::string, double> ms;

private:
    void Charge(const char* section, Clock::time_point now) {
        std::string name = section;
        // Inside the render section every object's pass is drawing; what the section keeps is culling and
        // sorting.
        if (stack.size() > 1 && std::strcmp(stack.front(), "render") == 0)
            name = "draw";
        else if (name == "render")
            name = "cull and sort";
        ms[name] += std::chrono::duration<double, std::milli>(now - last).count();
    }
    std::vector<const char*> stack;
    Clock::time_point last;
};

// Keeps the frame as it stands when Present begins, as a binary PPM file (rows bottom up), to compare what
// two builds draw.
class ShotProbe final : public Grp::RenderProbe {
public:
    ShotProbe(const char* path, int width, int height) : path_(path), width_(width), height_(height) {}
    void Begin(const char* section) override {
        if (std::strcmp(section, "present") != 0)
            return;
        std::vector<unsigned char> pixels(size_t(width_) * size_t(height_) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        if (FILE* file = std::fopen(path_, "wb")) {
            std::fprintf(file, "P6\n%d %d\n255\n", width_, height_);
            std::fwrite(pixels.data(), 1, pixels.size(), file);
            std::fclose(file);
        }
    }
    void End() override {}

private:
    const char* path_;
    int width_, height_;
};

// The first airplane added, null when none loads. Without a leader the fighters fly rings around the Coast
// Field; with one, a loose gaggle 600 m to 3 km ahead of it on its heading.
Obj::Airplane* AddTraffic(SPlr::Game& game, int airplanes, int trucks,
                          const Obj::Airplane* leader = nullptr) {
    Grp::World& world = *game.world;
    Obj::Airplane* first = nullptr;
    const Base::String directory = Base::ClumpCache::Directory;
    for (int i = 0; i < airplanes; ++i) {
        auto* airplane = new Obj::Airplane;
        airplane->seed = uint32_t(100 + i);
        if (!airplane->Load(Base::MakePath(directory, "Airplanes\\F16").c_str(),
                            Obj::Airplane::ComplexModel)) {
            delete airplane;
            return first;
        }
        const Obj::Allegiance side = i % 2 ? Obj::Enemy : Obj::Friendly;
        airplane->allegiance = side;
        if (Mission::Armoury::installed)
            Mission::Armoury::installed->LoadSetup(airplane, "AirToAir");
        world.AddObject(airplane);
        if (leader && leader->frame) {
            const RwMatrix* m = RwFrameGetWorldMatrix(leader->frame);
            const float ahead = 600.0f + 240.0f * float(i), aside = 90.0f * float(i % 5) - 180.0f;
            const float heading = std::atan2(-m->at.x, m->at.z) * float(180.0 / Base::Pi);
            airplane->Place(m->pos.x + m->at.x * ahead + m->at.z * aside,
                            m->pos.z + m->at.z * ahead - m->at.x * aside,
                            m->pos.y + 60.0f * float(i % 3) - 60.0f, heading, 200.0f);
        } else {
            // A ring of rings around the Coast Field, each at its own height and heading.
            const float angle = float(i) * 2.39996f;
            const float radius = 1500.0f + 120.0f * float(i);
            airplane->Place(-3500.0f + radius * std::cos(angle), 5060.0f + radius * std::sin(angle),
                            900.0f + 40.0f * float(i % 20), float(i * 37 % 360), 200.0f);
        }
        if (Mission::Crew::installed)
            Mission::Crew::installed->CreateComputerPilot(
                airplane, Base::MakePath(directory, "Airplanes\\Pilot.model"), side, 0.6f);
        if (i == 0)
            first = airplane;
    }
    Base::Info description;
    description.LoadFile(Base::MakePath(directory, "Truck.info"));
    for (int i = 0; i < trucks; ++i) {
        auto* truck = new Obj::Car;
        const Base::Vector2 at{-3500.0f + 60.0f * float(i % 20) - 600.0f,
                               5060.0f - 400.0f - 60.0f * float(i / 20)};
        if (!truck->Setup(&description, at, {0, 1}, 10.0f, 10.0f, 0.25f, 0.25f)) {
            delete truck;
            return first;
        }
        world.AddObject(truck);
    }
    return first;
}

// The engine and the game's caches as the program sets them up, for one benchmark; false with the reason
// given to the benchmark.
bool StartGameEngine(benchmark::State& state, HWND hwnd) {
    Base::Info strings;
    if (strings.LoadFile("Data/Strings.info") != 0) {
        state.SkipWithError("run in build/data: the strings file cannot be read");
        return false;
    }
    if (!Rw::StartEngine(4096, 0, hwnd, 0, 0)) {
        state.SkipWithError("no device");
        return false;
    }
    Base::TextTable = strings;
    Base::FontCache::Directory = Base::GetText("FontsDir");
    Base::ClumpCache::Directory = Base::GetText("ModelsDir");
    Base::AnimationCache::Directory = Base::GetText("AnimationsDir");
    Base::SoundCache::Directory = Base::GetText("SoundsDir");
    RwImageSetPath(Base::GetText("TexturesDir").c_str());
    Gui::Font::InstallCache();
    Lights::InstallSkyLights();
    Rw::InstallClumpCache();
    Rw::InstallAnimationCache();
    Rw::InstallStreamedTextures();
    Base::AsyncLoader::Start();
    Rw::RegisterImageFormats();
    Audio::InstallSoundCache();
    Weapons::InstallVehicleWeapons();
    Weapons::InstallAirplaneGun();
    Cockpit::RegisterCockpit();
    Hud::RegisterHud();
    Weapons::InstallStores();
    SPlr::Game::HasFocus = [] { return true; };
    Base::FrameClock::SetFixedStep(1.0 / 30.0);
    return true;
}

void StopGameEngine(SDL_Window* window, HWND hwnd) {
    SPlr::Game::HasFocus = nullptr;
    Obj::Airplane::CreateCockpit = nullptr;
    Obj::Airplane::CreateStores = nullptr;
    ::Cockpit::Cockpit::CreateHud = nullptr;
    Base::FrameClock::SetFixedStep(0);
    Base::FontCache::Clear();
    Base::InfoCache::Clear();
    Base::AsyncLoader::Stop();
    Base::StreamedTextureCache::Update();
    Base::ClumpCache::Clear();
    Base::AnimationCache::Clear();
    Base::SoundCache::Clear();
    Rw::StopEngine();
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
}

// The request of the sample mission, with the player in an Su-27; false when the mission does not load.
bool RequestMission(benchmark::State& state, Fe::Frontend& frontend) {
    frontend.config.SetDefaults();
    const Mission::Header* header = Mission::Header::Load(
        Base::MakePath(Base::GetText("DataDir"), "Scripts\\Missions\\Single\\TwoBandits.msn"));
    if (!header) {
        state.SkipWithError("the sample mission does not load");
        return false;
    }
    Fe::GameRequest request = frontend.gameRequest;
    request.header = *header;
    request.airplane = "Airplanes\\Su27";
    frontend.gameRequest.Assign(request);
    return true;
}

void GameFrames(benchmark::State& state) {
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("game frames", Width, Height);
    if (!StartGameEngine(state, hwnd))
        return;
    {
        // The mission runs as in play: its events tested every frame, its own airplanes among the traffic.
        Fe::Frontend frontend(nullptr, nullptr, nullptr, nullptr);
        if (!RequestMission(state, frontend))
            return;
        SPlr::Game game(&frontend, nullptr, nullptr, nullptr);
        Obj::Airplane* first = AddTraffic(game, int(state.range(0)), int(state.range(1)));
        // Warm: programs compiled, the first slices streamed in, the mission's player spawned.
        for (int i = 0; i < 30; ++i)
            game.Update(false);
        // Seen from outside the first added fighter (the mission's spawn took the cockpit of its own).
        if (first) {
            game.SetTarget(first);
            game.SetCurrentCamera(game.outside);
        }
        SectionProbe probe;
        Grp::renderProbe = &probe;
        double frames = 0;
        for (auto _ : state) {
            game.Update(false);
            ++frames;
        }
        Grp::renderProbe = nullptr;
        for (const auto& [section, ms] : probe.ms)
            state.counters[section + "_ms"] = ms / frames;
    }
    StopGameEngine(window, hwnd);
}
// The player's frame in the cockpit at 1024 x 768: frame times with the GL's work finished, then the same
// number of frames again with the probe, printed as a table by section.
void CockpitFrames(benchmark::State& state) {
    constexpr int CockpitWidth = 1024, CockpitHeight = 768;
    const auto [window, hwnd] = BenchSupport::OpenHiddenWindow("cockpit frames", CockpitWidth, CockpitHeight);
    if (!StartGameEngine(state, hwnd))
        return;
    BenchSupport::InstallGlHooks();
    {
        Fe::Frontend frontend(nullptr, nullptr, nullptr, nullptr);
        if (!RequestMission(state, frontend))
            return;
        // The clouds' layout is drawn from the clock at load: fixed here, so that runs compare.
        Base::RandomTimeStamp = [] { return 20261211u; };
        SPlr::Game game(&frontend, nullptr, nullptr, nullptr);
        // The first frame spawns the player; the traffic joins ahead of it.
        game.Update(false);
        if (!game.PlayerAirplane() || game.CurrentCamera() != game.cockpit) {
            state.SkipWithError("the mission's player is not seen from the cockpit");
            return;
        }
        AddTraffic(game, int(state.range(0)), 0, game.PlayerAirplane());
        for (int i = 0; i < 30; ++i)
            game.Update(false);
        std::vector<double> times;
        const BenchSupport::GlCounts atStart = BenchSupport::gl;
        for (auto _ : state) {
            const auto start = Clock::now();
            game.Update(false);
            glFinish();
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        const double frames = double(times.size());
        state.counters["p50_ms"] = BenchSupport::Percentile(times, 50);
        state.counters["fps_p50"] = 1000.0 / BenchSupport::Percentile(times, 50);
        state.counters["draws_per_frame"] = double(BenchSupport::gl.draws - atStart.draws) / frames;
        state.counters["states_per_frame"] = double(BenchSupport::gl.states - atStart.states) / frames;
        BenchSupport::FrameProbe probe(CockpitWidth * CockpitHeight);
        Grp::renderProbe = &probe;
        for (size_t i = 0; i < times.size(); ++i) {
            probe.StartFrame();
            game.Update(false);
            probe.EndFrame();
        }
        Grp::renderProbe = nullptr;
        state.counters["probed_ms_per_frame"] = probe.All().wallMs / probe.Frames();
        probe.Print(BenchSupport::Percentile(times, 50));
        // CORVANE_BENCH_SHOT names a file for the next frame's picture.
        if (const char* path = std::getenv("CORVANE_BENCH_SHOT")) {
            ShotProbe shot(path, CockpitWidth, CockpitHeight);
            Grp::renderProbe = &shot;
            game.Update(false);
            Grp::renderProbe = nullptr;
        }
    }
    Base::RandomTimeStamp = nullptr;
    StopGameEngine(window, hwnd);
}
BENCHMARK(CockpitFrames)->ArgName("ahead")->Arg(0)->Arg(10)->Iterations(150)->Unit(benchmark::kMillisecond);

BENCHMARK(GameFrames)
    ->Args({10, 200})
    ->Args({50, 200})
    ->Args({200, 200})
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

} // namespace
