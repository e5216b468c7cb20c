// The message queue of the Win32 layer: posted messages, the quit request, and SDL events turned into window
// messages. One queue serves the program, read by its main thread.
#include <windows.h>

#include "platform/win32/SdlWindow.h"
#include "platform/win32/Text.h"
#include "platform/win32/UserRuntime.h"
#include "platform/win32/WindowHandle.h"
#include "platform/win32/WindowLayer.h"
#include "platform/win32/WindowList.h"

#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Queue {
    std::mutex lock;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quit = false;
    int quitCode = 0;
};
Queue& TheQueue() {
    static Queue queue;
    return queue;
}

struct RegisteredMessages {
    std::mutex lock;
    std::map<std::string, UINT> byName; // lower case: registered names ignore case
    std::vector<std::string> names;     // by id - WM_REGISTERED_FIRST
};
RegisteredMessages& Registered() {
    static RegisteredMessages registered;
    return registered;
}

std::atomic<HWND> focus{nullptr};

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

void PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.input.push_back(MakeMessage(window, message, wParam, lParam));
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows = Win32::ListedWindows();
    windows.erase(std::remove_if(windows.begin(), windows.end(), [](HWND w) { return !w->proc; }),
                  windows.end());
    return windows;
}

void PostToAll(UINT message, WPARAM wParam, LPARAM lParam) {
    std::vector<HWND> windows = TopLevelWindows();
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    for (HWND w : windows)
        q.posted.push_back(MakeMessage(w, message, wParam, lParam));
}

UINT RegisteredId(const std::string& name) {
    RegisteredMessages& r = Registered();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byName.find(Win32::Lower(name));
    return it == r.byName.end() ? 0 : it->second;
}

std::string RegisteredName(UINT id) {
    RegisteredMessages& r = Registered();
    std::lock_guard<std::mutex> guard(r.lock);
    if (id < WM_REGISTERED_FIRST || id - WM_REGISTERED_FIRST >= r.names.size())
        return std::string();
    return r.names[id - WM_REGISTERED_FIRST];
}

// Key messages go to the window with the focus, or the one the event names.
HWND KeyTarget(unsigned int windowId) {
    HWND window = Win32::WindowFromSdlId(windowId);
    if (!window || !window->proc)
        window = Win32::FocusWindow();
    return window;
}

LPARAM KeyBits(bool down, bool repeat, bool alt) {
    uint32_t bits = 1; // repeat count
    if (alt)
        bits |= 1u << 29;
    if (repeat || !down)
        bits |= 1u << 30; // the key was down before
    if (!down)
        bits |= 1u << 31;
    return LPARAM(bits);
}

void TranslateKey(const SDL_KeyboardEvent& key) {
    bool down = key.type == SDL_KEYDOWN;
    Win32::SetKeyDown(key.keysym.scancode, down);
    int vk = Win32::VirtualKeyOf(key.keysym.scancode, key.keysym.sym);
    HWND window = KeyTarget(key.windowID);
    if (!vk || !window)
        return;
    bool alt = (key.keysym.mod & KMOD_ALT) != 0 || vk == VK_MENU;
    // Alt combinations and F10 are system keys, as on Windows (Alt+F4 among them).
    bool system = alt || vk == VK_F10;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    PostInput(window, message, WPARAM(vk), KeyBits(down, key.repeat != 0, alt));
}

void TranslateText(const SDL_TextInputEvent& text) {
    HWND window = KeyTarget(text.windowID);
    if (!window)
        return;
    // The game's text is one byte per character: code points above 255 have no place in it.
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.text);
    while (*s) {
        uint32_t cp;
        int length;
        if (s[0] < 0x80)
            cp = s[0], length = 1;
        else if ((s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80)
            cp = ((s[0] & 0x1Fu) << 6) | (s[1] & 0x3Fu), length = 2;
        else {
            length = 1;
            while ((s[length] & 0xC0) == 0x80)
                ++length;
            cp = 0x100;
        }
        if (cp < 0x100)
            PostInput(window, WM_CHAR, WPARAM(cp), 1);
        s += length;
    }
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    HWND window = Win32::WindowFromSdlId(event.windowID);
    if (!window)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        if (window->proc)
            PostInput(window, WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESIZED:
        Win32::ReportClientSize(window);
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        window->minimized = true;
        window->maximized = false;
        Win32::ReportClientSize(window);
        break;
    case SDL_WINDOWEVENT_MAXIMIZED:
        window->minimized = false;
        window->maximized = true;
        Win32::ReportClientSize(window);
        break;
    case SDL_WINDOWEVENT_RESTORED:
        window->minimized = false;
        window->maximized = false;
        Win32::ReportClientSize(window);
        break;
    case SDL_WINDOWEVENT_MOVED:
        SendMessageA(window, WM_MOVE, 0, MAKELPARAM(event.data1, event.data2));
        break;
    case SDL_WINDOWEVENT_SHOWN:
        window->visible = true;
        break;
    case SDL_WINDOWEVENT_HIDDEN:
        window->visible = false;
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        Win32::SetFocusWindow(window);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (Win32::FocusWindow() == window)
            Win32::SetFocusWindow(nullptr);
        break;
    default:
        break;
    }
}

