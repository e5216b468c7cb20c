// A two-dimensional scroll position kept in bounds and on a grid, moved by the wheel and by linked arrow
// buttons and kept in step with linked scroll bars; and the scroll bar whose position is a dragged thumb.
#pragma once

#include "gui/Widget.h"

namespace Gui {

class Button;

class Scroller : public Widget {
public:
    ~Scroller() override = default;
    // The widget's keys, then "ScrollBounds", "ScrollPos", "ScrollGranularity", "ScrollStep", "HScroller",
    // "VScroller" and the four arrow buttons' paths.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
    // Snapped to the grid, then kept in bounds (right and bottom win when the bounds are reversed); nothing
    // while locked.
    virtual void SetScrollPos(Base::Vector2 point);

    void SetScrollBounds(const Rect& newBounds);
    // Disables and enables the arrow buttons and locks the scroll bars after the position or bounds change.
    void UpdateLinkedControls();

    // A position chosen from outside the update (by a UI driver standing in for the player): taken in the
    // update of frame pickFrame as the arrows' clicks are, after whatever the owner showed before it.
    uint32_t pickFrame = 0xFFFFFFFF;
    Base::Vector2 pickPos;

    bool locked = false;
    Base::Vector2 scrollPos;
    Base::Vector2 previousPos;
    Base::Vector2 granularity;
    Base::Vector2 step{1.0f, 1.0f};
    Rect bounds;
    Base::String barNames[2];    // horizontal, vertical
    Base::String buttonNames[4]; // left, right, up, down
    Base::SmartPtr<Scroller> bars[2];
    Base::SmartPtr<Button> buttons[4];

private:
    bool updatingLinks = false;
};

class ButtonScroller : public Scroller {
public:
    ~ButtonScroller() override = default;
    // The scroller's keys and "Button", the thumb; bounds from the thumb's free travel when none were given.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;

    Base::Vector2 grab;
    Base::SmartPtr<Button> thumb;
};

} // namespace Gui
