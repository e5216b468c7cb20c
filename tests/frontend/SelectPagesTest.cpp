// The airplane and weapon selection pages on the test rig: the carrier rule, linked racks, the set-up
// presets against the airplanes' own descriptions, the loadout in both requests, and the choice flown in the
// game. Panels, rack names, item textures and set-ups that are not as they should be are refused safely.
#include "SPlrFixture.h"

#include "aircraft/Airplane.h"
#include "base/InfoCache.h"
#include "frontend/SelectPages.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "weapons/Stores.h"

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace {

using SPlrTest::SPlrPages;
using Loadout = std::map<std::string, std::string>;

Loadout Entries(const Base::Info& tree) {
    Loadout out;
    for (const auto& [key, child] : tree.GetChildren())
        out[key] = child->GetValue();
    return out;
}

// A set-up of an airplane's description as the file states it, read line by line: "RACK<n> Weapons\<name>"
// under the set-up's block, as "Rack<n>" -> "Weapons\<name>".
Loadout SetupFromFile(const std::string& airplane, const std::string& setup) {
    std::ifstream file(std::string(CORVANE_BINARY_DIR) + "/data/Data/Models/Airplanes/" + airplane + ".info");
    Loadout out;
    std::string line;
    bool inSetups = false, inSetup = false;
    const std::regex rack(R"(\s*RACK(\d+)\s+(\S+)\s*)");
    while (std::getline(file, line)) {
        if (line == "Setups")
            inSetups = true;
        else if (inSetups && line == "\t" + setup)
            inSetup = true;
        else if (inSetup && line == "\t}")
            break;
        std::smatch m;
        if (inSetup && std::regex_match(line, m, rack))
            out["Rack" + m[1].str()] = m[2].str();
    }
    return out;
}

class Select : public SPlrPages {
protected:
    void SetUp() override {
        SPlrPages::SetUp();
        if (HasFatalFailure())
            return;
        Weapons::InstallStores(); // the game's airplanes carry what the page chose
        airplanePage = frontend->desktop->Find<Fe::PgSelectAirplane>("PageSelectAirplane", true);
        weaponPage = frontend->desktop->Find<Fe::PgSelectWeapons>("PageSelectWeapons", true);
        ASSERT_NE(airplanePage, nullptr);
        ASSERT_NE(weaponPage, nullptr);
        // What the briefing and the list pages set.
        airplanePage->backPage = "PageMain";
        weaponPage->nextPage = "PageLoadingSPlr";
    }

    void Open(const char* page) {
        frontend->SwitchPage(page, 0.0f);
        ASSERT_TRUE(FramesUntil([&] { return Showing(page); }));
        Frame(); // its first update
    }
    Gui::ImageSelector* Rack(const char* panel, const char* rack) {
        return frontend->desktop->Find<Gui::ImageSelector>(
            std::string("PageSelectWeapons.Clipper.Weapons.") + panel + "." + rack + ".Selector", true);
    }
    // Every rack's weapon as the loadout would hold it.
    Loadout Shown() const {
        Loadout out;
        for (size_t n = 0; n < weaponPage->racks.size(); ++n) {
            const Gui::ImageSelector* s = weaponPage->racks[n].selector;
            const Base::String name =
                s ? Fe::PgSelectWeapons::ItemName(*s, Fe::PgSelectWeapons::SelectedItem(*s)) : Base::String();
            if (!name.empty() && name != "Empty")
                out["Rack" + std::to_string(n)] = "Weapons\\" + name;
        }
        return out;
    }
    void RequestAirplane(const char* path) {
        Fe::GameRequest request = frontend->gameRequest;
        request.airplane = path;
        frontend->gameRequest.Assign(request);
    }

    Fe::PgSelectAirplane* airplanePage = nullptr;
    Fe::PgSelectWeapons* weaponPage = nullptr;
};

TEST_F(Select, CarrierMissionsRefuseTheLandBasedAirplane) {
    Fe::GameRequest request = frontend->gameRequest;
    request.header.carrierBased = true;
    frontend->gameRequest.Assign(request);
    ASSERT_NO_FATAL_FAILURE(Open("PageSelectAirplane"));
    auto* list = frontend->desktop->Find<Gui::ImageSelector>("AirplanesList", true);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->images.size(), 4u);
    auto panelsShown = [&] {
        std::string shown;
        for (const char* panel : {"0", "1", "2", "3"})
            if (airplanePage->FindWidget(panel, true)->visible)
                shown += panel;
        return shown;
    };
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*list), 0);
    EXPECT_EQ(panelsShown(), "0");
    EXPECT_EQ(Button("PageSelectAirplane.BtnFly")->state, Gui::Button::Disabled);
    EXPECT_TRUE(frontend->desktop->FindWidget("PlaneNotAvailable", true)->visible);
    EXPECT_EQ(list->images[0].color.alpha, 0x80);
    ui->Click("PageSelectAirplane.BtnFly"); // disabled: nothing
    Frame();
    EXPECT_TRUE(Showing("PageSelectAirplane"));

    ui->Pick("AirplanesList", 2);
    Frame();
    EXPECT_EQ(panelsShown(), "2");
    EXPECT_EQ(Button("PageSelectAirplane.BtnFly")->state, Gui::Button::Normal);
    EXPECT_FALSE(frontend->desktop->FindWidget("PlaneNotAvailable", true)->visible);
    EXPECT_EQ(list->images[2].color.alpha, 0xFF);
    ui->Click("PageSelectAirplane.BtnFly");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageSelectWeapons"); }));
    EXPECT_EQ(frontend->gameRequest.airplane, "Airplanes\\Su27");
    EXPECT_EQ(frontend->multiplayerRequest.airplane, "Airplanes\\Su27");
    // The weapon page shows the Su27's racks only.
    EXPECT_TRUE(weaponPage->FindWidget("Su27", true)->visible);
    for (const char* other : {"Mig29", "Su25", "Yak141"})
        EXPECT_FALSE(weaponPage->FindWidget(other, true)->visible) << other;

    // Without a carrier the first airplane flies too; back leads to the page that came before.
    ui->Click("PageSelectWeapons.BtnBack");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageSelectAirplane"); }));
    request = frontend->gameRequest;
    request.header.carrierBased = false;
    frontend->gameRequest.Assign(request);
    ui->Pick("AirplanesList", 0);
    Frame();
    EXPECT_EQ(Button("PageSelectAirplane.BtnFly")->state, Gui::Button::Normal);
    EXPECT_EQ(list->images[0].color.alpha, 0xFF);
    ui->Click("PageSelectAirplane.BtnBack");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageMain"); }));
}

