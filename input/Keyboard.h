// The keyboard's frame snapshot: held keys by scan code, modifiers, the key that went down this frame, and
// the keyboard's own auto-repeat (first repeat after 0.2 s, then every 0.03 s).
#pragma once

#include "input/Device.h"

namespace Input {

class Keyboard : public Device {
public:
    enum Modifier : uint8_t { Shift = 1, Control = 2, Alt = 4 };

    // Seconds on the auto-repeat clock; tests put a clock of their own in its place.
    using Clock = float (*)();
    static float FrameClockSeconds();

    Keyboard();
    int32_t Poll() override;

    // The scan code that types the character on a US keyboard: unshifted first (shifted = 0), else shifted
    // (shifted = 1); 0 when no key types it, and then shifted is left alone.
    static uint8_t CharToScanCode(char character, uint8_t* shifted);

    uint8_t keys[256] = {}; // 1 while the key is down
    uint8_t modifiers = 0;
    uint8_t pressedKey = 0; // went down during this poll; 0 none
    uint8_t repeatKey = 0;  // an auto-repeat of the held key fell due during this poll; 0 none
    uint8_t repeating = 0;
    uint8_t heldKey = 0;
    float repeatTime = 0;
    Clock clock = &FrameClockSeconds;

private:
    void Clear() override;
};

} // namespace Input
