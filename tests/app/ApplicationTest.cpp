#include "AppWindow.h"
#include "Doubles.h"

#include "app/Application.h"
#include "app/ModeMachine.h"
#include "base/AsyncLoader.h"
#include "base/InfoCache.h"
#include "frontend/Frontend.h"
#include "platform/win32/SdlWindow.h"
#include "scene/EngineHost.h"
#include "tests/support/TempDir.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using Doubles::state;
namespace fs = std::filesystem;

// Each test runs in a directory of its own, which is also its runtime directory for named objects.
class Application : public ::testing::Test {
protected:
    void SetUp() override {
        Doubles::Reset();
        dir = scratch.path;
        fs::create_directories(dir / "runtime");
        fs::create_directories(dir / "empty");
        setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    }
    void TearDown() override {
        AppWindow::DiscardMessages();
        fs::current_path("/");
    }

    // A window of the application's own procedure.
    static HWND MakeWindow() { return AppWindow::Make("GameTest"); }
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message != WM_QUIT) {
            PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    static void PushWindowEvent(HWND window, Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(Win32::SdlWindow(window));
        e.window.event = event;
        SDL_PushEvent(&e);
    }
    static void PushKey(HWND window, SDL_Scancode code, SDL_Keycode sym) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = SDL_GetWindowID(Win32::SdlWindow(window));
        e.key.keysym.scancode = code;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = KMOD_LCTRL;
        SDL_PushEvent(&e);
    }
    static bool QuitPosted() {
        MSG m;
        return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    }
    // The game itself, started in a directory with the runtime directory of this test.
    int RunGame(const fs::path& where, const std::string& redirect = "") {
        std::string command = "cd '" + where.string() + "' && XDG_RUNTIME_DIR='" +
                              (dir / "runtime").string() + "' '" + CORVANE_EXECUTABLE + "'" + redirect;
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void WriteDataFiles(const std::string& title) {
        std::ofstream(dir / "Startup.info") << "StringsInfoName Data\\Strings.info\n";
        fs::create_directories(dir / "Data");
        std::ofstream(dir / "Data" / "Strings.info")
            << "AppTitle \"" << title
            << "\"\nFontsDir F\nModelsDir M\nAnimationsDir A\nSoundsDir S\nTexturesDir T\\\n";
    }

    TestSupport::TempDir scratch{"corvane-app"};
    fs::path dir;
};

TEST_F(Application, CtrlXQuitsAfterTheFrameOnlyWithTheFocus) {
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);

    // Keys seen while another program has the focus do nothing.
    PushKey(window, SDL_SCANCODE_LCTRL, SDLK_LCTRL);
    PushKey(window, SDL_SCANCODE_X, SDLK_x);
    Pump();
    ASSERT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    ASSERT_TRUE(GetAsyncKeyState('X') & 0x8000);
    App::RunFrame();
    EXPECT_FALSE(QuitPosted());

    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushKey(window, SDL_SCANCODE_LCTRL, SDLK_LCTRL);
    PushKey(window, SDL_SCANCODE_X, SDLK_x);
    Pump();
    ASSERT_EQ(GetFocus(), window);
    App::RunFrame();
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(state.calls, "FF"); // the frame still ran

    delete App::Frontend;
    App::Frontend = nullptr;
    DestroyWindow(window);
}

TEST_F(Application, SizesBeforeTheEngineStartsChangeNothing) {
    // Showing the new window sends its first WM_SIZE, before the start-up.
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_FALSE(Rw::EngineStarted);
    EXPECT_EQ(Rw::MainWindow, nullptr);
    EXPECT_EQ(App::Frontend, nullptr);
    EXPECT_EQ(state.resizes, 0);
    RECT r;
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, 610);
    EXPECT_EQ(r.bottom, 460);

    // Once running, sizes reach the front end.
    ASSERT_TRUE(Rw::StartEngine(4096, 0, window, 0, 0));
    App::Frontend = new Fe::Frontend(nullptr, nullptr, nullptr, nullptr);
    SetWindowPos(window, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(state.resizes, 1);
    delete App::Frontend;
    App::Frontend = nullptr;
    Rw::StopEngine();
    DestroyWindow(window);
}