// The Su25's eight racks in pairs: each even rack hands its choice to the odd one beside it, not back.
TEST_F(Select, LinkedRacksPresetsAndTheStoredLoadout) {
    RequestAirplane("Airplanes\\Su25");
    ASSERT_NO_FATAL_FAILURE(Open("PageSelectWeapons"));
    ASSERT_EQ(weaponPage->racks.size(), 8u);
    for (int32_t n = 0; n < 8; ++n) {
        EXPECT_EQ(weaponPage->racks[size_t(n)].partner, n % 2 == 0 ? n + 1 : -1) << n;
        EXPECT_NE(weaponPage->racks[size_t(n)].selector, nullptr) << n;
    }
    Gui::ImageSelector* left = Rack("Su25", "Rack2_3");
    Gui::ImageSelector* right = Rack("Su25", "Rack3");
    ASSERT_TRUE(left && right);
    ui->Pick("PageSelectWeapons.Clipper.Weapons.Su25.Rack2_3.Selector", 1);
    Frame();
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*right), 1);
    ui->Pick("PageSelectWeapons.Clipper.Weapons.Su25.Rack3.Selector", 2);
    Frame();
    Frame();
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*left), 1);
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*right), 2);

    // The presets are the airplane's own set-ups.
    for (const char* setup : {"AirToAir", "AirToGround"}) {
        ui->Click((std::string("PageSelectWeapons.Btn") + setup).c_str());
        Frame();
        Frame();
        const Loadout expected = SetupFromFile("Su25", setup);
        ASSERT_FALSE(expected.empty()) << setup;
        EXPECT_EQ(Shown(), expected) << setup;
    }

    // The eight racks overflow the clipper: the slider at its end shows their bottom.
    Gui::Widget* weapons = weaponPage->FindWidget("Weapons", true);
    const Gui::Widget* clipper = weaponPage->FindWidget("Clipper", true);
    const float excess =
        (weapons->rect.bottom - weapons->rect.top) - (clipper->rect.bottom - clipper->rect.top);
    ASSERT_GT(excess, 0.0f);
    weaponPage->Find<Gui::Scroller>("WeaponsSlider", true)->SetScrollPos({0, 1});
    Frame();
    EXPECT_FLOAT_EQ(weapons->rect.top, -excess);

    // A panel shorter than the clipper never scrolls.
    weapons->SetRect({weapons->rect.left, weapons->rect.top, weapons->rect.right,
                      weapons->rect.top + (clipper->rect.bottom - clipper->rect.top) / 2});
    Frame();
    EXPECT_EQ(weapons->rect.top, 0.0f);

    // All racks empty: both loadouts are emptied.
    Fe::GameRequest request = frontend->gameRequest;
    request.loadout.AddValue("Rack9", "Weapons\\Bomb");
    frontend->gameRequest.Assign(request);
    for (const Fe::RackEntry& rack : weaponPage->racks)
        Fe::PgSelectWeapons::SelectItem(*rack.selector, 0);
    weaponPage->StoreLoadout();
    EXPECT_TRUE(frontend->gameRequest.loadout.GetChildren().empty());
    EXPECT_TRUE(frontend->multiplayerRequest.loadout.GetChildren().empty());
}

