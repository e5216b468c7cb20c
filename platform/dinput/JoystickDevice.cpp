#include "platform/dinput/JoystickDevice.h"

#include <cstring>

namespace DInput {
namespace {

enum Slot { kX, kY, kZ, kRx, kRy, kRz, kSlider0, kSlider1 };

// A plain joystick names none of its axes. Sticks list X and Y first, then twist and throttle; with a third
// axis only, it is taken as the throttle.
constexpr int kStickSlots[8] = {kX, kY, kRz, kSlider0, kZ, kRx, kRy, kSlider1};

// Game-controller buttons in the order a gamepad shows them to the game; the pad's cross is the hat.
constexpr SDL_GameControllerButton kPadButtons[] = {
    SDL_CONTROLLER_BUTTON_A,
    SDL_CONTROLLER_BUTTON_B,
    SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,
    SDL_CONTROLLER_BUTTON_LEFTSHOULDER,
    SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,
    SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
    SDL_CONTROLLER_BUTTON_GUIDE,
    SDL_CONTROLLER_BUTTON_MISC1,
    SDL_CONTROLLER_BUTTON_PADDLE1,
    SDL_CONTROLLER_BUTTON_PADDLE2,
    SDL_CONTROLLER_BUTTON_PADDLE3,
    SDL_CONTROLLER_BUTTON_PADDLE4,
    SDL_CONTROLLER_BUTTON_TOUCHPAD,
};
constexpr int kPadButtonCount = sizeof(kPadButtons) / sizeof(kPadButtons[0]);

int PadButtonIndex(int sdlButton) {
    for (int i = 0; i < kPadButtonCount; ++i)
        if (kPadButtons[i] == sdlButton)
            return i;
    return -1;
}

LONG FromSigned(Sint16 v) {
    return static_cast<LONG>(v) + 32768;
}

// Triggers rest at 0 and go to 32767.
LONG FromTrigger(Sint16 v) {
    LONG t = v < 0 ? 0 : v;
    return t * 65535 / 32767;
}

DWORD PointOfView(bool up, bool right, bool down, bool left) {
    int dx = (right ? 1 : 0) - (left ? 1 : 0);
    int dy = (up ? 1 : 0) - (down ? 1 : 0);
    static const DWORD table[3][3] = {
        // dx -1, 0, 1 for dy = -1 (down), 0, 1 (up)
        {22500, 18000, 13500},
        {27000, 0xFFFFFFFFu, 9000},
        {31500, 0, 4500},
    };
    return table[dy + 1][dx + 1];
}

DWORD HatToPointOfView(Uint8 hat) {
    return PointOfView(hat & SDL_HAT_UP, hat & SDL_HAT_RIGHT, hat & SDL_HAT_DOWN, hat & SDL_HAT_LEFT);
}

} // namespace

GUID JoystickDevice::InstanceGuid(SDL_JoystickID id) {
    GUID guid = GUID_Joystick;
    guid.Data1 = static_cast<uint32_t>(id);
    return guid;
}

bool JoystickDevice::FromInstanceGuid(REFGUID guid, SDL_JoystickID& id) {
    GUID pattern = guid;
    pattern.Data1 = 0;
    if (!(pattern == GUID_Joystick))
        return false;
    id = static_cast<SDL_JoystickID>(guid.Data1);
    return true;
}

JoystickDevice::JoystickDevice(SDL_JoystickID id)
    : Device(c_dfDIJoystick, DIPROPAXISMODE_ABS, SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER), id_(id) {
    axisSlot_.fill(-1);
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) != id)
            continue;
        if (SDL_IsGameController(i)) {
            controller_ = SDL_GameControllerOpen(i);
            joystick_ = controller_ ? SDL_GameControllerGetJoystick(controller_) : nullptr;
        }
        if (!joystick_) {
            joystick_ = SDL_JoystickOpen(i);
            axisCount_ = joystick_ ? SDL_JoystickNumAxes(joystick_) : 0;
            if (axisCount_ > 8)
                axisCount_ = 8;
            for (int a = 0; a < axisCount_; ++a)
                axisSlot_[a] = axisCount_ == 3 && a == 2 ? kZ : kStickSlots[a];
        }
        break;
    }
    StartWatching();
}

JoystickDevice::~JoystickDevice() {
    if (controller_)
        SDL_GameControllerClose(controller_);
    else if (joystick_)
        SDL_JoystickClose(joystick_);
}

