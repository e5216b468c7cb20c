#include "platform/dinput/KeyboardDevice.h"
#include "platform/dinput/ScanCodes.h"

#include <cstring>

namespace DInput {

KeyboardDevice::KeyboardDevice() : Device(c_dfDIKeyboard, DIPROPAXISMODE_ABS, SDL_INIT_EVENTS) {
    StartWatching();
}

void KeyboardDevice::OnAcquired() {
    // Keys already held count from the start; SDL knows them when a real desktop delivers the events.
    int count = 0;
    const Uint8* sdl = SDL_GetKeyboardState(&count);
    std::memset(keys_, 0, sizeof(keys_));
    for (int i = 0; sdl && i < count; ++i)
        if (sdl[i])
            if (BYTE code = ScanCodeFromSdl(i))
                keys_[code] = 0x80;
}

void KeyboardDevice::OnEvent(const SDL_Event& event) {
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP)
        return;
    if (event.key.repeat)
        return; // the game makes its own repeats
    BYTE code = ScanCodeFromSdl(event.key.keysym.scancode);
    if (!code)
        return;
    BYTE down = event.type == SDL_KEYDOWN ? 0x80 : 0;
    if (keys_[code] == down)
        return;
    keys_[code] = down;
    Record(code, down, event.key.timestamp);
}

void KeyboardDevice::ReadState(void* out) {
    std::lock_guard<std::mutex> guard(lock_);
    std::memcpy(out, keys_, sizeof(keys_));
}

} // namespace DInput
