#include "AppWindow.h"
#include "Doubles.h"

#include "app/Application.h"
#include "app/Startup.h"
#include "games/MPlrGame.h"
#include "games/SPlrGame.h"
#include "audio/Device.h"
#include "base/AnimationCache.h"
#include "base/AsyncLoader.h"
#include "base/CacheLoaders.h"
#include "base/Config.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/SoundCache.h"
#include "base/TextTable.h"
#include "cameras/SceneLights.h"
#include "gui/draw/Font.h"
#include "input/DirectInput.h"
#include "objects/Sky.h"
#include "platform/win32/SdlWindow.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/hanim/rphanim.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/baclump.h"
#include "scene/Clump.h"
#include "scene/EngineHost.h"
#include "tests/support/TempDir.h"

#include <SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Doubles::state;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

std::vector<std::string> steps;

const char* Directories = "FontsDir Fonts\nModelsDir Models\nAnimationsDir Anims\nSoundsDir Sounds\n"
                          "TexturesDir Tex\\;Tex2\\\n";

// Each test runs in a directory of its own: its data files, its settings and its runtime directory.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        Doubles::Reset();
        steps.clear();
        App::StepListener = [](const char* step) { steps.push_back(step); };
        dir = scratch.path;
        fs::create_directories(dir / "runtime");
        fs::create_directories(dir / "Data");
        setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
        fs::current_path(dir);
        // Windowed, so that the tests leave the desktop alone.
        Base::Config settings;
        settings.SetDefaults();
        settings.displayWidth = 0;
        settings.displayHeight = 0;
        settings.Save(Base::ConfigFileName);
    }
    void TearDown() override {
        App::StepListener = nullptr;
        AppWindow::DiscardMessages();
        fs::current_path("/");
    }

    static HWND MakeWindow() { return AppWindow::Make("StartupTest"); }
    static void WriteStrings(const std::string& text) {
        std::ofstream("Startup.info") << "StringsInfoName Data\\Strings.info\n";
        std::ofstream("Data/Strings.info") << text;
    }

    TestSupport::TempDir scratch{"corvane-startup"};
    fs::path dir;
};

TEST_F(Startup, InitLeavesEverythingUpBeforeTheFrontEnd) {
    WriteStrings(std::string("AppTitle \"Test Title\"\n") + Directories);
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    std::string title;
    bool devicesMadeFirst = false, engineUp = false, formatsUp = false, inputUp = false;
    state.onFrontendCreated = [&] {
        title = SDL_GetWindowTitle(Win32::SdlWindow(window));
        devicesMadeFirst = App::Keyboard && App::Mouse && App::Joystick && App::NetSession;
        engineUp = Rw::EngineStarted;
        formatsUp = Rw::ImageFormatsRegistered;
        inputUp = Input::DirectInput != nullptr;
    };

    ::testing::internal::CaptureStderr();
    App::Init(GetModuleHandleA(nullptr), window);
    const std::string said = ::testing::internal::GetCapturedStderr();

    EXPECT_FALSE(steps.empty());
    EXPECT_TRUE(App::Started);
    EXPECT_EQ(said.find("No sound device"), std::string::npos) << said; // the null output is a device
    EXPECT_EQ(App::Mode, App::FrontendMode);
    EXPECT_EQ(state.frontends, 1);
    EXPECT_EQ(title, "Test Title");
    EXPECT_TRUE(devicesMadeFirst);
    EXPECT_TRUE(engineUp);
    EXPECT_TRUE(formatsUp);
    EXPECT_TRUE(inputUp);
    EXPECT_EQ(Rw::MainWindow, window);
    EXPECT_EQ(Base::SoundCache::Directory, "Sounds");
    EXPECT_STREQ(RwImageGetPath(), "Tex\\;Tex2\\");
    EXPECT_NE(RwImageFindFormat(".bmp"), nullptr);
    EXPECT_NE(RwImageFindFormat(".tif"), nullptr);
    EXPECT_NE(RwImageFindFormat(".png"), nullptr);
    EXPECT_EQ(Base::GetText("FontsDir"), "Fonts"); // the strings file became the text table
    EXPECT_EQ(Base::FontCache::Load, &Gui::Font::Load);
    EXPECT_EQ(Base::FontCache::Delete, &Gui::Font::Delete);
    // The caches whose layers are built have their loaders; any other is named by start-up, once.
    const std::vector<std::string> missing = Base::CachesWithoutLoader();
    for (const char* built : {"font", "model", "animation", "sound"})
        EXPECT_EQ(std::count(missing.begin(), missing.end(), built), 0) << built;
    for (const std::string& cache : missing)
        EXPECT_NE(said.find("The " + cache + " cache has no loader installed"), std::string::npos) << cache;
    // So are the hooks that lower layers call: far models' points, the sky's lights.
    EXPECT_NE(Obj::Clump::DrawPoint, nullptr);
    EXPECT_EQ(Obj::Sky::CreateLights, &Lights::CreateSkyLights);
    for (const std::string& hook : Base::HooksNotInstalled())
        EXPECT_NE(said.find("The hook " + hook + " is not installed"), std::string::npos) << hook;
    // Models come through the clump cache, read by the engine's world modules and user data.
    EXPECT_NE(Base::ClumpCache::Read, nullptr);
    EXPECT_EQ(Base::ClumpCache::Clone, &RpClumpClone);
    EXPECT_NE(Base::ClumpCache::Destroy, nullptr);
    EXPECT_GE(RwEngineGetPluginOffset(rwID_CLUMPMODULE), 0);
    EXPECT_GE(RwEngineGetPluginOffset(rwID_USERDATAPLUGIN), 0);
    // Animations come through the animation cache, played by the hierarchical animation plugin.
    EXPECT_NE(Base::AnimationCache::Read, nullptr);
    EXPECT_NE(Base::AnimationCache::Destroy, nullptr);
    EXPECT_GE(RwEngineGetPluginOffset(rwID_HANIMPLUGIN), 0);
    EXPECT_GE(RwEngineGetPluginOffset(rwID_COLLISPLUGIN), 0);
    EXPECT_GE(RwEngineGetPluginOffset(rwID_RTANIM), 0);
    EXPECT_NE(RtAnimGetInterpolatorInfo(rpHANIMSTDKEYFRAMETYPEID), nullptr);

    App::Shutdown();
    DestroyWindow(window);
}

