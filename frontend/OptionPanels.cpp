#include "frontend/OptionPanels.h"

#include "frontend/Frontend.h"
#include "frontend/Page.h"
#include "frontend/Pages.h"

#include "base/TextTable.h"
#include "gui/Lists.h"
#include "gui/Scroller.h"
#include "gui/Text.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/engine.h"
#include "scene/EngineHost.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Fe {

namespace {

// A slider shows the value as its horizontal position, its gauge as a percentage.
void ShowValue(const Gui::Widget& panel, const char* slider, const char* gauge, float value) {
    if (auto* s = panel.Find<Gui::Scroller>(slider, true))
        s->SetScrollPos({value, 0.0f});
    if (auto* g = panel.Find<Gui::Text>(gauge, true)) {
        char text[32];
        std::snprintf(text, sizeof text, "%0.0f%%", double(value * 100.0f));
        g->SetText(text);
    }
}

float ReadValue(const Gui::Widget& panel, const char* slider, float value) {
    const auto* s = panel.Find<Gui::Scroller>(slider, true);
    return s ? s->scrollPos.x : value;
}

void ShowIndex(const Gui::Widget& panel, const char* list, int32_t index) {
    if (auto* l = panel.Find<Gui::StringSelector>(list, true))
        l->SetScrollPos({0.0f, float(index)});
}

Base::String RateEntry(uint32_t rate) {
    if (rate == 0)
        return Base::GetText("Fe.Options.14");
    char text[32];
    std::snprintf(text, sizeof text, "%u Hz", rate);
    return text;
}

Base::String SizeEntry(uint32_t width, uint32_t height) {
    char text[48];
    std::snprintf(text, sizeof text, "%u x %u", width, height);
    return text;
}

// The first entry equal to the text, else 0.
int32_t IndexOf(const std::vector<Base::String>& entries, const Base::String& text) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == text)
            return int32_t(i);
    return 0;
}

const Gui::StringSelector* Selected(const Gui::Widget& panel, const char* list, const Base::String** entry) {
    const auto* l = panel.Find<Gui::StringSelector>(list, true);
    *entry = nullptr;
    if (l) {
        const int32_t i = l->GetSelectedIndex();
        if (i >= 0 && size_t(i) < l->strings.size())
            *entry = &l->strings[size_t(i)];
    }
    return l;
}

} // namespace

// ---- every panel

Frontend* OptionsPanel::Root() const {
    const auto* page = dynamic_cast<const PgOptions*>(parent);
    return page ? page->frontend : nullptr;
}

bool OptionsPanel::BeginUpdate(Base::Config& copy) {
    Frontend* root = Root();
    if (!root)
        return false;
    copy = root->config;
    Base::Config defaults = copy;
    SetPanelDefaults(defaults);
    auto* button = Find<Gui::Button>("BtnSetDefaults", true);
    SetEnabled(button, !(defaults == copy));
    if (Pressed(button))
        SetPanelDefaults(copy);
    return true;
}

// ---- audio

void OptionsAudio::SetPanelDefaults(Base::Config& config) const {
    config.sfxVolume = 1.0f;
    config.musicVolume = 0.5f;
}

void OptionsAudio::Update() {
    Base::Config copy;
    if (!BeginUpdate(copy)) {
        UpdateChildren(false);
        return;
    }
    ShowValue(*this, "SfxSlider", "SfxGauge", copy.sfxVolume);
    ShowValue(*this, "MusicSlider", "MusicGauge", copy.musicVolume);
    UpdateChildren(false);
    copy.sfxVolume = ReadValue(*this, "SfxSlider", copy.sfxVolume);
    copy.musicVolume = ReadValue(*this, "MusicSlider", copy.musicVolume);
    Root()->config = copy;
}

// ---- controls

void OptionsControls::SetPanelDefaults(Base::Config& config) const {
    config.joyDeadZone = 0.1f;
    config.joySensitivity = 0.5f;
    config.invertPitch = false;
}

void OptionsControls::Update() {
    Base::Config copy;
    if (!BeginUpdate(copy)) {
        UpdateChildren(false);
        return;
    }
    ShowValue(*this, "JoyDeadZone", "JoyDeadGauge", copy.joyDeadZone);
    ShowValue(*this, "JoySensitivity", "JoySensGauge", copy.joySensitivity);
    ShowIndex(*this, "ControlsType", int32_t(copy.controlsType));
    ShowIndex(*this, "PitchType", copy.invertPitch ? 1 : 0);
    UpdateChildren(false);
    copy.joyDeadZone = ReadValue(*this, "JoyDeadZone", copy.joyDeadZone);
    copy.joySensitivity = ReadValue(*this, "JoySensitivity", copy.joySensitivity);
    if (const auto* list = Find<Gui::StringSelector>("ControlsType", true))
        copy.controlsType = uint32_t(std::max(list->GetSelectedIndex(), 0));
    if (const auto* list = Find<Gui::StringSelector>("PitchType", true))
        copy.invertPitch = list->GetSelectedIndex() == 1;
    Root()->config = copy;
}

