// The root of a widget tree: owns its widgets, maps the tree's virtual coordinates ("DesktopRect") to screen
// pixels, keeps the tree's one cursor, finds the widget under it and plays the widgets' interface sounds.
#pragma once

#include "gui/Widget.h"

namespace Input {
class Keyboard;
class Mouse;
} // namespace Input
namespace Audio {
class SoundGroup;
}

namespace Gui {

class Cursor;

// The screen in pixels, from the display's colour raster; empty before the engine runs.
Rect ScreenRect();

class Desktop : public WidgetsContainer {
public:
    Desktop() = default;
    // Deletes every widget of the tree; the sound group stays its creator's.
    ~Desktop() override;

    bool AddChild(Widget* child) override;
    bool RemoveChild(Widget* child) override;
    // "DesktopRect" (required) and the top-level "Widgets".
    virtual bool Load(const Base::Info& node);
    virtual bool Reserved(void* argument);
    virtual void Draw();
    virtual void Update();

    void DeleteAllWidgets();
    Base::Vector2 VirtualToScreen(Base::Vector2 point) const;
    Base::Vector2 ScreenToVirtual(Base::Vector2 point) const;
    // A one-shot sound of that file in the desktop's group.
    virtual void PlaySound(const Base::String& soundName);
    // The topmost visible, non-transparent widget whose rect holds the point (virtual coordinates), searched
    // down the tree; null when none.
    Widget* HitTest(Base::Vector2 point) const;
    // Drops every mouse reference (captured, pressed, hovered) to the widget or a widget below it; called as
    // a widget leaves the tree, or hides and must let go of the keys.
    void Forget(Widget* leaving);
    // Hands the keys to the widget as if it had just been clicked (a button that opens a name field, a key
    // that opens the chat): the mouse lets go of whatever it holds, and a press seen in the update that
    // follows does not take the keys back.
    void GiveKeys(Widget* widget);

    Input::Keyboard* keyboard = nullptr;
    Input::Mouse* mouse = nullptr;
    Audio::SoundGroup* sounds = nullptr;
    Cursor* cursor = nullptr;
    Rect virtualRect;
    Rect screenRect;
    // Tracked: a widget deleted by its user must not be pressed or hovered afterwards.
    Base::SmartPtr<Widget> captured;
    Base::SmartPtr<Widget> lastPressed;
    Base::SmartPtr<Widget> hovered;

private:
    bool keysGiven = false;
};

} // namespace Gui
