// Choosing the airplane and its weapons before a flight. Both pages write their choice into the game request
// and the multiplayer request at once, so that either game flies what was chosen last.
#pragma once

#include "frontend/Flow.h"
#include "frontend/Page.h"

#include "base/String.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Gui {
class ImageSelector;
}

namespace Fe {

class PgSelectAirplane : public Page, public PageLinks {
public:
    static constexpr uint32_t AirplaneCount = 4;
    // The carrier rule: this airplane cannot fly from a carrier-based mission.
    static constexpr uint32_t LandBasedOnly = 0;

    void Update() override;

    std::array<Base::String, AirplaneCount> airplanes = {"Airplanes\\Mig29", "Airplanes\\Su25",
                                                         "Airplanes\\Su27", "Airplanes\\Yak141"};
};

// One rack of the weapon page: the selector that chooses its weapon, and the rack that mirrors its choice.
struct RackEntry {
    int32_t partner = -1;                   // -1: none
    int32_t shownItem = 0;                  // the item last seen on the selector
    Gui::ImageSelector* selector = nullptr; // null for a rack number that no panel child names
};

class PgSelectWeapons : public Page, public PageLinks {
public:
    // Rack numbers a panel may name; a name outside them is left out.
    static constexpr int32_t MaxRacks = 64;
    // Characters of a weapon item's texture name before the weapon's name, and of a set-up value
    // ("Weapons\").
    static constexpr size_t ItemPrefixLength = 14, SetupPrefixLength = 8;
    static constexpr const char* PanelNames[4] = {"Mig29", "Su25", "Su27", "Yak141"};

    void Update() override;
    // Shown: the panel of the request's airplane, with its racks; hidden: every panel.
    void SetVisible(bool on) override;

    // The rack table from a panel's children named "Rack<n>" or "Rack<n>_<partner>" that hold a "Selector".
    void BuildRacks(Gui::Widget* panel);
    // Presets the racks from the airplane's named set-up ("AirToAir", "AirToGround"): every rack first to
    // its first item, then each rack the set-up names to its first item showing that weapon.
    void ApplySetup(std::string_view name);
    // Both requests' loadouts become the racks' weapons ("Rack<n>" = "Weapons\<name>"), empty racks left out.
    void StoreLoadout();

    // A weapon item's name: its texture's name after the prefix; empty when there is none.
    static Base::String ItemName(const Gui::ImageSelector& selector, int32_t item);
    static int32_t SelectedItem(const Gui::ImageSelector& selector);
    static void SelectItem(Gui::ImageSelector& selector, int32_t item);
    // "Rack<n>" or "Rack<n>_<m>": true with n (and m, else -1) for a rack number in [0, MaxRacks).
    static bool ParseRackName(std::string_view name, int32_t& rack, int32_t& partner);
    // A set-up key "RACK<n>" in any letter case, n written as C does ("7", "0x7", "07"): true with n.
    static bool ParseSetupKey(std::string_view key, int32_t& rack);

    std::vector<RackEntry> racks;
};

} // namespace Fe