// Settings naming a mode the machine does not offer start in the nearest mode, and say so once.
TEST_F(Startup, AModeTheMachineLacksFallsBackToTheNearestAndSaysSo) {
    WriteStrings(Directories);
    Base::Config settings;
    settings.SetDefaults();
    settings.displayWidth = 1234;
    settings.displayHeight = 567;
    settings.Save(Base::ConfigFileName);
    HWND window = MakeWindow();
    ::testing::internal::CaptureStderr();
    App::Init(GetModuleHandleA(nullptr), window);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(App::Started);
    EXPECT_TRUE(Rw::EngineStarted);
    const std::string notice =
        "Message: The display mode 1234 x 567 is not available on this machine: using ";
    ASSERT_NE(said.find(notice), std::string::npos) << said;
    EXPECT_EQ(said.find(notice, said.find(notice) + 1), std::string::npos) << "said once";
    RwVideoMode mode{};
    ASSERT_NE(RwEngineGetVideoModeInfo(&mode, RwEngineGetCurrentVideoMode()), nullptr);
    const std::string chosen = std::to_string(mode.width) + " x " + std::to_string(mode.height) + " instead.";
    EXPECT_NE(said.find(notice + chosen), std::string::npos) << said;
    App::Shutdown();
    DestroyWindow(window);
}

// A full-screen mode covers the whole desktop (the frame scaled into it), and the window is a window again
// after the shutdown.
TEST_F(Startup, AFullScreenModeCoversTheDesktop) {
    WriteStrings(Directories);
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW); // as the game's window is
    SDL_DisplayMode desktop{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0) << SDL_GetError();
    Base::Config settings;
    settings.SetDefaults();
    settings.displayWidth = 640;
    settings.displayHeight = 480;
    settings.Save(Base::ConfigFileName);
    App::Init(GetModuleHandleA(nullptr), window);
    ASSERT_TRUE(Rw::EngineStarted);
    RwVideoMode mode{};
    ASSERT_NE(RwEngineGetVideoModeInfo(&mode, RwEngineGetCurrentVideoMode()), nullptr);
    EXPECT_TRUE(mode.flags & rwVIDEOMODEEXCLUSIVE);
    EXPECT_EQ(mode.width, 640);
    SDL_Window* sdl = Win32::SdlWindow(window);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN);
    int w = 0, h = 0;
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ(w, desktop.w);
    EXPECT_EQ(h, desktop.h);
    App::Shutdown();
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN);
    DestroyWindow(window);
}

