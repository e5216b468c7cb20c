// Virtual-key codes over SDL scancodes, and the key state that GetAsyncKeyState reports.
#include <windows.h>

#include "platform/win32/WindowLayer.h"

#include <SDL.h>

#include <array>
#include <atomic>

namespace {

std::array<std::atomic<bool>, SDL_NUM_SCANCODES> keysDown{};

struct KeyPair {
    int vk;
    SDL_Scancode scancode;
};

// Generic modifier codes come first: key messages carry them, not the left/right ones.
constexpr KeyPair kKeys[] = {
    {VK_SHIFT, SDL_SCANCODE_LSHIFT},
    {VK_SHIFT, SDL_SCANCODE_RSHIFT},
    {VK_CONTROL, SDL_SCANCODE_LCTRL},
    {VK_CONTROL, SDL_SCANCODE_RCTRL},
    {VK_MENU, SDL_SCANCODE_LALT},
    {VK_MENU, SDL_SCANCODE_RALT},
    {VK_LSHIFT, SDL_SCANCODE_LSHIFT},
    {VK_RSHIFT, SDL_SCANCODE_RSHIFT},
    {VK_LCONTROL, SDL_SCANCODE_LCTRL},
    {VK_RCONTROL, SDL_SCANCODE_RCTRL},
    {VK_LMENU, SDL_SCANCODE_LALT},
    {VK_RMENU, SDL_SCANCODE_RALT},
    {VK_BACK, SDL_SCANCODE_BACKSPACE},
    {VK_TAB, SDL_SCANCODE_TAB},
    {VK_RETURN, SDL_SCANCODE_RETURN},
    {VK_RETURN, SDL_SCANCODE_KP_ENTER},
    {VK_PAUSE, SDL_SCANCODE_PAUSE},
    {VK_CAPITAL, SDL_SCANCODE_CAPSLOCK},
    {VK_ESCAPE, SDL_SCANCODE_ESCAPE},
    {VK_SPACE, SDL_SCANCODE_SPACE},
    {VK_PRIOR, SDL_SCANCODE_PAGEUP},
    {VK_NEXT, SDL_SCANCODE_PAGEDOWN},
    {VK_END, SDL_SCANCODE_END},
    {VK_HOME, SDL_SCANCODE_HOME},
    {VK_LEFT, SDL_SCANCODE_LEFT},
    {VK_UP, SDL_SCANCODE_UP},
    {VK_RIGHT, SDL_SCANCODE_RIGHT},
    {VK_DOWN, SDL_SCANCODE_DOWN},
    {VK_INSERT, SDL_SCANCODE_INSERT},
    {VK_DELETE, SDL_SCANCODE_DELETE},
    {VK_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY},
    {VK_ADD, SDL_SCANCODE_KP_PLUS},
    {VK_SUBTRACT, SDL_SCANCODE_KP_MINUS},
    {VK_DECIMAL, SDL_SCANCODE_KP_PERIOD},
    {VK_DIVIDE, SDL_SCANCODE_KP_DIVIDE},
};

// Up to two scancodes for a virtual key (the generic modifiers have a left and a right one).
int ScancodesOf(int vk, SDL_Scancode out[2]) {
    if (vk >= 'A' && vk <= 'Z') {
        out[0] = SDL_Scancode(SDL_SCANCODE_A + (vk - 'A'));
        return 1;
    }
    if (vk >= '0' && vk <= '9') {
        out[0] = vk == '0' ? SDL_SCANCODE_0 : SDL_Scancode(SDL_SCANCODE_1 + (vk - '1'));
        return 1;
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) {
        out[0] =
            vk == VK_NUMPAD0 ? SDL_SCANCODE_KP_0 : SDL_Scancode(SDL_SCANCODE_KP_1 + (vk - VK_NUMPAD0 - 1));
        return 1;
    }
    if (vk >= VK_F1 && vk <= VK_F12) {
        out[0] = SDL_Scancode(SDL_SCANCODE_F1 + (vk - VK_F1));
        return 1;
    }
    int n = 0;
    for (const KeyPair& k : kKeys)
        if (k.vk == vk && n < 2)
            out[n++] = k.scancode;
    return n;
}

} // namespace

namespace Win32 {

void SetKeyDown(int scancode, bool down) {
    if (scancode > 0 && scancode < SDL_NUM_SCANCODES)
        keysDown[scancode] = down;
}

void ClearKeys() {
    for (auto& k : keysDown)
        k = false;
}

int VirtualKeyOf(int scancode, int keycode) {
    // Letters follow the keyboard layout, as Windows' virtual keys do.
    if (keycode >= 'a' && keycode <= 'z')
        return keycode - 'a' + 'A';
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 'A' + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode == SDL_SCANCODE_0)
        return '0';
    if (scancode == SDL_SCANCODE_KP_0)
        return VK_NUMPAD0;
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + (scancode - SDL_SCANCODE_KP_1);
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return VK_F1 + (scancode - SDL_SCANCODE_F1);
    for (const KeyPair& k : kKeys)
        if (k.scancode == scancode)
            return k.vk;
    return 0;
}

} // namespace Win32

SHORT GetAsyncKeyState(int virtualKey) {
    bool down = false;
    if (virtualKey == VK_LBUTTON || virtualKey == VK_RBUTTON || virtualKey == VK_MBUTTON) {
        if (SDL_WasInit(SDL_INIT_VIDEO)) {
            Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
            Uint32 mask = virtualKey == VK_LBUTTON   ? SDL_BUTTON_LMASK
                          : virtualKey == VK_RBUTTON ? SDL_BUTTON_RMASK
                                                     : SDL_BUTTON_MMASK;
            down = (buttons & mask) != 0;
        }
    } else {
        SDL_Scancode codes[2];
        int n = ScancodesOf(virtualKey, codes);
        int count = 0;
        const Uint8* sdlKeys = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetKeyboardState(&count) : nullptr;
        for (int i = 0; i < n; ++i)
            if (keysDown[codes[i]] || (sdlKeys && codes[i] < count && sdlKeys[codes[i]]))
                down = true;
    }
    return down ? SHORT(-32768) : SHORT(0); // the high bit
}