void Translate(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKey(event.key);
        break;
    case SDL_TEXTINPUT:
        TranslateText(event.text);
        break;
    case SDL_WINDOWEVENT:
        TranslateWindowEvent(event.window);
        break;
    case SDL_QUIT: // a signal or the desktop asks the program to end: close its windows
        for (HWND w : TopLevelWindows())
            PostInput(w, WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

void Pump() {
    // Only registered messages come from other processes, and only those this program registered itself: a
    // local process cannot post system messages (a close, a key) to its windows.
    for (const Win32::BroadcastMessage& b : Win32::ReceiveBroadcasts()) {
        const UINT message = b.name.empty() ? 0 : RegisteredId(b.name);
        if (message)
            PostToAll(message, WPARAM(b.wParam), LPARAM(b.lParam));
    }
    if (!SDL_WasInit(SDL_INIT_EVENTS))
        return;
    // Polling also updates SDL's own input state, which the input devices read.
    SDL_Event event;
    while (SDL_PollEvent(&event))
        Translate(event);
}

bool Matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    if (window == HWND(intptr_t(-1))) {
        if (m.hwnd)
            return false;
    } else if (window && m.hwnd != window) {
        return false;
    }
    return (filterMin == 0 && filterMax == 0) || (m.message >= filterMin && m.message <= filterMax);
}

bool Take(std::deque<MSG>& queue, LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it)
        if (Matches(*it, window, filterMin, filterMax)) {
            *msg = *it;
            if (remove & PM_REMOVE)
                queue.erase(it);
            return true;
        }
    return false;
}

} // namespace

namespace Win32 {

HWND FocusWindow() {
    return focus.load();
}

void SetFocusWindow(HWND window) {
    HWND previous = focus.exchange(window);
    if (previous == window)
        return;
    if (!window)
        ClearKeys(); // key-up events are not seen once the focus has gone
    if (previous && IsListedWindow(previous))
        SendMessageA(previous, WM_KILLFOCUS, WPARAM(window), 0);
    if (window)
        SendMessageA(window, WM_SETFOCUS, WPARAM(previous), 0);
}

void PurgeMessages(HWND window) {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    auto of = [window](const MSG& m) { return m.hwnd == window; };
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), of), q.posted.end());
    q.input.erase(std::remove_if(q.input.begin(), q.input.end(), of), q.input.end());
}

} // namespace Win32

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (!msg)
        return FALSE;
    Pump();
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (Take(q.posted, msg, window, filterMin, filterMax, removeFlags))
        return TRUE;
    bool quitWanted = (!window || window == HWND(intptr_t(-1))) &&
                      ((filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax));
    if (q.quit && quitWanted) {
        *msg = MakeMessage(nullptr, WM_QUIT, WPARAM(q.quitCode), 0);
        if (removeFlags & PM_REMOVE)
            q.quit = false;
        return TRUE;
    }
    return Take(q.input, msg, window, filterMin, filterMax, removeFlags) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    // Characters come from SDL's text input as WM_CHAR of their own; nothing is made here.
    return (msg && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)) ? TRUE : FALSE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !msg->hwnd || !Win32::IsListedWindow(msg->hwnd) || !msg->hwnd->proc)
        return 0;
    return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST) {
        for (HWND w : TopLevelWindows())
            if (Win32::IsListedWindow(w))
                w->proc(w, message, wParam, lParam);
        return 0;
    }
    if (!Win32::IsListedWindow(window) || !window->proc) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return window->proc(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == HWND_BROADCAST) {
        PostToAll(message, wParam, lParam);
        std::string name = RegisteredName(message);
        if (!name.empty())
            Win32::SendBroadcast(Win32::BroadcastMessage{message, uint64_t(wParam), int64_t(lParam), name});
        return TRUE;
    }
    if (window && !Win32::IsListedWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.posted.push_back(MakeMessage(window, message, wParam, lParam));
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Queue& q = TheQueue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.quit = true;
    q.quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (lParam & (1 << 29)))
            SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    default:
        return 0;
    }
}

UINT RegisterWindowMessageA(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisteredMessages& r = Registered();
    std::lock_guard<std::mutex> guard(r.lock);
    std::string key = Win32::Lower(name);
    auto it = r.byName.find(key);
    if (it != r.byName.end())
        return it->second;
    if (r.names.size() >= 0x4000)
        return 0;
    UINT id = UINT(WM_REGISTERED_FIRST + r.names.size());
    r.names.push_back(name);
    r.byName[key] = id;
    return id;
}
