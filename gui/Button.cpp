#include "gui/Button.h"

#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Mouse.h"
#include "rwsdk/src/texture.h"

namespace Gui {

namespace {

const Base::ClassRegistration<StringButton> stringRegistration("class Gui::StringButton");
const Base::ClassRegistration<ImageButton> imageRegistration("class Gui::ImageButton");

const char* const StateNames[4] = {"Normal", "Highlighted", "Pressed", "Disabled"};

} // namespace

bool Button::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node))
        return false;
    Base::String word;
    if (node.TryGetString("State", word)) {
        int32_t found = -1;
        for (int32_t i = 0; i < 4; ++i)
            if (word == StateNames[i])
                found = i;
        if (found < 0)
            return false;
        state = found;
    }
    node.TryGetString("HoverSound", hoverSound);
    node.TryGetString("ClickSound", clickSound);
    return true;
}

void Button::Idle() {
    updateFrame = Base::FrameClock::FrameCounter;
    Widget::Idle();
}

void Button::Update() {
    updateFrame = Base::FrameClock::FrameCounter;
    Desktop* desktop = owner;
    if (!desktop || !desktop->cursor || !desktop->mouse || state == Disabled) {
        UpdateChildren(false);
        return;
    }
    const Input::Mouse& mouse = *desktop->mouse;
    // The press that captures the mouse counts as pressing the button at once: a slow frame (or a tap) may
    // see its release in the same poll or the next one, and that release must still click.
    bool pressedNow = false;
    if (desktop->captured.Get() != this) {
        Widget* candidate = desktop->captured ? desktop->captured.Get() : desktop->hovered.Get();
        if (candidate == this) {
            if (state != Highlighted) {
                state = Highlighted;
                desktop->PlaySound(hoverSound);
            }
            if (mouse.clickedButton != 0) {
                UpdateChildren(false);
                return;
            }
            desktop->captured = this;
            pressedNow = true;
        } else {
            state = Normal;
        }
    }
    if (desktop->captured.Get() == this) {
        const bool held = mouse.buttons[0] != 0;
        if (PointInRect(desktop->ScreenToVirtual(desktop->cursor->position), absRect)) {
            if (held) {
                state = Pressed;
            } else {
                if (state == Pressed || pressedNow) {
                    clickFrame = updateFrame;
                    desktop->PlaySound(clickSound);
                }
                state = Highlighted;
            }
        } else {
            state = Highlighted;
        }
        if (!held)
            desktop->captured = nullptr;
    }
    UpdateChildren(false);
}

bool Button::Reserved2(void*) {
    return false;
}

bool Button::IsClicked() const {
    return state != Disabled && updateFrame != 0xFFFFFFFF && clickFrame == updateFrame;
}

// ---- string button

bool StringButton::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Button::Load(widgetName, node) || !LoadStyle(node))
        return false;
    const Base::Info* caption = node.GetChild("Text");
    if (!caption)
        return false;
    text = caption->GetValue();
    for (int i = 0; i < 4; ++i)
        TryGetColour(node, StateNames[i], colours[i]);
    return true;
}

void StringButton::Draw() {
    if (owner && HasFont(name)) {
        const RwRGBA c = colours[state >= 0 && state < 4 ? state : 0];
        const Base::Vector2 centre = owner->VirtualToScreen(
            {(absRect.left + absRect.right) * 0.5f, (absRect.top + absRect.bottom) * 0.5f});
        // Scale and spacing are in virtual units: through the same mapping, less its origin.
        const Base::Vector2 origin = owner->VirtualToScreen({0, 0});
        const Base::Vector2 s = owner->VirtualToScreen(scale);
        const Base::Vector2 sp = owner->VirtualToScreen(spacing);
        QueueText(centre, text, c, {s.x - origin.x, s.y - origin.y}, 0, text.size(),
                  {sp.x - origin.x, sp.y - origin.y}, alignment[0], alignment[1]);
        FlushTextQueue(font, font->texture ? uint32_t(RwTextureGetFilterMode(font->texture)) : 0);
    }
    DrawChildren();
}

// ---- image button

bool ImageButton::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Button::Load(widgetName, node))
        return false;
    for (int i = 0; i < 4; ++i)
        if (const Base::Info* block = node.GetChild(StateNames[i]))
            hasImage[i] = images[i].Load(*block);
    return true;
}

void ImageButton::Draw() {
    const int32_t i = state >= 0 && state < 4 ? state : 0;
    if (hasImage[i])
        images[i].Draw(owner, absRect);
    DrawChildren();
}

} // namespace Gui
