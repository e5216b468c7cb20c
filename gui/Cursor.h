// The mouse cursor of a widget tree: moved by the mouse's relative motion and kept on the screen. A base
// only: *.gui files create a drawn kind of it.
#pragma once

#include "gui/Widget.h"

namespace Gui {

class Cursor : public Widget {
public:
    // Transparent first (a cursor never blocks the hit test), then the widget's keys.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
    // Takes the desktop's screen as bounds and re-applies the position in them.
    void SetOwner(Desktop* newOwner) override;
    // Clamped into the bounds, edges included.
    virtual void SetPosition(Base::Vector2 point);

    Base::Vector2 position; // screen pixels
    Rect bounds;            // screen pixels
};

} // namespace Gui
