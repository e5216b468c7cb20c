// Window classes and windows of the Win32 layer, each window an SDL window that can carry a GL context.
#include <windows.h>

#include "platform/win32/UserRuntime.h"
#include "platform/win32/Text.h"
#include "platform/win32/SdlWindow.h"
#include "platform/win32/WindowHandle.h"
#include "platform/win32/WindowLayer.h"
#include "platform/win32/WindowList.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <map>
#include <mutex>
#include <string>

namespace {

struct WindowClass {
    std::string name;
    WNDPROC proc = nullptr;
};

struct Classes {
    std::mutex lock;
    std::map<std::string, WindowClass> byName; // by lower-case name: class names ignore case
    ATOM nextAtom = 0xC000;
};
Classes& TheClasses() {
    static Classes classes;
    return classes;
}

HWND foreground = nullptr;

bool IsOurWindow(HWND window) {
    return Win32::IsListedWindow(window) && window->sdl;
}

// The client area's size in drawing pixels (which differ from window units on high-density displays), or the
// mode's size while a full-screen device covers the window.
void DrawableSize(HWND window, int& width, int& height) {
    if (window->fullScreenWidth > 0) {
        width = window->fullScreenWidth;
        height = window->fullScreenHeight;
        return;
    }
    SDL_GL_GetDrawableSize(window->sdl, &width, &height);
}

// The window's SIZE_* state as WM_SIZE reports it.
int SizeType(HWND window) {
    Uint32 flags = SDL_GetWindowFlags(window->sdl);
    if (window->minimized || (flags & SDL_WINDOW_MINIMIZED))
        return SIZE_MINIMIZED;
    if (window->maximized || (flags & SDL_WINDOW_MAXIMIZED))
        return SIZE_MAXIMIZED;
    return SIZE_RESTORED;
}

// SDL turns SIGINT and SIGTERM into SDL_QUIT, which closes the windows. A hang-up of the terminal that
// started the game ends it the same way (saving its settings) rather than killing it: it is passed on as a
// SIGTERM, which is safe in a signal handler.
void PassHangUpOn(int) {
    raise(SIGTERM);
}

void CloseOnHangUp() {
    struct sigaction term = {};
    struct sigaction hangUp = {};
    if (sigaction(SIGTERM, nullptr, &term) != 0 || sigaction(SIGHUP, nullptr, &hangUp) != 0)
        return;
    const bool termCaught =
        (term.sa_flags & SA_SIGINFO) || (term.sa_handler != SIG_DFL && term.sa_handler != SIG_IGN);
    // A hang-up that the starter chose to ignore (nohup) or handles itself is left alone.
    const bool hangUpDefault = !(hangUp.sa_flags & SA_SIGINFO) && hangUp.sa_handler == SIG_DFL;
    if (!termCaught || !hangUpDefault)
        return;
    struct sigaction passOn = {};
    passOn.sa_handler = PassHangUpOn;
    sigemptyset(&passOn.sa_mask);
    sigaction(SIGHUP, &passOn, nullptr);
}

} // namespace

namespace Win32 {

bool StartVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    // The program decides when it ends: closing its last window must not also post SDL_QUIT.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    CloseOnHangUp();
    // Keeps the GL driver loaded while the program runs, rather than unloading it with each last GL window.
    SDL_GL_LoadLibrary(nullptr);
    AskDeviceFrameBuffer();
    return true;
}

void ReportClientSize(HWND window) {
    if (!IsOurWindow(window) || !window->proc || !window->shownOnce || window->destroying)
        return;
    int type = SizeType(window);
    int width = 0, height = 0;
    if (type != SIZE_MINIMIZED) // a minimised window has an empty client area
        DrawableSize(window, width, height);
    if (type == window->reportedType && width == window->reportedWidth && height == window->reportedHeight)
        return;
    window->reportedType = type;
    window->reportedWidth = width;
    window->reportedHeight = height;
    SendMessageA(window, WM_SIZE, WPARAM(type), MAKELPARAM(width, height));
}