bool JoystickDevice::Attached() const {
    return joystick_ && SDL_JoystickGetAttached(joystick_);
}

int JoystickDevice::ButtonCount() const {
    if (controller_)
        return kPadButtonCount;
    int n = SDL_JoystickNumButtons(joystick_);
    return n > 32 ? 32 : n;
}

int JoystickDevice::HatCount() const {
    if (controller_)
        return 1;
    int n = SDL_JoystickNumHats(joystick_);
    return n > 4 ? 4 : n;
}

HRESULT JoystickDevice::PollDevice() {
    // Outside our lock: the update sends events, and the watch takes the lock.
    SDL_JoystickUpdate();
    return DI_OK;
}

void JoystickDevice::ReadState(void* out) {
    DIJOYSTATE state{};
    LONG* axes = &state.lX; // lX .. lRz and the two sliders are eight LONGs in a row
    for (int i = 0; i < 8; ++i)
        axes[i] = 32768; // an axis the device lacks rests at its centre
    for (DWORD& pov : state.rgdwPOV)
        pov = 0xFFFFFFFFu;
    if (controller_) {
        SDL_GameController* c = controller_;
        state.lX = FromSigned(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX));
        state.lY = FromSigned(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
        state.lRz = FromSigned(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTX));
        state.lRy = FromSigned(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_RIGHTY));
        state.lZ = FromTrigger(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
        // The right trigger is the throttle lever: released is the lever's rest end.
        state.rglSlider[0] =
            65535 - FromTrigger(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT));
        for (int i = 0; i < kPadButtonCount; ++i)
            state.rgbButtons[i] = SDL_GameControllerGetButton(c, kPadButtons[i]) ? 0x80 : 0;
        state.rgdwPOV[0] = PointOfView(SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP),
                                       SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT),
                                       SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN),
                                       SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT));
    } else if (joystick_) {
        for (int a = 0; a < axisCount_; ++a)
            if (axisSlot_[a] >= 0)
                axes[axisSlot_[a]] = FromSigned(SDL_JoystickGetAxis(joystick_, a));
        for (int b = 0, n = ButtonCount(); b < n; ++b)
            state.rgbButtons[b] = SDL_JoystickGetButton(joystick_, b) ? 0x80 : 0;
        for (int h = 0, n = HatCount(); h < n; ++h)
            state.rgdwPOV[h] = HatToPointOfView(SDL_JoystickGetHat(joystick_, h));
    }
    std::memcpy(out, &state, sizeof(state));
}

void JoystickDevice::OnEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (controller_ || event.jbutton.which != id_ || event.jbutton.button >= 32)
            return;
        Record(DIJOFS_BUTTON(event.jbutton.button), event.type == SDL_JOYBUTTONDOWN ? 0x80 : 0,
               event.jbutton.timestamp);
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        if (!controller_ || event.cbutton.which != id_)
            return;
        int i = PadButtonIndex(event.cbutton.button);
        if (i >= 0)
            Record(DIJOFS_BUTTON(i), event.type == SDL_CONTROLLERBUTTONDOWN ? 0x80 : 0,
                   event.cbutton.timestamp);
        break;
    }
    default:
        break;
    }
}

bool JoystickDevice::FindObject(DWORD offset, DIDEVICEOBJECTINSTANCEA& object) const {
    if (!joystick_)
        return false;
    if (offset < DIJOFS_POV(0) && offset % 4 == 0) {
        int slot = static_cast<int>(offset / 4);
        bool present = false;
        if (controller_)
            present =
                slot == kX || slot == kY || slot == kZ || slot == kRy || slot == kRz || slot == kSlider0;
        else
            for (int a = 0; a < axisCount_; ++a)
                present = present || axisSlot_[a] == slot;
        object.dwType = DIDFT_AXIS;
        return present;
    }
    if (offset >= DIJOFS_POV(0) && offset < DIJOFS_BUTTON(0) && offset % 4 == 0) {
        object.dwType = DIDFT_POV;
        return static_cast<int>((offset - DIJOFS_POV(0)) / 4) < HatCount();
    }
    if (offset >= DIJOFS_BUTTON(0) && offset < DIJOFS_BUTTON(32)) {
        object.dwType = DIDFT_BUTTON;
        return static_cast<int>(offset - DIJOFS_BUTTON(0)) < ButtonCount();
    }
    return false;
}

} // namespace DInput