TEST_F(Startup, ShutdownTearsDownInDependencyOrderOnlyOnce) {
    WriteStrings(Directories); // and no title: an empty one
    HWND window = MakeWindow();
    App::Init(GetModuleHandleA(nullptr), window);
    EXPECT_STREQ(SDL_GetWindowTitle(Win32::SdlWindow(window)), "");
    App::SplrGame = new SPlr::Game(App::Frontend, App::Keyboard, App::Mouse, App::Joystick);
    App::MplrGame = new MPlr::Game(App::Frontend, App::Keyboard, App::Mouse, App::Joystick);
    Base::SoundCache::Entries.emplace("Missing.wav", nullptr);
    bool cachesClearedFirst = false, gamesGoneFirst = false, restStillUp = false;
    state.onFrontendDeleted = [&] {
        cachesClearedFirst = Base::SoundCache::Entries.empty();
        gamesGoneFirst = state.splrGames == 0 && state.mplrGames == 0;
        restStillUp = App::Keyboard && App::NetSession && Input::DirectInput && Rw::EngineStarted &&
                      Rw::ImageFormatsRegistered && Base::AsyncLoader::Running();
    };
    steps.clear();

    App::Shutdown();

    EXPECT_FALSE(steps.empty());
    EXPECT_TRUE(cachesClearedFirst);
    EXPECT_TRUE(gamesGoneFirst);
    EXPECT_TRUE(restStillUp);
    EXPECT_FALSE(App::Started);
    for (void* global :
         {(void*)App::Frontend, (void*)App::SplrGame, (void*)App::MplrGame, (void*)App::Keyboard,
          (void*)App::Mouse, (void*)App::Joystick, (void*)App::NetSession})
        EXPECT_EQ(global, nullptr);
    EXPECT_EQ(Input::DirectInput, nullptr);
    EXPECT_EQ(Audio::DirectSound, nullptr);
    EXPECT_FALSE(Rw::ImageFormatsRegistered);
    EXPECT_FALSE(Base::AsyncLoader::Running());
    EXPECT_FALSE(Rw::EngineStarted);
    EXPECT_EQ(state.frontendsDeleted, 1);

    // A second run (the end of the loop after a close) does nothing.
    steps.clear();
    App::Shutdown();
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(state.frontendsDeleted, 1);
    DestroyWindow(window);
}

// The fatal failures end the process: each runs in a child, which also reports its steps and, as it ends,
// whether the engine still runs.
struct FatalCase {
    const char* name;
    const char* startup; // null: no "Startup.info"
    const char* strings; // null: no strings file
    uint32_t width, height;
    int exitCode;
    const char* message;
    bool reachesEngine;                // the engine start is tried
    const char* alsoSaid = "";         // another line the child writes
    const char* environment = nullptr; // NAME=value set for the child
};

void PrintTo(const FatalCase& c, std::ostream* out) {
    *out << c.name;
}

class StartupFatal : public Startup, public ::testing::WithParamInterface<FatalCase> {};

void ReportStep(const char* step) {
    std::fprintf(stderr, "step: %s\n", step);
}
fs::path childDir; // the child ends without the fixture's clean-up
void ReportEngineAtExit() {
    std::fprintf(stderr, "engine at exit: %s\n", Rw::EngineStarted ? "running" : "stopped");
    std::error_code ignored;
    fs::remove_all(childDir, ignored);
}

