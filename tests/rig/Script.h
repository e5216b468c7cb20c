// What a player does, frame by frame: a small text table of "frame device event arguments" lines, read by the
// scripted input devices (keyboard, mouse, joystick) and the UI driver (ui). Blank lines and text after '#'
// are ignored; an argument with spaces is written in double quotes.
//
//     # frame  device    event   arguments
//     10       keyboard  down    LSHIFT
//     10       keyboard  down    Q
//     12       keyboard  up      Q
//     20       mouse     move    15 -3
//     20       mouse     down    left
//     40       joystick  axis    x 0.5
//     60       keyboard  lost
//     90       ui        type    Name "Maverick"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Rig {

struct ScriptEvent {
    uint32_t frame = 0;
    std::string device; // keyboard, mouse, joystick or ui
    std::string event;
    std::vector<std::string> arguments;
    int line = 0; // in the script's text; 0 for events added by code

    // The event as a script line, for traces and failure messages.
    std::string ToString() const;
};

class Script {
public:
    // Parses the text; false with error set ("line N: ...") at the first malformed line, which checks only
    // the frame and the device: each device checks its own events as it plays them.
    bool Parse(const std::string& text);
    bool Load(const std::string& path);
    void Add(ScriptEvent event);

    // The events of one frame, in script order.
    std::vector<const ScriptEvent*> At(uint32_t frame, const std::string& device) const;
    uint32_t LastFrame() const;

    std::vector<ScriptEvent> events; // in frame order, script order kept within a frame
    std::string error;
};

} // namespace Rig
