// The UI driver: does to a widget tree, by widget name, what a player does with the mouse and keyboard:
// clicks a button, types into an edit field, picks an item of a list or selector. Names are looked up from
// the desktop as the pages look up their widgets (descendants searched, "A.B" paths); a name that finds no
// widget of the kind fails the running test, naming it, and the call returns null.
//
// Frames: call between frames, before the frame's clock tick (the runner does so from the script's "ui"
// events: "12 ui click Main.BtnOptions", "20 ui type Name Maverick", "30 ui pick Airplanes 2" or
// "30 ui pick Airplanes F16").
#pragma once

#include "tests/rig/Script.h"

#include "gui/Desktop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace Gui {
class Button;
class Edit;
} // namespace Gui

namespace Rig {

class ScriptedInput;

class UiDriver {
public:
    // Typing needs the scripted keyboard that the desktop reads.
    explicit UiDriver(Gui::Desktop& desktop, ScriptedInput* input = nullptr);

    // The widget of that name and kind, or a test failure naming it.
    template <class T> T* Get(std::string_view name, const char* kind = "widget") {
        T* found = desktop.Find<T>(name, true);
        if (!found)
            ADD_FAILURE() << "no " << kind << " named \"" << name << "\"";
        return found;
    }

    // The button counts as clicked in the next frame only (pressed and released in it), as the pages test
    // it. A button that is hidden, or behind another widget holding its parent's focus (a message box),
    // cannot be clicked: that fails the test too. A disabled one is clicked but does not count.
    Gui::Button* Click(std::string_view name);
    // Makes the edit field the one that takes the keys (as a click on it does) and types the text on the
    // scripted keyboard from `frame` on (default: the frame being begun), a character every two frames.
    Gui::Edit* Type(std::string_view name, const std::string& text, int64_t frame = -1);
    // Selects the item of a string list, string selector or image selector, by index or by its text. A
    // selector takes the pick again in its next update, where the player's click on its arrows acts.
    Gui::Widget* Pick(std::string_view name, int32_t index);
    Gui::Widget* Pick(std::string_view name, const std::string& item);

    // Plays the script's "ui" events of that frame; call before the scripted input's BeginFrame.
    void BeginFrame(const Script& script, uint32_t frame);

private:
    bool Reachable(const Gui::Widget& widget, std::string_view name);

    Gui::Desktop& desktop;
    ScriptedInput* input;
    uint32_t frame = 0;
};

} // namespace Rig
