// The joystick's frame snapshot: stick axes in -1..1 with a dead zone, the throttle lever in 0..1, the point
// of view in degrees, 32 buttons and the button pressed this frame. Without a game controller attached the
// joystick stays without a device.
#pragma once

#include "input/Device.h"

namespace Input {

class Joystick : public Device {
public:
    Joystick();
    int32_t Poll() override;

    // Clamped to 0..1; 0 for a value that is not a number.
    void SetDeadZone(float value);

    uint8_t noSlider = 0; // the throttle is read from the Z axis
    float x = 0, y = 0, throttle = 0, rudder = 0;
    float pointOfView = -1; // degrees; -1 when centred
    uint8_t buttons[32] = {};
    int8_t pressedButton = -1; // 0-31; -1 none
    float deadZone = 0.1f;

private:
    void Clear() override;
    float Stick(LONG raw) const;
};

} // namespace Input
