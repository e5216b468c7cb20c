#include <windows.h>

#include "platform/win32/SdlWindow.h"
#include "tests/support/TempDir.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<MSG> seen; // what the window procedure was given, in order

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    seen.push_back(m);
    return DefWindowProcA(window, message, wParam, lParam);
}

// Every test gets its own runtime directory, so that named objects of parallel test runs never meet.
class Window : public ::testing::Test {
protected:
    void SetUp() override {
        runtime = scratch.path.string();
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        WNDCLASSA c{};
        c.lpfnWndProc = RecordingProc;
        c.lpszClassName = "Test";
        if (!RegisterClassA(&c)) {
            ASSERT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
        }
        seen.clear();
    }
    void TearDown() override {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    static HWND Make(DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateWindowExA(0, "Test", "Title", style, 10, 10, 610, 460, nullptr, nullptr, nullptr,
                               nullptr);
    }
    static int Count(UINT message) {
        int n = 0;
        for (const MSG& m : seen)
            n += m.message == message;
        return n;
    }
    static void Push(HWND window, Uint8 event) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(Win32::SdlWindow(window));
        e.window.event = event;
        SDL_PushEvent(&e);
    }
    static void PushKey(HWND window, SDL_Scancode code, SDL_Keycode sym, bool down, Uint16 mod = 0) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = window ? SDL_GetWindowID(Win32::SdlWindow(window)) : 0;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        SDL_PushEvent(&e);
    }
    TestSupport::TempDir scratch{"corvane-win32"};
    std::string runtime;
};

