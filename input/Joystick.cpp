#include "input/Joystick.h"
#include "input/DirectInput.h"

#include <cmath>
#include <cstring>

namespace Input {
namespace {

struct FirstController {
    GUID instance{};
    bool found = false;
};

BOOL CALLBACK KeepFirst(LPCDIDEVICEINSTANCEA device, LPVOID context) {
    auto* first = static_cast<FirstController*>(context);
    first->instance = device->guidInstance;
    first->found = true;
    return DIENUM_STOP;
}

} // namespace

Joystick::Joystick() {
    Clear();
    if (!DirectInput)
        return;
    FirstController first;
    if (FAILED(DirectInput->EnumDevices(DI8DEVCLASS_GAMECTRL, KeepFirst, &first, DIEDFL_ATTACHEDONLY)) ||
        !first.found)
        return;
    if (!Open(first.instance, DISCL_EXCLUSIVE | DISCL_FOREGROUND, c_dfDIJoystick) ||
        !SetDword(device, DIPROP_AXISMODE, DIPROPAXISMODE_ABS))
        return;
    DIDEVICEOBJECTINSTANCEA slider{};
    slider.dwSize = sizeof(slider);
    if (FAILED(device->GetObjectInfo(&slider, DIJOFS_SLIDER(0), DIPH_BYOFFSET)))
        noSlider = 1;
    state = NotAcquired;
}

void Joystick::SetDeadZone(float value) {
    if (!(value > 0)) // also NaN
        deadZone = 0;
    else if (value >= 1)
        deadZone = 1.0f;
    else
        deadZone = value;
}

void Joystick::Clear() {
    x = y = throttle = rudder = 0;
    pointOfView = -1;
    std::memset(buttons, 0, sizeof(buttons));
    pressedButton = -1;
}

float Joystick::Stick(LONG raw) const {
    float v = static_cast<float>(raw) * (1.0f / 32768.0f) - 1.0f;
    return std::fabs(v) < deadZone ? 0.0f : v; // no rescaling past the dead zone
}

int32_t Joystick::Poll() {
    DIJOYSTATE raw{};
    if (!ReadState(sizeof(raw), &raw))
        return state;
    for (int i = 0; i < 32; ++i)
        buttons[i] = raw.rgbButtons[i] >> 7;
    x = Stick(raw.lX);
    y = Stick(raw.lY);
    rudder = Stick(raw.lRz);
    LONG lever = noSlider ? raw.lZ : raw.rglSlider[0];
    throttle = 1.0f - static_cast<float>(lever) / 65535.0f;
    pointOfView = (raw.rgdwPOV[0] & 0xFFFF) == 0xFFFF ? -1.0f : static_cast<float>(raw.rgdwPOV[0]) / 100.0f;

    pressedButton = -1;
    DIDEVICEOBJECTDATA record;
    while (NextEvent(record)) {
        if (record.dwOfs >= DIJOFS_BUTTON(0) && record.dwOfs < DIJOFS_BUTTON(32) && (record.dwData & 0x80)) {
            pressedButton = static_cast<int8_t>(record.dwOfs - DIJOFS_BUTTON(0));
            break;
        }
    }
    return state;
}

} // namespace Input