TEST_F(Application, ACloseAndTheEndOfTheLoopRunTheShutdownOnce) {
    if (App::InstanceMutex) // an earlier WinMain of this process holds it: this one would end at once
        GTEST_SKIP() << "needs a process of its own (as ctest runs it)";
    WriteDataFiles("Test Title");
    fs::current_path(dir);
    HWND seenWindow = nullptr;
    bool windowAliveAtShutdown = false;
    std::string title;
    RECT client{}, outer{};
    bool loaderRunning = false, loaderRunningAtShutdown = false, cachesClearedFirst = false;
    state.onFrontendUpdate = [&] {
        if (seenWindow)
            return;
        loaderRunning = Base::AsyncLoader::Running();
        Base::InfoCache::Get("Startup.info");
        // The first frame: look at the window, then press its close button.
        seenWindow = Rw::MainWindow;
        title = SDL_GetWindowTitle(Win32::SdlWindow(seenWindow));
        GetClientRect(seenWindow, &client);
        GetWindowRect(seenWindow, &outer);
        PushWindowEvent(seenWindow, SDL_WINDOWEVENT_CLOSE);
    };
    state.onFrontendDeleted = [&] {
        windowAliveAtShutdown = IsWindow(seenWindow);
        cachesClearedFirst = Base::InfoCache::Entries.empty();
        loaderRunningAtShutdown = Base::AsyncLoader::Running();
    };

    EXPECT_EQ(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW), 0);

    ASSERT_NE(seenWindow, nullptr);
    EXPECT_EQ(title, "Test Title");
    // The default settings ask for 1024 x 768 full screen: the window takes the mode's size at the top left.
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(state.frontendsDeleted, 1);
    EXPECT_TRUE(windowAliveAtShutdown); // shut down by the close, before the window went
    // The loader runs from start-up; the caches are emptied before the front end goes, the loader after.
    EXPECT_TRUE(loaderRunning);
    EXPECT_TRUE(cachesClearedFirst);
    EXPECT_TRUE(loaderRunningAtShutdown);
    EXPECT_FALSE(Base::AsyncLoader::Running());
    EXPECT_FALSE(IsWindow(seenWindow));
    EXPECT_FALSE(App::Started);
    EXPECT_FALSE(Rw::EngineStarted);
    EXPECT_EQ(App::Frontend, nullptr);
    EXPECT_EQ(App::NetSession, nullptr);
}

// A frame count given in the environment closes the window after exactly that many frames, through the same
// close as the window's button: the shutdown runs while the window is still there.
TEST_F(Application, AFrameCountClosesTheWindowAfterThatManyFrames) {
    if (App::InstanceMutex) // an earlier WinMain of this process holds it: this one would end at once
        GTEST_SKIP() << "needs a process of its own (as ctest runs it)";
    WriteDataFiles("Test Title");
    fs::current_path(dir);
    setenv("CORVANE_QUIT_AFTER_FRAMES", "3", 1);
    bool windowAliveAtShutdown = false;
    state.onFrontendDeleted = [&] { windowAliveAtShutdown = IsWindow(Rw::MainWindow); };
    ::testing::internal::CaptureStderr();
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
    const std::string said = ::testing::internal::GetCapturedStderr();
    unsetenv("CORVANE_QUIT_AFTER_FRAMES");

    EXPECT_EQ(result, 0);
    EXPECT_EQ(state.calls, "FFF");
    EXPECT_EQ(state.frontendsDeleted, 1);
    EXPECT_TRUE(windowAliveAtShutdown);
    EXPECT_FALSE(App::Started);
    EXPECT_NE(said.find("Closing after 3 frames"), std::string::npos) << said;
}

