#include "app/Application.h"

#include "app/ModeMachine.h"
#include "app/Startup.h"
#include "frontend/Frontend.h"
#include "base/String.h"
#include "scene/EngineHost.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace App {

UINT SingleInstanceMessage = 0;
bool Started = false;
int32_t Mode = FrontendMode;
Fe::Frontend* Frontend = nullptr;
SPlr::Game* SplrGame = nullptr;
MPlr::Game* MplrGame = nullptr;
Input::Keyboard* Keyboard = nullptr;
Input::Mouse* Mouse = nullptr;
Input::Joystick* Joystick = nullptr;
MPlr::Session* NetSession = nullptr;
HANDLE InstanceMutex = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A second copy was started: this one comes to the front instead.
    if (SingleInstanceMessage != 0 && message == SingleInstanceMessage) {
        SetForegroundWindow(window);
        ShowWindow(window, SW_SHOWNORMAL);
        return 0;
    }
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        OnResize(LOWORD(lParam), HIWORD(lParam));
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_CLOSE:
        Shutdown();
        DestroyWindow(window);
        return 0;
    case WM_SYSKEYDOWN: // keeps Alt+F4 from closing the window
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void OnResize(int width, int height) {
    // Sizes that come while the window is made, before the engine and the front end exist, change nothing.
    Rw::ResizeDisplay(width, height);
    if (Frontend)
        Frontend->OnResize();
}

} // namespace App

namespace {

// CORVANE_QUIT_AFTER_FRAMES=n closes the window after n frames, the way its close button does: smoke tests
// and timed runs end the game through its own shutdown. 0 when unset, or when it is not a count (said once).
uint64_t FramesBeforeClose() {
    const char* text = std::getenv("CORVANE_QUIT_AFTER_FRAMES");
    if (!text || !*text)
        return 0;
    const char* end = text + std::strlen(text);
    uint64_t frames = 0;
    const auto [stop, error] = std::from_chars(text, end, frames);
    if (error != std::errc() || stop != end || frames == 0) {
        std::fprintf(stderr, "CORVANE_QUIT_AFTER_FRAMES=\"%s\" is not a frame count: ignored\n",
                     Base::Clip(text).c_str());
        return 0;
    }
    return frames;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    App::SingleInstanceMessage = RegisterWindowMessageA("Corvane Single Instance Message");
    App::InstanceMutex = CreateMutexA(nullptr, TRUE, "Corvane Mutex");
    // Without the shared name another copy could run unseen and save over this one's files.
    if (!App::InstanceMutex) {
        MessageBoxA(
            nullptr,
            "Cannot tell whether the game is already running: the user's runtime folder is missing or "
            "not the user's own. Application exiting.",
            "Message", App::MessageBoxFlags);
        return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (App::SingleInstanceMessage != 0)
            PostMessageA(HWND_BROADCAST, App::SingleInstanceMessage, 0, 0);
        return 0;
    }

    LOGBRUSH hollow{};
    hollow.lbStyle = BS_NULL;
    HBRUSH brush = CreateBrushIndirect(&hollow);

    // No icon or cursor of its own: the desktop's are used.
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = App::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = brush;
    windowClass.lpszClassName = "Game";
    if (!RegisterClassA(&windowClass)) {
        MessageBoxA(nullptr, "Cannot register window class.", "Message", App::MessageBoxFlags);
        ExitProcess(0);
    }

    HWND window = CreateWindowExA(0, "Game", "...", WS_OVERLAPPEDWINDOW, 10, 10, 610, 460, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) {
        MessageBoxA(nullptr, "Cannot create application window. The application will now shutdown.",
                    "Message", App::MessageBoxFlags);
        return -1;
    }
    ShowWindow(window, SW_SHOW);

    App::Init(instance, window);

    const uint64_t closeAfter = FramesBeforeClose();
    uint64_t frames = 0;
    const auto firstFrame = std::chrono::steady_clock::now();

    // A frame runs whenever no message waits.
    MSG msg;
    while (IsWindow(window)) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            App::RunFrame();
            if (++frames == closeAfter) {
                const std::chrono::duration<double> took = std::chrono::steady_clock::now() - firstFrame;
                std::fprintf(stderr, "Closing after %llu frames: %.1f frames per second\n",
                             static_cast<unsigned long long>(frames), double(frames) / took.count());
                PostMessageA(window, WM_CLOSE, 0, 0);
            }
        }
    }

    DeleteObject(brush);
    App::Shutdown(); // nothing when the window's close has run it already
    return 0;
}