TEST_F(Window, IsCreatedAtItsPlaceAndSizeWithAGlCapableSdlWindow) {
    HWND w = Make();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    SDL_Window* sdl = Win32::SdlWindow(w);
    ASSERT_NE(sdl, nullptr);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
    EXPECT_EQ(Win32::WindowFromSdlId(SDL_GetWindowID(sdl)), w);
    RECT client, outer;
    ASSERT_TRUE(GetClientRect(w, &client));
    EXPECT_EQ(client.right - client.left, 610);
    EXPECT_EQ(client.bottom - client.top, 460);
    ASSERT_TRUE(GetWindowRect(w, &outer));
    EXPECT_EQ(outer.left, 10);
    EXPECT_EQ(outer.top, 10);
    EXPECT_EQ(outer.right, 620);
    EXPECT_EQ(outer.bottom, 470);
    EXPECT_TRUE(SetWindowTextA(w, "Corvane"));
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Corvane");
    // Latin-1 text becomes UTF-8 for the desktop.
    EXPECT_TRUE(SetWindowTextA(w, "Caf\xE9"));
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Caf\xC3\xA9");
    EXPECT_EQ(GetWindowLongA(w, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
    EXPECT_EQ(GetMenu(w), nullptr);
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Window, UnknownClassesAndDuplicateClassesFail) {
    EXPECT_EQ(CreateWindowExA(0, "Nope", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
    WNDCLASSA c{};
    c.lpfnWndProc = RecordingProc;
    c.lpszClassName = "TEST"; // names ignore case
    EXPECT_EQ(RegisterClassA(&c), 0);
    EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);
    c.lpszClassName = nullptr;
    EXPECT_EQ(RegisterClassA(&c), 0);
}

TEST_F(Window, WmSizeComesWithTheFirstShowAndOncePerChange) {
    HWND w = Make();
    EXPECT_EQ(Count(WM_CREATE), 1);
    EXPECT_EQ(Count(WM_SIZE), 0); // not shown yet
    ShowWindow(w, SW_SHOW);
    ASSERT_EQ(Count(WM_SIZE), 1);
    EXPECT_EQ(seen.back().wParam, WPARAM(SIZE_RESTORED));
    EXPECT_EQ(LOWORD(seen.back().lParam), 610);
    EXPECT_EQ(HIWORD(seen.back().lParam), 460);
    ShowWindow(w, SW_SHOW);
    EXPECT_EQ(Count(WM_SIZE), 1); // nothing changed

    EXPECT_TRUE(SetWindowPos(w, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER));
    ASSERT_EQ(Count(WM_SIZE), 2);
    EXPECT_EQ(LOWORD(seen.back().lParam), 300);
    EXPECT_EQ(HIWORD(seen.back().lParam), 200);
    // SDL's own size event for the same change adds nothing.
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    EXPECT_EQ(Count(WM_SIZE), 2);

    ShowWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(w));
    ASSERT_EQ(Count(WM_SIZE), 3);
    EXPECT_EQ(seen.back().wParam, WPARAM(SIZE_MINIMIZED));
    RECT r;
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 0);
    ShowWindow(w, SW_SHOWNORMAL);
    EXPECT_FALSE(IsIconic(w));
    EXPECT_EQ(seen.back().wParam, WPARAM(SIZE_RESTORED));
    DestroyWindow(w);
}

TEST_F(Window, PostedMessagesComeBeforeQuitAndQuitCarriesItsCode) {
    HWND w = Make();
    PostQuitMessage(3);
    EXPECT_TRUE(PostMessageA(w, WM_USER + 1, 5, 6));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, UINT(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.hwnd, w);
    EXPECT_EQ(m.wParam, 5u);
    EXPECT_EQ(m.lParam, 6);
    DispatchMessageA(&m);
    EXPECT_EQ(seen.back().message, UINT(WM_USER + 1));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
}

TEST_F(Window, CloseButtonBecomesWmCloseAndDefaultHandlingDestroys) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    PostMessageA(w, WM_USER, 0, 0); // dropped with the window
    Push(w, SDL_WINDOWEVENT_CLOSE);
    MSG m;
    while (IsWindow(w) && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Count(WM_CLOSE), 1);
    EXPECT_EQ(Count(WM_DESTROY), 1);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Window, KeysFollowTheEventsAndFocus) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    EXPECT_EQ(GetFocus(), nullptr);
    Push(w, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushKey(w, SDL_SCANCODE_LCTRL, SDLK_LCTRL, true, KMOD_LCTRL);
    PushKey(w, SDL_SCANCODE_X, SDLK_x, true, KMOD_LCTRL);
    MSG m;
    std::vector<MSG> keys;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (m.message == WM_KEYDOWN)
            keys.push_back(m);
    EXPECT_EQ(GetFocus(), w);
    EXPECT_EQ(Count(WM_SETFOCUS), 1);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].wParam, WPARAM(VK_CONTROL));
    EXPECT_EQ(keys[1].wParam, WPARAM('X'));
    EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    EXPECT_TRUE(GetAsyncKeyState(VK_LCONTROL) & 0x8000);
    EXPECT_FALSE(GetAsyncKeyState(VK_RCONTROL) & 0x8000);
    EXPECT_TRUE(GetAsyncKeyState('X') & 0x8000);
    EXPECT_FALSE(GetAsyncKeyState('Y') & 0x8000);

    PushKey(w, SDL_SCANCODE_X, SDLK_x, false);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_FALSE(GetAsyncKeyState('X') & 0x8000);
    // Keys still down when the focus goes are let go.
    Push(w, SDL_WINDOWEVENT_FOCUS_LOST);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(Count(WM_KILLFOCUS), 1);
    EXPECT_FALSE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    DestroyWindow(w);
}

