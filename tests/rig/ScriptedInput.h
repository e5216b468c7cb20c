// Scripted input devices: while a ScriptedInput lives it is the program's DirectInput interface
// (Input::DirectInput), so the Input::Keyboard, Input::Mouse and Input::Joystick made in that time read
// what its script says a player did, frame by frame, through their own Poll and Acquire code.
//
// Events, by device (each applies at the start of its frame, before that frame's polls):
//   keyboard  down KEY | up KEY | press KEY (down, and up the next frame) | type "TEXT" (on the US layout: a
//             character every two frames, three with Shift) | lost | found
//   mouse     move DX DY | wheel DZ | down B | up B | press B (B: left, right, middle, fourth or 0-3) |
//             lost | found
//   joystick  axis x|y|rudder V (-1..1) | throttle V (0..1) | pov DEGREES|centre | down N | up N | press N
//             (N: 0-31) | lost | found
// KEY is a DirectInput key name without its DIK_ prefix (Q, LSHIFT, RETURN, F1, UP...) or a scan code
// (0x10). "lost" makes the device fail its next read and refuse Acquire until "found", as a device taken by
// another program does. A malformed event fails the running test, naming its script line.
#pragma once

#include "tests/rig/Script.h"

#include <dinput.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace Rig {

class ScriptedInput : public IDirectInput8 {
public:
    enum Kind { Keyboard, Mouse, Joystick, KindCount };

    // Takes the place of Input::DirectInput; without a joystick, none is enumerated and Input::Joystick
    // stays without a device.
    explicit ScriptedInput(bool joystickAttached = true);
    // Puts the previous interface back. Delete the input devices first.
    virtual ~ScriptedInput();
    ScriptedInput(const ScriptedInput&) = delete;
    ScriptedInput& operator=(const ScriptedInput&) = delete;

    // Plays the device events of that frame (the UI driver plays the script's "ui" events).
    void BeginFrame(uint32_t frame);

    // A scan code from a key name or number; 0 when unknown.
    static uint8_t KeyCode(const std::string& name);

    Script script;

    // What a device reads: its immediate state and its buffered events. Public for the rig's own tests.
    struct Channel {
        std::vector<uint8_t> state;
        std::deque<DIDEVICEOBJECTDATA> buffer;
        bool acquired = false;
        bool lost = false;
        DWORD sequence = 0;
    };
    Channel channels[KindCount];

    // IDirectInput8
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT CreateDevice(REFGUID instance, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override;
    HRESULT EnumDevices(DWORD deviceClass, LPDIENUMDEVICESCALLBACKA callback, LPVOID context,
                        DWORD flags) override;

private:
    void Play(const ScriptEvent& event);
    bool PlayButton(Kind kind, const ScriptEvent& event, int index, bool down);
    void Record(Kind kind, DWORD offset, DWORD data);

    IDirectInput8* previous = nullptr;
    bool joystickAttached;
    uint32_t currentFrame = 0;
};

} // namespace Rig