TEST_P(StartupFatal, ShowsItsMessageAndEndsWithItsCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const FatalCase& c = GetParam();
    if (c.startup)
        std::ofstream("Startup.info") << c.startup;
    if (c.strings)
        std::ofstream("Data/Strings.info") << c.strings;
    Base::Config settings;
    settings.SetDefaults();
    settings.displayWidth = c.width;
    settings.displayHeight = c.height;
    settings.Save(Base::ConfigFileName);

    auto run = [] {
        App::StepListener = ReportStep;
        childDir = fs::current_path();
        std::atexit(ReportEngineAtExit);
        App::Init(GetModuleHandleA(nullptr), MakeWindow());
    };
    using Text = ::testing::Matcher<const std::string&>;
    Text engineTried = HasSubstr("step: start engine");
    if (!c.reachesEngine)
        engineTried = Not(engineTried);
    // A running engine is stopped and the display given back before the process ends.
    Text engineStopped = HasSubstr("step: stop engine\nstep: restore display\n");
    if (!(c.reachesEngine && c.exitCode == 1))
        engineStopped = Not(HasSubstr("step: stop engine"));
    std::string variable;
    if (c.environment) {
        variable = c.environment;
        setenv(variable.substr(0, variable.find('=')).c_str(),
               variable.substr(variable.find('=') + 1).c_str(), 1);
    }
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(c.exitCode & 0xFF),
                AllOf(HasSubstr(std::string("Message: ") + c.message), HasSubstr(c.alsoSaid),
                      HasSubstr("engine at exit: stopped"), engineTried, engineStopped,
                      Not(HasSubstr("step: create front end"))));
    if (c.environment)
        unsetenv(variable.substr(0, variable.find('=')).c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupFatal,
    ::testing::Values(
        FatalCase{"NoStartupFile", nullptr, "", 0, 0, 1, "Cannot find 'Startup.info' in '", false,
                  "'. Application exiting."},
        FatalCase{"NoStringsKey", "Other x\n", "", 0, 0, 1,
                  "Cannot find StringsInfoName entry in Startup.info. Application exiting.", false},
        FatalCase{
            "NoStringsFile", "StringsInfoName Data\\Missing.info\n", nullptr, 0, 0, 1,
            "One or more game directories unspecified in 'Data\\Missing.info' file. Application exiting.",
            true},
        FatalCase{
            "OneDirectoryMissing", "StringsInfoName Data\\Strings.info\n",
            "FontsDir F\nModelsDir M\nAnimationsDir A\nTexturesDir T\n", 0, 0, 1,
            "One or more game directories unspecified in 'Data\\Strings.info' file. Application exiting.",
            true},
        FatalCase{"StartupParseError", "StringsInfoName Data\\Strings.info\nA.B 1\nA 2\n", "", 0, 0, 1,
                  "Error in 'Startup.info' at line 3. Application exiting.", false},
        FatalCase{"StringsParseError", "StringsInfoName Data\\Strings.info\n", "FontsDir F\n}\n", 0, 0, 1,
                  "Error in 'Data\\Strings.info' at line 2. Application exiting.", false},
        // The strings file named as a device: refused at once, with what it is, instead of read forever.
        FatalCase{"StringsFileIsADevice", "StringsInfoName \\dev\\zero\n", nullptr, 0, 0, 1,
                  "One or more game directories unspecified in '\\dev\\zero' file. Application exiting.",
                  true, "Cannot read '\\dev\\zero': it is not a regular file."},
        // A machine without OpenGL 3.3: the engine cannot start, and the message says why.
        FatalCase{"NoOpenGl33", "StringsInfoName Data\\Strings.info\n", "", 0, 0, -1,
                  "Cannot initialize Lumicaster.", true,
                  "The Direct3D 9 device could not be created (it needs OpenGL 3.3).",
                  "MESA_GL_VERSION_OVERRIDE=3.0"}),
    [](const ::testing::TestParamInfo<FatalCase>& info) { return std::string(info.param.name); });

// Without a sound device the game starts and runs silent, and says why there is no sound: in that one line
// alone, without the sound libraries' own (an ALSA whose configuration has no output stands for a machine
// without a sound card). Run in a child: the sound library picks its driver once a process.
TEST_F(Startup, WithoutASoundDeviceTheGameRunsSilentAndSaysSoAlone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WriteStrings(Directories);
    const std::string noOutputs = (dir / "alsa.conf").string();
    std::ofstream(noOutputs) << "# no cards, no outputs\n";
    const char* const names[] = {"ALSOFT_DRIVERS", "ALSA_CONFIG_PATH", "ALSOFT_LOGLEVEL", "TMPDIR"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    unsetenv("ALSOFT_LOGLEVEL");
    // The child runs the fixture again and ends without exit(): its scratch folder goes in ours.
    setenv("TMPDIR", dir.c_str(), 1);
    for (const char* driver : {"no-such-driver", "alsa"}) {
        SCOPED_TRACE(driver);
        setenv("ALSOFT_DRIVERS", driver, 1);
        setenv("ALSA_CONFIG_PATH", noOutputs.c_str(), 1);
        EXPECT_EXIT(
            {
                App::Init(GetModuleHandleA(nullptr), MakeWindow());
                std::fprintf(stderr, "started: %d\n", int(App::Started));
                App::Shutdown();
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(0),
            AllOf(HasSubstr("No sound device could be opened: the game runs without sound.\n"),
                  HasSubstr("started: 1\n"), Not(HasSubstr("Message:")), Not(HasSubstr("ALSA lib")),
                  Not(HasSubstr("AL lib"))));
    }
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i])
            setenv(names[i], saved[i]->c_str(), 1);
        else
            unsetenv(names[i]);
    }
}