TEST_F(Window, AltF4IsASystemKeyThatDefaultHandlingTurnsIntoClose) {
    HWND w = Make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    Push(w, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushKey(w, SDL_SCANCODE_F4, SDLK_F4, true, KMOD_LALT);
    MSG m;
    while (IsWindow(w) && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    EXPECT_EQ(Count(WM_SYSKEYDOWN), 1);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Window, RegisteredMessagesAreNumberedByNameIgnoringCase) {
    UINT a = RegisterWindowMessageA("Corvane Test Message");
    EXPECT_GE(a, UINT(WM_REGISTERED_FIRST));
    EXPECT_EQ(RegisterWindowMessageA("corvane test MESSAGE"), a);
    EXPECT_NE(RegisterWindowMessageA("Another"), a);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST_F(Window, ABroadcastReachesEveryWindow) {
    HWND a = Make(), b = Make();
    UINT id = RegisterWindowMessageA("Corvane Test Broadcast");
    EXPECT_TRUE(PostMessageA(HWND_BROADCAST, id, 1, 2));
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    std::vector<HWND> reached;
    for (const MSG& s : seen)
        if (s.message == id)
            reached.push_back(s.hwnd);
    EXPECT_EQ(reached, (std::vector<HWND>{a, b}));
    DestroyWindow(a);
    DestroyWindow(b);
}

// A second program of the same user sees the named mutex and its broadcast reaches this program's window.
TEST_F(Window, NamedMutexesAndBroadcastsReachOtherProcesses) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "Corvane Test Instance");
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    UINT id = RegisterWindowMessageA("Corvane Test Raise");
    HWND w = Make();
    std::string command = std::string(BROADCAST_HELPER) + " 'Corvane Test Instance' 'Corvane Test Raise'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3); // the helper found the mutex held and broadcast

    MSG m;
    bool raised = false;
    for (int i = 0; i < 100 && !raised; ++i) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            raised |= m.message == id && m.hwnd == w && m.wParam == 7 && m.lParam == 9;
        if (!raised)
            Sleep(5);
    }
    EXPECT_TRUE(raised);

    // Once this program lets go of the name, another program creates it afresh.
    CloseHandle(mutex);
    status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 4);
    DestroyWindow(w);
}

// A local process writing straight to this program's socket can send only the registered messages this
// program knows: a datagram carrying WM_CLOSE (or any other number) is dropped.
TEST_F(Window, ADatagramWithAMessageNumberIsDropped) {
    UINT id = RegisterWindowMessageA("Corvane Test Front");
    HWND w = Make();
    const std::string socketPath = runtime + "/corvane/window-" + std::to_string(getpid()) + ".sock";
    ASSERT_TRUE(std::filesystem::exists(socketPath));
    auto send = [&](uint32_t message, const std::string& name) {
        // The record: magic "CVBM", message, wParam, lParam, name length, name.
        unsigned char d[28 + 64] = {};
        const uint32_t magic = 0x4D425643, length = uint32_t(name.size());
        std::memcpy(d, &magic, 4);
        std::memcpy(d + 4, &message, 4);
        std::memcpy(d + 24, &length, 4);
        std::memcpy(d + 28, name.data(), name.size());
        int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(sendto(fd, d, 28 + name.size(), 0, reinterpret_cast<sockaddr*>(&address), sizeof address),
                  ssize_t(28 + name.size()));
        close(fd);
    };
    send(WM_CLOSE, "");
    send(WM_KEYDOWN, "");
    send(0, "Corvane Test Front");
    MSG m;
    std::vector<UINT> arrived;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        if (m.message == WM_CLOSE || m.message == WM_KEYDOWN || m.message == id)
            arrived.push_back(m.message);
    EXPECT_EQ(arrived, std::vector<UINT>{id});
    EXPECT_TRUE(IsWindow(w));
    DestroyWindow(w);
}

TEST_F(Window, ADisplayModeAndASystemVersionAreReported) {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_GT(mode.dmPelsWidth, 0u);
    EXPECT_GT(mode.dmPelsHeight, 0u);
    EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, 0), DISP_CHANGE_SUCCESSFUL);
    mode.dmPelsWidth += 1;
    EXPECT_EQ(ChangeDisplaySettingsA(&mode, 0), DISP_CHANGE_BADMODE);
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_GE(version.dwMajorVersion, 6u);
}

TEST_F(Window, MessageBoxesWriteToStderrWithoutADisplay) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Something failed.", "Message", 0x40030), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Message: Something failed.\n");
}

} // namespace
