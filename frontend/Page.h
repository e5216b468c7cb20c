// What every menu page shares: the way back to the root, the button test, page switching, and the modal
// message boxes (the plain one, and the one that captures a key for an assignment).
#pragma once

#include "gui/Button.h"
#include "gui/Image.h"

#include <cstdint>
#include <string_view>

namespace Gui {
class Edit;
}

namespace Fe {

class Frontend;

// Seconds of the fade between menu pages.
inline constexpr float MenuFade = 0.2f;

// Clicked in this frame and not disabled; false for a missing button.
bool Pressed(const Gui::Button* button);
// A disabled button (state 3) comes back as normal; any other state stays.
void SetEnabled(Gui::Button* button, bool enabled);

// The strings file's format with the one text argument it takes. The format is data: one that asks for
// anything but a single "%s" (and "%%") is not handed to printf; the argument is shown alone instead.
Base::String FormatWithText(const Base::String& format, const Base::String& argument);

// Shows or hides a widget (none is skipped), only when that changes it.
void Show(Gui::Widget* widget, bool on);
// Sets an edit's text (none is skipped) and lays it out again.
void SetEditText(Gui::Edit* edit, const Base::String& text);

// The container whose focus child a widget can be: its parent, else its desktop.
Gui::WidgetsContainer* ParentContainer(Gui::Widget* widget);

// A direct child of the front end's desktop, shown by the root's transitions.
class Page : public Gui::Image {
public:
    // The button of that name anywhere below the page was clicked in this frame.
    bool Pressed(std::string_view buttonName) const;
    // Asks the root for the page (searched through the whole tree) with a fade of that length.
    void ShowPage(std::string_view pageName, float duration) const;
    // Sets the root's action, returned at the end of this frame.
    void SetAction(uint32_t code) const;

    Frontend* frontend = nullptr; // set by the root
};

class MessageBox : public Gui::Image {
public:
    enum Result : uint32_t { None = 0, Ok = 1, Yes = 2, No = 3, Cancel = 4 };

    // Its "Ok", "Yes", "No" and "Cancel" buttons (each may be missing) close it with their result.
    void Update() override;

    // Shown, and the only child of its parent that reacts until it is answered.
    void Show();
    // Hidden, and its parent reacts again.
    void Close();
    // The answer, cleared as it is read.
    uint32_t TakeResult();

    uint32_t result = None;
};

class MessageBoxSwitchAssignment : public MessageBox {
public:
    // The box's buttons, then the key pressed in this frame: an accepted key (with the modifiers held)
    // answers Ok.
    void Update() override;

    // Keys a command can be given: space, brackets, the digit row, the letter rows but for P, A, Z, X and C,
    // and the punctuation beside them.
    static bool Accepted(uint8_t scanCode);

    uint8_t keyCode = 0;
    uint8_t joyButton = 0xFF;
    uint8_t modifiers = 0;
};

} // namespace Fe