void OptionsControls::Draw() {
    if (const Frontend* root = Root()) {
        const bool joystick = root->config.controlsType != 0;
        for (const char* name :
             {"JoySensitivity", "JoyDeadZone", "JoySens", "JoyDead", "JoySensGauge", "JoyDeadGauge"})
            if (Gui::Widget* widget = FindWidget(name, true))
                widget->SetVisible(joystick);
    }
    OptionsPanel::Draw();
}

// ---- display

std::vector<Base::String> OptionsDisplay::ResolutionEntries(const std::vector<RwVideoMode>& modes) {
    std::vector<Base::String> entries;
    for (const RwVideoMode& m : modes)
        if ((m.flags & 1) && m.depth == 32 && m.width >= 320 && m.height >= 240 &&
            m.height * 4 / 3 == m.width)
            entries.push_back(SizeEntry(uint32_t(m.width), uint32_t(m.height)));
    return entries;
}

void OptionsDisplay::FillLists(const std::vector<RwVideoMode>& modes) {
    if (auto* list = Find<Gui::StringSelector>("ResolutionList", true)) {
        std::vector<Base::String> entries = ResolutionEntries(modes);
        // A machine without a 4:3 mode (a wide screen, a virtual display) still offers its own.
        if (entries.empty())
            for (const RwVideoMode& m : modes)
                if ((m.flags & 1) && m.depth == 32 && m.width >= 320 && m.height >= 240)
                    entries.push_back(SizeEntry(uint32_t(m.width), uint32_t(m.height)));
        list->SetStrings(0);
        list->SetStrings(entries.size());
        list->strings = entries;
    }
    if (auto* list = Find<Gui::StringSelector>("RefreshList", true)) {
        static const uint32_t Rates[6] = {0, 60, 72, 75, 85, 100};
        list->SetStrings(0);
        list->SetStrings(6);
        for (size_t i = 0; i < 6; ++i)
            list->strings[i] = RateEntry(Rates[i]);
    }
}

void OptionsDisplay::SetVisible(bool on) {
    OptionsPanel::SetVisible(on);
    std::vector<RwVideoMode> modes;
    const RwInt32 count = Rw::EngineStarted ? RwEngineGetNumVideoModes() : 0;
    for (RwInt32 i = 0; i < count; ++i) {
        RwVideoMode mode{};
        if (RwEngineGetVideoModeInfo(&mode, i))
            modes.push_back(mode);
    }
    FillLists(modes);
}

void OptionsDisplay::SetPanelDefaults(Base::Config& config) const {
    config.displayWidth = 1024;
    config.displayHeight = 768;
    config.visibility = 0.75f;
    config.autogenDensity = 0.3f;
    config.cloudsDensity = 0.5f;
}

void OptionsDisplay::Update() {
    Base::Config copy;
    if (!BeginUpdate(copy)) {
        UpdateChildren(false);
        return;
    }
    ShowValue(*this, "VisibilitySlider", "VisibilityGauge", copy.visibility);
    ShowValue(*this, "AutogenSlider", "AutogenGauge", copy.autogenDensity);
    ShowValue(*this, "CloudsSlider", "CloudsGauge", copy.cloudsDensity);
    if (const auto* list = Find<Gui::StringSelector>("ResolutionList", true))
        ShowIndex(*this, "ResolutionList",
                  IndexOf(list->strings, SizeEntry(copy.displayWidth, copy.displayHeight)));
    if (const auto* list = Find<Gui::StringSelector>("RefreshList", true))
        ShowIndex(*this, "RefreshList", IndexOf(list->strings, RateEntry(copy.refreshRate)));

    UpdateChildren(false);

    copy.visibility = ReadValue(*this, "VisibilitySlider", copy.visibility);
    copy.autogenDensity = ReadValue(*this, "AutogenSlider", copy.autogenDensity);
    copy.cloudsDensity = ReadValue(*this, "CloudsSlider", copy.cloudsDensity);
    const Base::String* entry = nullptr;
    // No mode to choose from: the size stays what it was rather than one read from nothing.
    bool sizeChosen = false;
    if (Selected(*this, "ResolutionList", &entry) && entry) {
        int width = 0, height = 0;
        if (std::sscanf(entry->c_str(), " %i x %i", &width, &height) == 2 && width > 0 && height > 0) {
            copy.displayWidth = uint32_t(width);
            copy.displayHeight = uint32_t(height);
            sizeChosen = true;
        }
    }
    if (Selected(*this, "RefreshList", &entry) && entry)
        copy.refreshRate = !entry->empty() && std::isdigit(static_cast<unsigned char>((*entry)[0]))
                               ? uint32_t(std::strtoul(entry->c_str(), nullptr, 10))
                               : 0;
    Root()->config = copy;

    // A new size is used from the next start; the player is told once.
    if (sizeChosen && !restartNoticeShown && Rw::ColourRaster &&
        (copy.displayWidth != uint32_t(RwRasterGetWidth(Rw::ColourRaster)) ||
         copy.displayHeight != uint32_t(RwRasterGetHeight(Rw::ColourRaster)))) {
        if (auto* box = Find<MessageBox>("MessageBoxRestartNeeded", true))
            box->Show();
        restartNoticeShown = true;
    }
}

} // namespace Fe