std::string ToUtf8(const char* text) {
    if (!text)
        return std::string();
    std::string s(text);
    if (SDL_strlen(text) == 0)
        return s;
    // SDL_iconv_string gives null for invalid input; a round trip tells valid UTF-8 apart.
    if (char* checked = SDL_iconv_string("UTF-8", "UTF-8", text, s.size() + 1)) {
        bool same = s == checked;
        SDL_free(checked);
        if (same)
            return s;
    }
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace Win32

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        !*windowClass->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Classes& c = TheClasses();
    std::lock_guard<std::mutex> guard(c.lock);
    std::string key = Win32::Lower(windowClass->lpszClassName);
    if (c.byName.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    c.byName[key] = WindowClass{windowClass->lpszClassName, windowClass->lpfnWndProc};
    return c.nextAtom++;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND, HMENU, HINSTANCE, LPVOID) {
    WindowClass windowClass;
    {
        Classes& c = TheClasses();
        std::lock_guard<std::mutex> guard(c.lock);
        auto it = className ? c.byName.find(Win32::Lower(className)) : c.byName.end();
        if (it == c.byName.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        windowClass = it->second;
    }
    if (!Win32::StartVideo()) {
        SDL_Log("CreateWindowExA: %s", SDL_GetError());
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The d3d9 layer makes its GL context on the window.
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    if ((style & WS_CAPTION) != WS_CAPTION)
        flags |= SDL_WINDOW_BORDERLESS;
    if (x == CW_USEDEFAULT)
        x = y = SDL_WINDOWPOS_UNDEFINED;
    if (width == CW_USEDEFAULT)
        width = 640, height = 480;
    std::string caption = Win32::ToUtf8(title);
    SDL_Window* sdl = SDL_CreateWindow(caption.c_str(), x, y, std::max(width, 1), std::max(height, 1), flags);
    if (!sdl) {
        SDL_Log("CreateWindowExA: %s", SDL_GetError());
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HWND window = new HWND__;
    window->sdl = sdl;
    window->owned = true;
    window->proc = windowClass.proc;
    window->className = windowClass.name;
    window->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    window->exStyle = exStyle;
    Win32::AddWindow(window);
    // Other copies of the program reach this one's windows through broadcasts.
    Win32::ListenForBroadcasts();

    if (SendMessageA(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        ShowWindow(window, (style & WS_MAXIMIZE)   ? SW_MAXIMIZE
                           : (style & WS_MINIMIZE) ? SW_MINIMIZE
                                                   : SW_SHOW);
    return window;
}

BOOL DestroyWindow(HWND window) {
    if (!IsOurWindow(window) || !window->owned) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (window->destroying)
        return TRUE;
    window->destroying = true;
    // Still a window while it hears of its end.
    SendMessageA(window, WM_DESTROY, 0, 0);
    Win32::RemoveWindow(window);
    Win32::PurgeMessages(window);
    if (Win32::FocusWindow() == window)
        Win32::SetFocusWindow(nullptr);
    if (foreground == window)
        foreground = nullptr;
    SDL_DestroyWindow(window->sdl);
    delete window;
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return Win32::IsListedWindow(window) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    if (!IsOurWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BOOL wasVisible = window->visible ? TRUE : FALSE;
    SDL_Window* sdl = window->sdl;
    switch (command) {
    case SW_HIDE:
        SDL_HideWindow(sdl);
        window->visible = false;
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        SDL_ShowWindow(sdl);
        SDL_MinimizeWindow(sdl);
        window->visible = true;
        window->minimized = true;
        window->maximized = false;
        break;
    case SW_MAXIMIZE:
        SDL_ShowWindow(sdl);
        SDL_MaximizeWindow(sdl);
        window->visible = true;
        window->minimized = false;
        window->maximized = true;
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        SDL_ShowWindow(sdl);
        if (window->minimized || window->maximized ||
            (SDL_GetWindowFlags(sdl) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED)))
            SDL_RestoreWindow(sdl);
        window->visible = true;
        window->minimized = false;
        window->maximized = false;
        break;
    default: // SW_SHOW, SW_SHOWNOACTIVATE and the rest show the window as it is
        SDL_ShowWindow(sdl);
        window->visible = true;
        break;
    }
    if (window->visible)
        window->shownOnce = true;
    Win32::ReportClientSize(window);
    return wasVisible;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (!IsOurWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SDL_SetWindowTitle(window->sdl, Win32::ToUtf8(text ? text : "").c_str());
    return TRUE;
}

BOOL SetForegroundWindow(HWND window) {
    if (!IsOurWindow(window))
        return FALSE;
    // The desktop decides about the keyboard focus; its focus event follows when it agrees.
    SDL_RaiseWindow(window->sdl);
    foreground = window;
    return TRUE;
}

HWND GetForegroundWindow() {
    return foreground;
}

HWND GetFocus() {
    return Win32::FocusWindow();
}

BOOL IsIconic(HWND window) {
    if (!IsOurWindow(window))
        return FALSE;
    return (window->minimized || (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MINIMIZED)) ? TRUE : FALSE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (!IsOurWindow(window) || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int width = 0, height = 0;
    if (!IsIconic(window))
        DrawableSize(window, width, height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (!IsOurWindow(window) || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(window->sdl, &x, &y);
    SDL_GetWindowSize(window->sdl, &width, &height);
    *rect = RECT{x, y, x + width, y + height};
    return TRUE;
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD, BOOL, DWORD) {
    // The frame is the window manager's and lies outside the window's size (see windows.h).
    return rect ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int width, int height, UINT flags) {
    if (!IsOurWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(flags & SWP_NOMOVE))
        SDL_SetWindowPosition(window->sdl, x, y);
    if (!(flags & SWP_NOSIZE))
        SDL_SetWindowSize(window->sdl, std::max(width, 1), std::max(height, 1));
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(window, SW_SHOWNOACTIVATE);
    else if (flags & SWP_HIDEWINDOW)
        ShowWindow(window, SW_HIDE);
    Win32::ReportClientSize(window);
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LONG GetWindowLongA(HWND window, int index) {
    if (!IsOurWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index == GWL_STYLE) {
        DWORD style = window->style;
        if (window->visible)
            style |= WS_VISIBLE;
        if (IsIconic(window))
            style |= WS_MINIMIZE;
        if (window->maximized)
            style |= WS_MAXIMIZE;
        return LONG(style);
    }
    if (index == GWL_EXSTYLE)
        return LONG(window->exStyle);
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    LONG previous = GetWindowLongA(window, index);
    if (!IsOurWindow(window))
        return 0;
    if (index == GWL_STYLE) {
        DWORD style = DWORD(value);
        // Only the state bit changes here, as on Windows; the caller sizes the window afterwards.
        if (!(style & WS_MAXIMIZE))
            window->maximized = false;
        window->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
        SDL_SetWindowResizable(window->sdl, (style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    } else if (index == GWL_EXSTYLE) {
        window->exStyle = DWORD(value);
    }
    return previous;
}

HMENU GetMenu(HWND) {
    return nullptr; // windows have no menus here
}

int ShowCursor(BOOL show) {
    static int count = 0;
    count += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(count >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return count;
}