// From the airplane page to the game: the player flies the airplane and weapons chosen.
TEST_F(Select, TheGameFliesTheChosenAirplaneAndWeapons) {
    ASSERT_NO_FATAL_FAILURE(Open("PageSelectAirplane"));
    ui->Pick("AirplanesList", 1);
    Frame();
    ui->Click("PageSelectAirplane.BtnFly");
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageSelectWeapons"); }));
    Frame();
    ui->Click("PageSelectWeapons.BtnAirToGround");
    Frame();
    ui->Click("PageSelectWeapons.BtnFly");
    ASSERT_TRUE(FramesUntil([&] { return InGame(); }));
    Frame();
    Frame();
    const Obj::Airplane* airplane = App::SplrGame->PlayerAirplane();
    ASSERT_NE(airplane, nullptr);
    EXPECT_EQ(airplane->name, "Su25");
    const Weapons::Stores* stores = Weapons::Stores::Of(airplane);
    ASSERT_NE(stores, nullptr);
    Loadout carried;
    for (const auto& [rack, name] : stores->lastSetup)
        carried["Rack" + std::to_string(rack)] = name;
    EXPECT_EQ(carried, SetupFromFile("Su25", "AirToGround"));
}

// Rack names, item textures and set-ups of any shape: what does not fit is left out, nothing is read out
// of range.
TEST_F(Select, OddRacksItemsAndSetupsAreRefusedSafely) {
    struct NameCase {
        const char* name;
        bool accepted;
        int32_t rack, partner;
    } names[] = {
        {"Rack0", true, 0, -1},
        {"Rack63", true, 63, -1},
        {"Rack2_3", true, 2, 3},
        {"Rack3_63", true, 3, 63},
        {"Rack4_64", true, 4, -1},
        {"Rack5_-1", true, 5, -1},
        {"Rack6_x", true, 6, -1},
        {"Rack1_99999999999999999999", true, 1, -1},
        {"Rack64", false, 0, 0},
        {"Rack-1", false, 0, 0},
        {"Rack99999999999999999999", false, 0, 0},
        {"Rack", false, 0, 0},
        {"Rackx", false, 0, 0},
        {"rack1", false, 0, 0},
    };
    for (const NameCase& c : names) {
        int32_t rack = 7, partner = 7;
        EXPECT_EQ(Fe::PgSelectWeapons::ParseRackName(c.name, rack, partner), c.accepted) << c.name;
        if (c.accepted) {
            EXPECT_EQ(rack, c.rack) << c.name;
            EXPECT_EQ(partner, c.partner) << c.name;
        }
    }
    struct KeyCase {
        const char* key;
        int32_t rack; // -1: refused
    } keys[] = {
        {"RACK1", 1},
        {"rack1", 1},
        {"Rack1", 1},
        {"RACK0x2", 2},
        {"RACK010", 8},
        {"RACK63", 63},
        {"RACK64", -1},
        {"RACK-1", -1},
        {"RACK", -1},
        {"RACKX", -1},
        {"RACK99999999999999999999", -1},
        {"GUN1", -1},
    };
    for (const KeyCase& c : keys) {
        int32_t rack = -1;
        const bool read = Fe::PgSelectWeapons::ParseSetupKey(c.key, rack);
        EXPECT_EQ(read, c.rack >= 0) << c.key;
        if (read) {
            EXPECT_EQ(rack, c.rack) << c.key;
        }
    }

    // A panel of its own: racks 1 and 3 (rack 1 mirrored on rack 40, which is beyond the table, and rack 3
    // on rack 5, which has no selector), and names out of range.
    const char* const panelText = R"(Rect 0 0 100 100
Widgets
{
 Rack1_40 Widget
 {
  Rect 0 0 10 10
  Widgets
  {
   Selector ImageSelector
   {
    Rect 0 0 10 10
    Images
    {
     0
     {
      Texture WeaponSelectorEmpty
     }
     1
     {
      Texture Cursor
     }
     2
     {
      Texture NoSuchTexture
     }
     3
     {
      Texture WeaponSelectorShortAAM
     }
    }
   }
  }
 }
 Rack3_5 Widget
 {
  Rect 0 0 10 10
  Widgets
  {
   Selector ImageSelector
   {
    Rect 0 0 10 10
    Images
    {
     0
     {
      Texture WeaponSelectorEmpty
     }
     1
     {
      Texture WeaponSelectorBomb
     }
    }
   }
  }
 }
 Rack5 Widget
 {
  Rect 0 0 10 10
 }
 Rack-1 Widget
 {
  Rect 0 0 10 10
  Widgets
  {
   Selector ImageSelector
   {
    Rect 0 0 10 10
   }
  }
 }
 Rack99999 Widget
 {
  Rect 0 0 10 10
  Widgets
  {
   Selector ImageSelector
   {
    Rect 0 0 10 10
   }
  }
 }
}
)";
    Base::Info panelInfo;
    ASSERT_EQ(panelInfo.LoadText(panelText), 0);
    auto* panel = new Gui::Widget;
    ASSERT_TRUE(panel->Load("Odd", panelInfo));
    ASSERT_TRUE(weaponPage->AddChild(panel));
    weaponPage->BuildRacks(panel);
    ASSERT_EQ(weaponPage->racks.size(), 4u);
    Gui::ImageSelector* rack1 = weaponPage->racks[1].selector;
    Gui::ImageSelector* rack3 = weaponPage->racks[3].selector;
    ASSERT_TRUE(rack1 && rack3);
    EXPECT_EQ(weaponPage->racks[0].selector, nullptr);
    EXPECT_EQ(weaponPage->racks[2].selector, nullptr);
    // Item names: a texture name no longer than the prefix, or no texture at all, names nothing.
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, 0), "Empty");
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, 1), "");
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, 2), "");
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, 3), "ShortAAM");
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, 4), "");
    EXPECT_EQ(Fe::PgSelectWeapons::ItemName(*rack1, -1), "");

    // Mirroring onto a partner beyond the table or without a selector changes nothing else.
    Fe::PgSelectWeapons::SelectItem(*rack1, 3);
    Fe::PgSelectWeapons::SelectItem(*rack3, 1);
    weaponPage->Update();
    EXPECT_EQ(weaponPage->racks[1].shownItem, 3);
    EXPECT_EQ(weaponPage->racks[3].shownItem, 1);
    EXPECT_EQ(weaponPage->racks.size(), 4u);

    // Set-up values of any length, and keys out of range.
    Base::Info description;
    ASSERT_EQ(description.LoadText(R"(Setups
{
 Odd
 {
  rack1 Weapons\ShortAAM
  RACK3 Weap
  RACK0 Weapons\Bomb
  RACK64 Weapons\Bomb
  RACK-1 Weapons\Bomb
  RACK99999999999999999999 Weapons\Bomb
 }
 Long
 {
  Rack1 "Weapons\ShortAAM and a name far longer than any texture's"
  RACK3 Weapons\
 }
}
)"),
              0);
    RequestAirplane("Airplanes\\Odd");
    Base::InfoCache::Entries.emplace("Data\\Models\\Airplanes\\Odd.info", new Base::Info(description));
    weaponPage->ApplySetup("Odd");
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack1), 3); // "rack1": ShortAAM
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack3), 0); // too short a value: the first item
    Fe::PgSelectWeapons::SelectItem(*rack3, 1);
    weaponPage->ApplySetup("Long");
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack1), 0);
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack3), 0);
    Fe::PgSelectWeapons::SelectItem(*rack1, 1);
    Fe::PgSelectWeapons::SelectItem(*rack3, 1);
    weaponPage->ApplySetup("NoSuchSetup"); // nothing changes
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack1), 1);
    EXPECT_EQ(Fe::PgSelectWeapons::SelectedItem(*rack3), 1);

    // The loadout leaves out racks without a selector and items without a weapon's name.
    weaponPage->StoreLoadout();
    EXPECT_EQ(Entries(frontend->gameRequest.loadout), (Loadout{{"Rack3", "Weapons\\Bomb"}}));
    weaponPage->racks.clear();
}

} // namespace
