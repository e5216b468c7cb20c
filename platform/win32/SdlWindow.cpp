#include "platform/win32/SdlWindow.h"
#include "platform/win32/WindowHandle.h"
#include "platform/win32/WindowList.h"

#include <SDL.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace Win32 {
namespace {

struct Registry {
    std::mutex lock;
    std::unordered_map<unsigned int, HWND> byId;
    std::vector<HWND> all; // in creation order
};
Registry& Windows() {
    static Registry registry;
    return registry;
}

} // namespace

SDL_Window* SdlWindow(HWND window) {
    return window ? window->sdl : nullptr;
}

void AddWindow(HWND window) {
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    if (window->sdl)
        r.byId[SDL_GetWindowID(window->sdl)] = window;
    r.all.push_back(window);
}

void RemoveWindow(HWND window) {
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto it = r.byId.begin(); it != r.byId.end(); ++it)
        if (it->second == window) {
            r.byId.erase(it);
            break;
        }
    r.all.erase(std::remove(r.all.begin(), r.all.end(), window), r.all.end());
}

bool IsListedWindow(HWND window) {
    if (!window)
        return false;
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    return std::find(r.all.begin(), r.all.end(), window) != r.all.end();
}

std::vector<HWND> ListedWindows() {
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.all;
}

void AskDeviceFrameBuffer() {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
}

HWND AttachSdlWindow(SDL_Window* sdl) {
    if (!sdl)
        return nullptr;
    HWND window = new HWND__;
    window->sdl = sdl;
    AddWindow(window);
    return window;
}

void DetachSdlWindow(HWND window) {
    if (!window)
        return;
    RemoveWindow(window);
    delete window;
}

void SetFullScreenClientSize(HWND window, int width, int height) {
    if (!IsListedWindow(window))
        return;
    const bool set = width > 0 && height > 0;
    window->fullScreenWidth = set ? width : 0;
    window->fullScreenHeight = set ? height : 0;
}

HWND WindowFromSdlId(unsigned int windowId) {
    Registry& r = Windows();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byId.find(windowId);
    return it == r.byId.end() ? nullptr : it->second;
}

} // namespace Win32
