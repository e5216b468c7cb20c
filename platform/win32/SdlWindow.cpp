#include "platform/win32/SdlWindow.h"
#include "platform/win32/WindowHandle.h"

#include <SDL.h>

#include <mutex>
#include <unordered_map>

namespace Win32 {
namespace {

struct Registry {
    std::mutex lock;
    std::unordered_map<unsigned int, HWND> byId;
};
Registry& Windows() {
    static Registry registry;
    return registry;
}

} // namespace

SDL_Window* SdlWindow(HWND window) {
    return window ? window->sdl : nullptr;
}

HWND AttachSdlWindow(SDL_Window* sdl) {
    if (!sdl)
        return nullptr;
    HWND window = new HWND__;
    window->sdl = sdl;
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    r.byId[SDL_GetWindowID(sdl)] = window;
    return window;
}

void DetachSdlWindow(HWND window) {
    if (!window)
        return;
    {
        Registry& r = Windows();
        std::lock_guard<std::mutex> guard(r.lock);
        for (auto it = r.byId.begin(); it != r.byId.end(); ++it)
            if (it->second == window) {
                r.byId.erase(it);
                break;
            }
    }
    delete window;
}

HWND WindowFromSdlId(unsigned int windowId) {
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byId.find(windowId);
    return it == r.byId.end() ? nullptr : it->second;
}

} // namespace Win32