// The game itself on the sample data, in a process of its own; the data is shared, the settings that the game
// saves are its own.
class SampleGame : public Startup {
protected:
    void SetUp() override {
        Startup::SetUp();
        const fs::path data = fs::path(CORVANE_BINARY_DIR) / "data";
        ASSERT_TRUE(fs::exists(data / "Startup.info")) << "build the sample_data target";
        fs::remove_all(dir / "Data");
        fs::remove(Base::ConfigFileName);
        for (const auto& entry : fs::directory_iterator(data))
            if (entry.path().filename() != "Config.dat")
                fs::create_symlink(entry.path(), dir / entry.path().filename());
    }
    // Starts the game; frames, when given, is its CORVANE_QUIT_AFTER_FRAMES. fileSize limits the size of
    // the files it may write (RLIMIT_FSIZE).
    pid_t Start(const char* frames, rlim_t fileSize = RLIM_INFINITY) {
        pid_t child = fork();
        if (child == 0) {
            freopen((dir / "err.txt").c_str(), "w", stderr);
            if (frames)
                setenv("CORVANE_QUIT_AFTER_FRAMES", frames, 1);
            const rlimit limit{fileSize, fileSize};
            if (fileSize != RLIM_INFINITY && setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(126);
            execl(CORVANE_EXECUTABLE, CORVANE_EXECUTABLE, static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }
    // Waits for the game to end; what it said on stderr.
    std::string Finish(pid_t child, int& status) {
        EXPECT_EQ(waitpid(child, &status, 0), child);
        std::ifstream in(dir / "err.txt");
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Starts the game and sends it the signal once it catches it (its window layer is up); the game must end
    // as on a close: exit code 0, nothing shown, the settings saved.
    void ExpectACleanQuitOn(int signal) {
        const pid_t child = Start(nullptr);
        ASSERT_GT(child, 0);
        auto catches = [&] {
            std::ifstream status("/proc/" + std::to_string(child) + "/status");
            std::string line;
            while (std::getline(status, line))
                if (line.rfind("SigCgt:", 0) == 0)
                    return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
            return 0ull;
        };
        int status = 0;
        pid_t ended = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!catches() && (ended = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            usleep(10000);
        ASSERT_EQ(ended, 0) << "the game ended before it caught the signal";
        kill(child, signal);
        const std::string err = Finish(child, status);
        ASSERT_TRUE(WIFEXITED(status)) << (WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "") << "\n"
                                       << err;
        EXPECT_EQ(WEXITSTATUS(status), 0) << err;
        EXPECT_THAT(err, Not(HasSubstr("Message:")));
        EXPECT_TRUE(fs::exists(dir / Base::ConfigFileName));
    }
};

// It starts and runs frames until the count it was given closes its window; the close runs the whole
// shutdown, which saves the settings.
TEST_F(SampleGame, RunsFramesAndQuitsOnAClose) {
    const pid_t child = Start("30");
    ASSERT_GT(child, 0);
    int status = 0;
    const std::string err = Finish(child, status);
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_THAT(err, HasSubstr("Closing after 30 frames"));
    EXPECT_THAT(err, Not(HasSubstr("Message:")));
    EXPECT_TRUE(fs::exists(dir / Base::ConfigFileName));
}

// A limit on the size of files (set by the player's shell or session) is a failed save like a full disk:
// the game says so, keeps the old settings and ends normally, rather than being killed by the kernel's
// signal as it saves.
TEST_F(SampleGame, AFileSizeLimitIsAFailedSaveNotAKill) {
    Base::Config old;
    old.displayWidth = 0;
    old.displayHeight = 0;
    ASSERT_TRUE(old.Save(Base::ConfigFileName));
    const pid_t child = Start("5", 500); // room for what it says, not for the 588 bytes of the settings
    ASSERT_GT(child, 0);
    int status = 0;
    const std::string err = Finish(child, status);
    ASSERT_TRUE(WIFEXITED(status)) << (WIFSIGNALED(status) ? strsignal(WTERMSIG(status)) : "") << "\n" << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_THAT(err, HasSubstr("Cannot save the settings to 'Config.dat': File too large."));
    Base::Config back;
    ASSERT_TRUE(back.Load(Base::ConfigFileName));
    EXPECT_TRUE(back == old);
    EXPECT_FALSE(fs::exists(dir / "Config.dat.new"));
}

// A request to end (as the desktop sends on logout) closes it cleanly too, even while it still loads.
TEST_F(SampleGame, QuitsCleanlyOnATerminateSignal) {
    ExpectACleanQuitOn(SIGTERM);
}

// So does a hang-up of the terminal that started it.
TEST_F(SampleGame, QuitsCleanlyOnAHangUp) {
    ExpectACleanQuitOn(SIGHUP);
}

} // namespace
