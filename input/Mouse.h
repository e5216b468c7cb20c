// The mouse's frame snapshot: four buttons, the button clicked this frame, and this frame's relative
// movement (dz is the wheel).
#pragma once

#include "input/Device.h"

namespace Input {

class Mouse : public Device {
public:
    Mouse();
    int32_t Poll() override;

    uint8_t buttons[4] = {};    // left, right, middle, fourth; 1 while down
    int32_t clickedButton = -1; // went down during this poll; -1 none
    int32_t dx = 0, dy = 0, dz = 0;

private:
    void Clear() override;
};

} // namespace Input
