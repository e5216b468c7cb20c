#include "gui/Scroller.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Button.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "input/Mouse.h"

#include <cmath>

namespace Gui {

namespace {

const Base::ClassRegistration<ButtonScroller> registration("class Gui::ButtonScroller");

const char* const ButtonKeys[4] = {"LeftScrollButton", "RightScrollButton", "UpScrollButton",
                                   "DownScrollButton"};

float Snap(float value, float grid) {
    return grid != 0.0f ? std::floor(value / grid + 0.5f) * grid : value;
}

// The low bound first, then the high one, which wins when they are reversed.
float Keep(float value, float low, float high) {
    if (!(value > low))
        value = low;
    if (!(value < high))
        value = high;
    return value;
}

// Where value lies from low to high, 0 to 1; 0 for an empty range, which has no inside to lie in.
float Fraction(float value, float low, float high) {
    return high - low != 0.0f ? (value - low) / (high - low) : 0.0f;
}

void SetDisabled(Button* button, bool disabled) {
    if (!button)
        return;
    if (disabled)
        button->state = Button::Disabled;
    else if (button->state == Button::Disabled)
        button->state = Button::Normal;
}

} // namespace

bool Scroller::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    Rect loadedBounds;
    if (node.GetRect("ScrollBounds", loadedBounds))
        SetScrollBounds(loadedBounds);
    Base::Vector2 point;
    if (node.TryGetPoint("ScrollPos", point))
        SetScrollPos(point);
    if (node.TryGetPoint("ScrollGranularity", granularity))
        SetScrollPos(scrollPos);
    node.TryGetPoint("ScrollStep", step);
    node.TryGetString("HScroller", barNames[0]);
    node.TryGetString("VScroller", barNames[1]);
    for (int i = 0; i < 4; ++i)
        node.TryGetString(ButtonKeys[i], buttonNames[i]);
    return true;
}

void Scroller::SetScrollPos(Base::Vector2 p) {
    if (locked)
        return;
    scrollPos.x = Keep(Snap(p.x, granularity.x), bounds.left, bounds.right);
    scrollPos.y = Keep(Snap(p.y, granularity.y), bounds.top, bounds.bottom);
    UpdateLinkedControls();
}

void Scroller::SetScrollBounds(const Rect& newBounds) {
    bounds = newBounds;
    SetScrollPos(scrollPos);
    UpdateLinkedControls();
}

void Scroller::UpdateLinkedControls() {
    // A bar linked back to this scroller (itself, or through another bar) would come here again for ever.
    if (updatingLinks)
        return;
    updatingLinks = true;
    const float range[2] = {bounds.right - bounds.left, bounds.bottom - bounds.top};
    for (int axis = 0; axis < 2; ++axis) {
        Scroller* bar = bars[axis];
        Button* low = buttons[axis * 2];
        Button* high = buttons[axis * 2 + 1];
        if (range[axis] == 0.0f) {
            if (bar) {
                bar->SetScrollPos({bar->bounds.left, bar->bounds.top});
                bar->locked = true;
            }
            SetDisabled(low, true);
            SetDisabled(high, true);
        } else {
            if (bar)
                bar->locked = false;
            SetDisabled(low, false);
            SetDisabled(high, false);
        }
    }
    SetDisabled(buttons[0], scrollPos.x == bounds.left);
    SetDisabled(buttons[1], scrollPos.x == bounds.right);
    SetDisabled(buttons[2], scrollPos.y == bounds.top);
    SetDisabled(buttons[3], scrollPos.y == bounds.bottom);
    updatingLinks = false;
}

