#include "platform/dinput/MouseDevice.h"

#include <cstring>

namespace DInput {
namespace {

// SDL numbers left, middle, right, first extra; the game counts left, right, middle, fourth.
int ButtonIndex(Uint8 sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    default:
        return -1;
    }
}

} // namespace

MouseDevice::MouseDevice() : Device(c_dfDIMouse, DIPROPAXISMODE_REL, SDL_INIT_EVENTS) {
    StartWatching();
}

void MouseDevice::OnAcquired() {
    x_ = y_ = z_ = 0;
    Uint32 held = SDL_GetMouseState(nullptr, nullptr);
    for (Uint8 b = SDL_BUTTON_LEFT; b <= SDL_BUTTON_X1; ++b) {
        int i = ButtonIndex(b);
        if (i >= 0)
            buttons_[i] = (held & SDL_BUTTON(b)) ? 0x80 : 0;
    }
}

void MouseDevice::OnEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_MOUSEMOTION:
        if (event.motion.xrel) {
            x_ += event.motion.xrel;
            Record(DIMOFS_X, static_cast<DWORD>(event.motion.xrel), event.motion.timestamp, true);
        }
        if (event.motion.yrel) {
            y_ += event.motion.yrel;
            Record(DIMOFS_Y, static_cast<DWORD>(event.motion.yrel), event.motion.timestamp, true);
        }
        break;
    case SDL_MOUSEWHEEL: {
        LONG notches = event.wheel.y;
        if (event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        if (notches) {
            z_ += notches * kWheelNotch;
            Record(DIMOFS_Z, static_cast<DWORD>(notches * kWheelNotch), event.wheel.timestamp, true);
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int i = ButtonIndex(event.button.button);
        if (i < 0)
            break;
        BYTE down = event.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0;
        if (buttons_[i] == down)
            break;
        buttons_[i] = down;
        Record(DIMOFS_BUTTON0 + i, down, event.button.timestamp);
        break;
    }
    default:
        break;
    }
}

void MouseDevice::ReadState(void* out) {
    std::lock_guard<std::mutex> guard(lock_);
    DIMOUSESTATE state{};
    state.lX = x_;
    state.lY = y_;
    state.lZ = z_;
    std::memcpy(state.rgbButtons, buttons_, sizeof(buttons_));
    if (AxisMode() == DIPROPAXISMODE_REL)
        x_ = y_ = z_ = 0; // movement since the last read
    std::memcpy(out, &state, sizeof(state));
}

void MouseDevice::Engage(bool on) {
    if (on && Exclusive() && !grabbed_) {
        // Best effort: drivers without a desktop have no relative mode, and motion still arrives.
        SDL_SetRelativeMouseMode(SDL_TRUE);
        grabbed_ = true;
    } else if (!on && grabbed_) {
        SDL_SetRelativeMouseMode(SDL_FALSE);
        grabbed_ = false;
    }
}

bool MouseDevice::FindObject(DWORD offset, DIDEVICEOBJECTINSTANCEA& object) const {
    if (offset == DIMOFS_X || offset == DIMOFS_Y || offset == DIMOFS_Z) {
        object.dwType = DIDFT_AXIS;
        return true;
    }
    if (offset >= DIMOFS_BUTTON0 && offset <= DIMOFS_BUTTON3) {
        object.dwType = DIDFT_BUTTON;
        return true;
    }
    return false;
}

} // namespace DInput