// A value that is not a count is said once and changes nothing: the game runs until it is closed.
TEST_F(Application, AFrameCountThatIsNotACountIsSaidAndIgnored) {
    if (App::InstanceMutex) // an earlier WinMain of this process holds it: this one would end at once
        GTEST_SKIP() << "needs a process of its own (as ctest runs it)";
    WriteDataFiles("Test Title");
    fs::current_path(dir);
    setenv("CORVANE_QUIT_AFTER_FRAMES", "3x", 1);
    int frames = 0;
    state.onFrontendUpdate = [&] {
        if (++frames == 5)
            PushWindowEvent(Rw::MainWindow, SDL_WINDOWEVENT_CLOSE);
    };
    ::testing::internal::CaptureStderr();
    const int result = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOW);
    const std::string said = ::testing::internal::GetCapturedStderr();
    unsetenv("CORVANE_QUIT_AFTER_FRAMES");

    EXPECT_EQ(result, 0);
    EXPECT_EQ(frames, 5);
    EXPECT_NE(said.find("CORVANE_QUIT_AFTER_FRAMES=\"3x\" is not a frame count: ignored"), std::string::npos)
        << said;
    EXPECT_EQ(said.find("Closing after"), std::string::npos) << said;
}

TEST_F(Application, ASecondCopyRaisesTheFirstAndExits) {
    // This process is the first copy, with its window minimised.
    App::SingleInstanceMessage = RegisterWindowMessageA("Corvane Single Instance Message");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Corvane Mutex");
    if (GetLastError() == ERROR_ALREADY_EXISTS) { // held by an earlier WinMain of this process
        CloseHandle(mutex);
        GTEST_SKIP() << "needs a process of its own (as ctest runs it)";
    }
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));

    // Started from a directory without data: had it gone on past the check, it would have failed there.
    EXPECT_EQ(RunGame(dir / "empty"), 0);
    for (int i = 0; i < 200 && IsIconic(window); ++i) {
        Pump();
        if (IsIconic(window))
            Sleep(5);
    }
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);

    DestroyWindow(window);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    App::SingleInstanceMessage = 0;
}

TEST_F(Application, AltF4DoesNotCloseTheWindow) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = SDL_GetWindowID(Win32::SdlWindow(window));
    e.key.keysym.scancode = SDL_SCANCODE_F4;
    e.key.keysym.sym = SDLK_F4;
    e.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&e);
    Pump();
    EXPECT_TRUE(IsWindow(window));
    DestroyWindow(window);
}

TEST_F(Application, WithoutARegisteredMessageNoMessageRaisesTheWindow) {
    App::SingleInstanceMessage = 0; // the registration failed
    HWND window = MakeWindow();
    ShowWindow(window, SW_MINIMIZE);
    SendMessageA(window, WM_NULL, 0, 0);
    EXPECT_TRUE(IsIconic(window));
    DestroyWindow(window);
}

// A runtime folder that is not the user's own (a symbolic link planted in its place): the game cannot tell
// whether another copy runs, so it says so and ends rather than run beside it.
TEST_F(Application, WithoutAPrivateRuntimeFolderTheGameSaysSoAndEnds) {
    fs::create_directories(dir / "planted" / "target");
    fs::create_directory_symlink(dir / "planted" / "target", dir / "planted" / "corvane");
    const std::string command = "cd '" + (dir / "empty").string() + "' && XDG_RUNTIME_DIR='" +
                                (dir / "planted").string() + "' '" + CORVANE_EXECUTABLE + "' 2>'" +
                                (dir / "err.txt").string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream in(dir / "err.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Message: Cannot tell whether the game is already running"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Startup.info"), std::string::npos) << text;
}

TEST_F(Application, WithoutStartupInfoTheGameSaysSoAndEndsWithCode1) {
    EXPECT_EQ(RunGame(dir / "empty", " 2>'" + (dir / "err.txt").string() + "'"), 1);
    std::ifstream in(dir / "err.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Message: Cannot find 'Startup.info' in '" + (dir / "empty").string() +
                        "'. Application exiting."),
              std::string::npos)
        << text;
}

} // namespace
