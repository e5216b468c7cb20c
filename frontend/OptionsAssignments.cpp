#include "frontend/Frontend.h"
#include "frontend/OptionPanels.h"
#include "frontend/Page.h"

#include "base/TextTable.h"
#include "gui/Text.h"

#include <algorithm>
#include <cstdio>

namespace Fe {

const AssignmentRow AssignmentRows[21] = {
    {"Gears", 0},        {"WheelBrakes", 1}, {"Engines", 2},     {"Afterburner", 3}, {"WeaponDoor", 4},
    {"Shoot", 5},        {"AirToAir", 6},    {"AirToGround", 7}, {"Flare", 8},       {"Chaff", 9},
    {"Target1", 10},     {"Target2", 11},    {"Navpoint", 12},   {"Radar1", 13},     {"Radar2", 14},
    {"Ecm", 16},         {"Eject", 17},      {"Pause", 18},      {"TimeCmp", 19},    {"TimeCmpMinus", 20},
    {"TimeCmpPlus", 21},
};

namespace {

constexpr uint32_t Unassigned = 0xFF802020; // dark red
constexpr uint32_t Assigned = 0xFFFFFFFF;

void SetLabel(Gui::Widget* row, const char* name, const Base::String& text, uint32_t colour) {
    if (!row)
        return;
    if (auto* label = row->Find<Gui::Text>(name, true)) {
        label->SetTextColor(colour);
        if (label->text != text)
            label->SetText(text);
    }
}

} // namespace

void OptionsAssignments::SetPanelDefaults(Base::Config& config) const {
    config.SetDefaultKeyAssignments();
}

bool OptionsAssignments::UpdateRow(const AssignmentRow& row, Base::Config& copy) {
    auto* box = Find<MessageBoxSwitchAssignment>("MessageBoxSwitchAssignment", true);
    Gui::Widget* widget = FindWidget(row.name, true);
    Base::KeyAssignment& a = copy.keyAssignments[row.index];

    // A key or button just bound to another command is taken from this one.
    if (lastKey == a.key && lastModifiers == a.modifiers && lastRow != row.index) {
        a.key = 0;
        a.modifiers = 0;
    }
    if (lastButton == a.button && lastRow != row.index)
        a.button = Base::KeyAssignment::NoButton;

    if (box && widget && Pressed(widget->Find<Gui::Button>("Btn", true))) {
        box->keyCode = a.key;
        box->joyButton = a.button;
        box->modifiers = a.modifiers;
        if (auto* message = box->Find<Gui::Text>("Message", true))
            message->SetText(FormatWithText(Base::GetText("Fe.MsgBox.10"),
                                            Base::GetText(std::string("Fe.Assignments.") + row.name)));
        box->Show();
        pendingRow = row.index;
    }

    if (a.key == 0) {
        SetLabel(widget, "Key", Base::GetText("Fe.Assignments.Unassigned"), Unassigned);
    } else {
        Base::String label = Base::GetText("KeyNames." + std::to_string(a.key));
        if (a.modifiers & 4)
            label = Base::GetText("Fe.Assignments.Alt") + label;
        if (a.modifiers & 2)
            label = Base::GetText("Fe.Assignments.Control") + label;
        if (a.modifiers & 1)
            label = Base::GetText("Fe.Assignments.Shift") + label;
        SetLabel(widget, "Key", label, Assigned);
    }
    if (a.button == Base::KeyAssignment::NoButton)
        SetLabel(widget, "Joy", Base::GetText("Fe.Assignments.Unassigned"), Unassigned);
    else
        SetLabel(widget, "Joy",
                 Base::GetText("Fe.Assignments.JoyButton") + " " + std::to_string(a.button + 1), Assigned);
    return a.key != 0 || a.button != Base::KeyAssignment::NoButton;
}

void OptionsAssignments::Update() {
    UpdateChildren(false);
    Frontend* root = Root();
    if (!root)
        return;
    Base::Config copy = root->config;

    allAssigned = true;
    for (const AssignmentRow& row : AssignmentRows)
        if (!UpdateRow(row, copy))
            allAssigned = false;

    if (auto* box = Find<MessageBoxSwitchAssignment>("MessageBoxSwitchAssignment", true);
        box && pendingRow >= 0) {
        Base::KeyAssignment& a = copy.keyAssignments[pendingRow];
        switch (box->TakeResult()) {
        case MessageBox::Ok: {
            const Base::KeyAssignment captured{box->keyCode, box->joyButton, box->modifiers};
            if (captured.key == a.key && captured.modifiers == a.modifiers) {
                lastKey = 0;
                lastModifiers = 0;
            } else {
                lastKey = captured.key;
                lastModifiers = captured.modifiers;
            }
            lastButton = captured.button != a.button ? captured.button : Base::KeyAssignment::NoButton;
            a = captured;
            lastRow = pendingRow;
            break;
        }
        case MessageBox::No:
            // "No" takes the joystick button off the command.
            lastButton = Base::KeyAssignment::NoButton;
            a.button = Base::KeyAssignment::NoButton;
            lastRow = pendingRow;
            break;
        default:
            break;
        }
    }

    // The rows scroll inside their clipper by the slider's vertical position.
    Gui::Widget* list = FindWidget("Assignments", true);
    const Gui::Widget* clipper = FindWidget("Clipper", true);
    const auto* slider = Find<Gui::Scroller>("AssignmentsSlider", true);
    if (list && clipper && slider) {
        const float height = list->rect.bottom - list->rect.top;
        const float overflow = std::max(0.0f, height - (clipper->rect.bottom - clipper->rect.top));
        const float top = -overflow * slider->scrollPos.y;
        list->SetRect({list->rect.left, top, list->rect.right, top + height});
    }

    Base::Config defaults = copy;
    defaults.SetDefaultKeyAssignments();
    auto* button = Find<Gui::Button>("BtnSetDefaults", true);
    SetEnabled(button, !(defaults == copy));
    if (Pressed(button))
        copy.SetDefaultKeyAssignments();

    root->config = copy;
}

} // namespace Fe