void Scroller::Update() {
    Widget::Update();

    for (int i = 0; i < 2; ++i)
        if (!bars[i] && !barNames[i].empty()) {
            bars[i] = Find<Scroller>(barNames[i], true);
            if (bars[i])
                UpdateLinkedControls();
        }
    for (int i = 0; i < 4; ++i)
        if (!buttons[i] && !buttonNames[i].empty())
            buttons[i] = Find<Button>(buttonNames[i], true);

    if (owner && owner->mouse) {
        Widget* current = owner->captured ? owner->captured.Get() : owner->hovered.Get();
        const int32_t wheel = owner->mouse->dz;
        if (current == this && wheel != 0) {
            const float sign = wheel > 0 ? -1.0f : 1.0f;
            Base::Vector2 p = scrollPos;
            if (bounds.bottom - bounds.top > 0)
                p.y += sign * step.y;
            else if (bounds.right - bounds.left > 0)
                p.x += sign * step.x;
            SetScrollPos(p);
        }
    }

    Base::Vector2 p = pickFrame == Base::FrameClock::FrameCounter ? pickPos : scrollPos;
    if (buttons[0] && buttons[0]->IsClicked())
        p.x -= step.x;
    if (buttons[1] && buttons[1]->IsClicked())
        p.x += step.x;
    if (buttons[2] && buttons[2]->IsClicked())
        p.y -= step.y;
    if (buttons[3] && buttons[3]->IsClicked())
        p.y += step.y;
    SetScrollPos(p);

    // Whichever side moved leads: this position when it changed, else the bar's.
    if (Scroller* bar = bars[0]) {
        if (scrollPos.x == previousPos.x) {
            const float t = Fraction(bar->scrollPos.x, bar->bounds.left, bar->bounds.right);
            SetScrollPos({(1 - t) * bounds.left + t * bounds.right, scrollPos.y});
        } else {
            const float t = Fraction(scrollPos.x, bounds.left, bounds.right);
            bar->SetScrollPos({(1 - t) * bar->bounds.left + t * bar->bounds.right, bar->scrollPos.y});
        }
    } else {
        SetScrollPos(scrollPos);
    }
    if (Scroller* bar = bars[1]) {
        if (scrollPos.y == previousPos.y) {
            const float t = Fraction(bar->scrollPos.y, bar->bounds.top, bar->bounds.bottom);
            SetScrollPos({scrollPos.x, (1 - t) * bounds.top + t * bounds.bottom});
        } else {
            const float t = Fraction(scrollPos.y, bounds.top, bounds.bottom);
            bar->SetScrollPos({bar->scrollPos.x, (1 - t) * bar->bounds.top + t * bar->bounds.bottom});
        }
    } else {
        SetScrollPos(scrollPos);
    }
    previousPos = scrollPos;
}

// ---- button scroller

bool ButtonScroller::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Scroller::Load(widgetName, node))
        return false;
    Base::String thumbName;
    if (node.TryGetString("Button", thumbName))
        thumb = Find<Button>(thumbName, true);
    if (thumb && bounds == Rect{}) {
        const float w = rect.right - rect.left, h = rect.bottom - rect.top;
        const float bw = thumb->rect.right - thumb->rect.left, bh = thumb->rect.bottom - thumb->rect.top;
        SetScrollBounds({0, 0, w > bw ? 1.0f : 0.0f, h > bh ? 1.0f : 0.0f});
    }
    return true;
}

void ButtonScroller::Draw() {
    if (Button* t = thumb) {
        const float bw = t->rect.right - t->rect.left, bh = t->rect.bottom - t->rect.top;
        Rect r = t->rect;
        if (bounds.right > bounds.left)
            r.left =
                (scrollPos.x - bounds.left) / (bounds.right - bounds.left) * (rect.right - rect.left - bw);
        if (bounds.bottom > bounds.top)
            r.top = (scrollPos.y - bounds.top) / (bounds.bottom - bounds.top) * (rect.bottom - rect.top - bh);
        r.right = r.left + bw;
        r.bottom = r.top + bh;
        t->SetRect(r);
    }
    Widget::Draw();
}

void ButtonScroller::Update() {
    if (Button* t = thumb)
        SetDisabled(t, locked);
    if (!owner || !owner->mouse || !thumb || !owner->cursor) {
        Scroller::Update();
        return;
    }
    const Base::Vector2 mouse = owner->ScreenToVirtual(owner->cursor->position);
    const bool wasCaptured = owner->captured.Get() == thumb.Get();
    Scroller::Update();
    Button* t = thumb;
    if (!t || owner->captured.Get() != t)
        return;
    if (!wasCaptured) {
        grab = {mouse.x - t->absRect.left, mouse.y - t->absRect.top};
        return;
    }
    // A thumb that fills its bar on an axis has no travel there: that axis stays where it is.
    const float travelX = rect.right - rect.left - (t->rect.right - t->rect.left);
    const float travelY = rect.bottom - rect.top - (t->rect.bottom - t->rect.top);
    Base::Vector2 p = scrollPos;
    if (travelX > 0)
        p.x = (mouse.x - absRect.left - grab.x) / travelX * (bounds.right - bounds.left) + bounds.left;
    if (travelY > 0)
        p.y = (mouse.y - absRect.top - grab.y) / travelY * (bounds.bottom - bounds.top) + bounds.top;
    SetScrollPos(p);
}

} // namespace Gui
