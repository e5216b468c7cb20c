#include "tests/rig/UiDriver.h"

#include "tests/rig/ScriptedInput.h"

#include "base/FrameClock.h"
#include "gui/Button.h"
#include "gui/Desktop.h"
#include "gui/Lists.h"
#include "gui/Text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace Rig {

UiDriver::UiDriver(Gui::Desktop& desktop, ScriptedInput* input) : desktop(desktop), input(input) {}

bool UiDriver::Reachable(const Gui::Widget& widget, std::string_view name) {
    const Gui::Widget* w = &widget;
    while (w) {
        if (!w->visible) {
            ADD_FAILURE() << "\"" << name << "\" cannot be clicked: \"" << w->name << "\" is hidden";
            return false;
        }
        const Gui::WidgetsContainer* holder =
            w->parent ? static_cast<const Gui::WidgetsContainer*>(w->parent) : Gui::AsContainer(w->owner);
        if (holder && holder->focus && holder->focus != w) {
            ADD_FAILURE() << "\"" << name << "\" cannot be clicked: \"" << holder->focus->name
                          << "\" holds the focus";
            return false;
        }
        w = w->parent;
    }
    return true;
}

Gui::Button* UiDriver::Click(std::string_view name) {
    Gui::Button* button = Get<Gui::Button>(name, "button");
    if (!button || !Reachable(*button, name))
        return nullptr;
    // The button's update stamps the frame; the click counts in the frame that bears the same stamp.
    button->clickFrame = Base::FrameClock::FrameCounter + 1;
    return button;
}

Gui::Edit* UiDriver::Type(std::string_view name, const std::string& text, int64_t at) {
    Gui::Edit* edit = Get<Gui::Edit>(name, "edit field");
    if (!edit || !Reachable(*edit, name))
        return nullptr;
    if (!input) {
        ADD_FAILURE() << "typing into \"" << name << "\" needs the scripted keyboard";
        return nullptr;
    }
    desktop.captured = nullptr;
    desktop.lastPressed = edit;
    ScriptEvent keys;
    keys.frame = at < 0 ? frame : uint32_t(at);
    keys.device = "keyboard";
    keys.event = "type";
    keys.arguments = {text};
    input->script.Add(keys);
    return edit;
}

namespace {

// Shown at once, and taken again in the selector's next update as the player's click on its arrows is:
// a panel that shows its stored setting before its children's update would otherwise undo the pick.
void Choose(Gui::Scroller& selector, int32_t index) {
    selector.SetScrollPos({0.0f, float(index)});
    selector.pickPos = selector.scrollPos;
    selector.pickFrame = Base::FrameClock::FrameCounter + 1;
}

bool Select(Gui::StringSelector& selector, int32_t index) {
    if (index < 0 || index >= int32_t(selector.strings.size()))
        return false;
    Choose(selector, index);
    return selector.GetSelectedIndex() == index;
}

} // namespace

Gui::Widget* UiDriver::Pick(std::string_view name, int32_t index) {
    Gui::Widget* widget = desktop.Find<Gui::Widget>(name, true);
    bool picked = false;
    if (auto* list = dynamic_cast<Gui::StringList*>(widget)) {
        picked = index >= 0 && index < int32_t(list->strings.size());
        if (picked)
            list->selected = index;
    } else if (auto* strings = dynamic_cast<Gui::StringSelector*>(widget)) {
        picked = Select(*strings, index);
    } else if (auto* images = dynamic_cast<Gui::ImageSelector*>(widget)) {
        picked = index >= 0 && index < int32_t(images->images.size());
        if (picked) {
            Choose(*images, index);
            picked = int32_t(std::floor(images->scrollPos.y + 0.5f)) == index;
        }
    } else {
        ADD_FAILURE() << "no list or selector named \"" << name << "\"";
        return nullptr;
    }
    if (!picked) {
        ADD_FAILURE() << "\"" << name << "\" has no item " << index;
        return nullptr;
    }
    return widget;
}

Gui::Widget* UiDriver::Pick(std::string_view name, const std::string& item) {
    Gui::Widget* widget = desktop.Find<Gui::Widget>(name, true);
    const std::vector<Base::String>* strings = nullptr;
    if (auto* list = dynamic_cast<Gui::StringList*>(widget))
        strings = &list->strings;
    else if (auto* selector = dynamic_cast<Gui::StringSelector*>(widget))
        strings = &selector->strings;
    if (!strings) {
        ADD_FAILURE() << "no string list or selector named \"" << name << "\"";
        return nullptr;
    }
    for (size_t i = 0; i < strings->size(); ++i)
        if ((*strings)[i] == item)
            return Pick(name, int32_t(i));
    ADD_FAILURE() << "\"" << name << "\" has no item \"" << item << "\"";
    return nullptr;
}

void UiDriver::BeginFrame(const Script& script, uint32_t f) {
    frame = f;
    std::vector<ScriptEvent> events;
    for (const ScriptEvent* e : script.At(f, "ui"))
        events.push_back(*e);
    for (const ScriptEvent& e : events) {
        const std::string where = "script line " + std::to_string(e.line) + ": " + e.ToString();
        SCOPED_TRACE(where);
        const size_t n = e.arguments.size();
        if (e.event == "click" && n == 1) {
            Click(e.arguments[0]);
        } else if (e.event == "type" && n == 2) {
            Type(e.arguments[0], e.arguments[1]);
        } else if (e.event == "pick" && n == 2) {
            const std::string& item = e.arguments[1];
            char* end = nullptr;
            const long index = std::strtol(item.c_str(), &end, 10);
            if (!item.empty() && *end == 0)
                Pick(e.arguments[0], int32_t(index));
            else
                Pick(e.arguments[0], item);
        } else {
            ADD_FAILURE() << "not a ui event";
        }
    }
}

} // namespace Rig
