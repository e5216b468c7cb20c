#include "input/Keyboard.h"

#include "base/FrameClock.h"

#include <array>
#include <cstring>

namespace Input {
namespace {

constexpr float kFirstRepeat = 0.2f;
constexpr float kRepeatPeriod = 0.03f;

struct Row {
    uint8_t first;
    const char* unshifted;
    const char* shifted;
};

// US layout, by scan code.
constexpr Row kRows[] = {
    {0x02, "1234567890-=", "!@#$%^&*()_+"},
    {0x10, "qwertyuiop[]", "QWERTYUIOP{}"},
    {0x1E, "asdfghjkl;'`", "ASDFGHJKL:\"~"},
    {0x2B, "\\", "|"},
    {0x2C, "zxcvbnm,./", "ZXCVBNM<>?"},
    {0x37, "*", ""},
    {0x39, " ", " "},
    {0x47, "789-456+1230.", "789-456+1230."},
    {0xB5, "/", "/"},
};

struct Tables {
    std::array<char, 256> unshifted{};
    std::array<char, 256> shifted{};
};

constexpr Tables BuildTables() {
    Tables t;
    for (const Row& row : kRows) {
        for (int i = 0; row.unshifted[i]; ++i)
            t.unshifted[row.first + i] = row.unshifted[i];
        for (int i = 0; row.shifted[i]; ++i)
            t.shifted[row.first + i] = row.shifted[i];
    }
    return t;
}
constexpr Tables kTables = BuildTables();

} // namespace

float Keyboard::FrameClockSeconds() {
    // Through the frame clock, so that the test rig's fixed clock times the repeat too.
    return static_cast<float>(Base::FrameClock::GetSeconds());
}

Keyboard::Keyboard() {
    Clear();
    if (!Open(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, c_dfDIKeyboard))
        return;
    state = NotAcquired;
}

void Keyboard::Clear() {
    std::memset(keys, 0, sizeof(keys));
    modifiers = 0;
    pressedKey = 0;
    repeatKey = 0;
    // A key let go while the device was lost sends no release: forget the held key, or it would repeat
    // until some other key is released.
    heldKey = 0;
    repeating = 0;
}

int32_t Keyboard::Poll() {
    BYTE raw[256];
    if (!ReadState(sizeof(raw), raw))
        return state;
    for (int i = 0; i < 256; ++i)
        keys[i] = raw[i] >> 7;
    modifiers = 0;
    if (keys[DIK_LSHIFT] || keys[DIK_RSHIFT])
        modifiers |= Shift;
    if (keys[DIK_LCONTROL] || keys[DIK_RCONTROL])
        modifiers |= Control;
    if (keys[DIK_LMENU] || keys[DIK_RMENU])
        modifiers |= Alt;
    pressedKey = 0;
    repeatKey = 0;

    float now = clock();
    DIDEVICEOBJECTDATA record;
    while (NextEvent(record)) {
        if (record.dwData & 0x80) {
            // One key per poll: a second key that went down stays buffered for the next poll.
            pressedKey = heldKey = static_cast<uint8_t>(record.dwOfs);
            repeatTime = now;
            repeating = 0;
            break;
        }
        heldKey = 0; // releasing any key stops the repeat
    }
    if (state != Acquired)
        return state; // lost while reading the buffer

    if (heldKey) {
        float dt = now - repeatTime;
        if (repeating && dt >= kRepeatPeriod) {
            repeatTime += kRepeatPeriod;
            repeatKey = heldKey;
        } else if (!repeating && dt >= kFirstRepeat) {
            repeatTime = now;
            repeating = 1;
            repeatKey = heldKey;
        }
    }
    return state;
}

uint8_t Keyboard::CharToScanCode(char character, uint8_t* shifted) {
    if (character == 0)
        return 0;
    for (int code = 0; code < 256; ++code)
        if (kTables.unshifted[code] == character) {
            if (shifted)
                *shifted = 0;
            return static_cast<uint8_t>(code);
        }
    for (int code = 0; code < 256; ++code)
        if (kTables.shifted[code] == character) {
            if (shifted)
                *shifted = 1;
            return static_cast<uint8_t>(code);
        }
    return 0;
}

} // namespace Input
