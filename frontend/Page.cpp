#include "frontend/Page.h"

#include "frontend/Frontend.h"

#include "gui/Desktop.h"
#include "gui/Text.h"
#include "input/Keyboard.h"

namespace Fe {

bool Pressed(const Gui::Button* button) {
    return button && button->IsClicked();
}

void SetEnabled(Gui::Button* button, bool enabled) {
    if (!button)
        return;
    if (!enabled)
        button->state = Gui::Button::Disabled;
    else if (button->state == Gui::Button::Disabled)
        button->state = Gui::Button::Normal;
}

void Show(Gui::Widget* widget, bool on) {
    if (widget && widget->visible != on)
        widget->SetVisible(on);
}

void SetEditText(Gui::Edit* edit, const Base::String& text) {
    if (!edit)
        return;
    edit->SetText(text);
    edit->UpdateLayout();
}

Gui::WidgetsContainer* ParentContainer(Gui::Widget* widget) {
    if (widget->parent)
        return widget->parent;
    return widget->owner ? const_cast<Gui::WidgetsContainer*>(Gui::AsContainer(widget->owner)) : nullptr;
}

Base::String FormatWithText(const Base::String& format, const Base::String& argument) {
    Base::String out;
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        const char next = i + 1 < format.size() ? format[i + 1] : '\0';
        if (next == '%') {
            out += '%';
        } else if (next == 's' && !used) {
            out += argument;
            used = true;
        } else {
            return argument;
        }
        ++i;
    }
    return used ? out : argument;
}

// ---- page

bool Page::Pressed(std::string_view buttonName) const {
    return Fe::Pressed(Find<Gui::Button>(buttonName, true));
}

void Page::ShowPage(std::string_view pageName, float duration) const {
    if (frontend)
        frontend->SwitchPage(Base::String(pageName), duration);
}

void Page::SetAction(uint32_t code) const {
    if (frontend)
        frontend->action = code;
}

// ---- message boxes

void MessageBox::Update() {
    UpdateChildren(false);
    static const char* const Answers[4] = {"Ok", "Yes", "No", "Cancel"};
    for (uint32_t i = 0; i < 4; ++i)
        if (Fe::Pressed(Find<Gui::Button>(Answers[i], true))) {
            Close();
            result = i + 1;
        }
}

void MessageBox::Show() {
    SetVisible(true);
    if (Gui::WidgetsContainer* container = ParentContainer(this))
        container->focus = this;
    result = None;
}

void MessageBox::Close() {
    SetVisible(false);
    if (Gui::WidgetsContainer* container = ParentContainer(this); container && container->focus == this)
        container->focus = nullptr;
}

uint32_t MessageBox::TakeResult() {
    const uint32_t answer = result;
    result = None;
    return answer;
}

bool MessageBoxSwitchAssignment::Accepted(uint8_t code) {
    return code == 0x39 || (code >= 0x1A && code <= 0x1B) || (code >= 0x02 && code <= 0x0E) ||
           (code >= 0x0F && code <= 0x18) || (code >= 0x1F && code <= 0x28) || (code >= 0x2F && code <= 0x35);
}

void MessageBoxSwitchAssignment::Update() {
    MessageBox::Update();
    const Input::Keyboard* keyboard = owner ? owner->keyboard : nullptr;
    if (!keyboard)
        return;
    uint8_t held = 0;
    if (keyboard->keys[0x2A] || keyboard->keys[0x36]) // left and right Shift
        held |= 1;
    if (keyboard->keys[0x1D] || keyboard->keys[0x9D]) // left and right Control
        held |= 2;
    if (keyboard->keys[0x38] || keyboard->keys[0xB8]) // left and right Alt
        held |= 4;
    const uint8_t key = keyboard->pressedKey;
    if (!Accepted(key))
        return;
    keyCode = key;
    modifiers = held;
    result = Ok;
    Close();
}

} // namespace Fe
