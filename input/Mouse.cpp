#include "input/Mouse.h"

#include <cstring>

namespace Input {

Mouse::Mouse() {
    Clear();
    if (!Open(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND, c_dfDIMouse) ||
        !SetDword(device, DIPROP_AXISMODE, DIPROPAXISMODE_REL))
        return;
    state = NotAcquired;
}

void Mouse::Clear() {
    std::memset(buttons, 0, sizeof(buttons));
    clickedButton = -1;
    dx = dy = dz = 0;
}

int32_t Mouse::Poll() {
    DIMOUSESTATE raw{};
    if (!ReadState(sizeof(raw), &raw))
        return state;
    for (int i = 0; i < 4; ++i)
        buttons[i] = raw.rgbButtons[i] >> 7;
    dx = dy = dz = 0;
    clickedButton = -1;
    DIDEVICEOBJECTDATA record;
    while (NextEvent(record)) {
        int32_t value = static_cast<int32_t>(record.dwData);
        if (record.dwOfs == DIMOFS_X) {
            dx += value;
        } else if (record.dwOfs == DIMOFS_Y) {
            dy += value;
        } else if (record.dwOfs == DIMOFS_Z) {
            dz += value;
        } else if (record.dwOfs >= DIMOFS_BUTTON0 && record.dwOfs <= DIMOFS_BUTTON3 &&
                   (record.dwData & 0x80)) {
            // One click per poll; what follows it stays buffered for the next poll.
            clickedButton = static_cast<int32_t>(record.dwOfs - DIMOFS_BUTTON0);
            break;
        }
    }
    return state;
}

} // namespace Input
