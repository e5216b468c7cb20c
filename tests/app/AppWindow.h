// The application tests' window: one of the application's own procedure, and the queue emptied after a test.
#pragma once

#include "app/Application.h"

#include <windows.h>

namespace AppWindow {

// A window of App::WindowProc, its class registered under that name.
inline HWND Make(const char* className) {
    WNDCLASSA c{};
    c.lpfnWndProc = App::WindowProc;
    c.lpszClassName = className;
    RegisterClassA(&c);
    return CreateWindowExA(0, className, "...", WS_OVERLAPPEDWINDOW, 10, 10, 610, 460, nullptr, nullptr,
                           nullptr, nullptr);
}

// Drops whatever is left in the message queue.
inline void DiscardMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
}

} // namespace AppWindow
