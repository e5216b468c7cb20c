// The options page's four panels. Each edits a copy of the root's settings every frame and writes the whole
// copy back, so that a change is in force at once; the file is written at exit.
#pragma once

#include "base/Config.h"
#include "gui/Image.h"

#include <vector>

struct RwVideoMode;

namespace Fe {

class Frontend;

// A panel of the options page: the page's root holds the settings it edits.
class OptionsPanel : public Gui::Image {
public:
    // Null when the panel is not on an options page with a root.
    Frontend* Root() const;
    // The panel's own fields of the settings take their defaults; "BtnSetDefaults" is offered only while
    // that would change something.
    virtual void SetPanelDefaults(Base::Config& config) const = 0;

protected:
    // Steps 1 to 3 of every panel's update: copy, the defaults button, and its press. False without a root.
    bool BeginUpdate(Base::Config& copy);
};

class OptionsAudio : public OptionsPanel {
public:
    void Update() override;
    void SetPanelDefaults(Base::Config& config) const override;
};

class OptionsControls : public OptionsPanel {
public:
    void Update() override;
    // The joystick's sliders and labels are shown only with a joystick control type.
    void Draw() override;
    void SetPanelDefaults(Base::Config& config) const override;
};

class OptionsDisplay : public OptionsPanel {
public:
    void Update() override;
    // Fills the resolution and refresh lists from the engine's video modes, on every show and hide.
    void SetVisible(bool on) override;
    void SetPanelDefaults(Base::Config& config) const override;

    // The lists from these modes: the full-screen 32-bit 4:3 ones of at least 320 x 240, in their order
    // (all the full-screen 32-bit ones when none is 4:3), and the refresh rates.
    void FillLists(const std::vector<RwVideoMode>& modes);
    // "%i x %i" of each full-screen 32-bit 4:3 mode of at least 320 x 240, in order, duplicates kept.
    static std::vector<Base::String> ResolutionEntries(const std::vector<RwVideoMode>& modes);

    bool restartNoticeShown = false;
};

// The commands of the key-assignment panel, in the order it processes them, with their index in the
// settings' key table (15 has no row).
struct AssignmentRow {
    const char* name;
    int index;
};
extern const AssignmentRow AssignmentRows[21];

class OptionsAssignments : public OptionsPanel {
public:
    void Update() override;
    void SetPanelDefaults(Base::Config& config) const override;

    int pendingRow = -1; // table index of the command whose capture box is open
    bool allAssigned = true;
    uint8_t lastKey = 0;
    uint8_t lastModifiers = 0;
    uint8_t lastButton = 0xFF;
    int lastRow = -1;

private:
    // Takes over a key or button just bound elsewhere, opens the capture box on a press, and writes the
    // labels; false when the command has neither a key nor a button.
    bool UpdateRow(const AssignmentRow& row, Base::Config& copy);
};

} // namespace Fe
