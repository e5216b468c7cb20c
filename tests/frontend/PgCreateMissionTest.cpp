// The mission generator's page in the front end on the sample data, clicked as a player clicks it: the
// bases from the map data, the start kinds with their marker, flying the scratch mission, saving under a
// name with the overwrite box, and names that are refused. The user missions' folder is the test's own.
#include "LinkData.h"
#include "MenuFixture.h"

#include "frontend/PgCreateMission.h"

#include "gui/Button.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"

#include "tests/support/ReadBack.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using namespace MenuTest;

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CreateMission : public Menu {
protected:
    void SetUp() override {
        Menu::SetUp();
        fs::remove(scratch / "Data");
        FrontendTest::LinkDataButUserMissions(fs::path(CORVANE_BINARY_DIR) / "data" / "Data",
                                              scratch / "Data");
        user = scratch / "Data" / "Scripts" / "Missions" / "User";
        Start();
        frontend->SwitchPage("PageCreateMission", 0);
        Settle();
        page = Get<Fe::PgCreateMission>("PageCreateMission");
        ASSERT_NE(page, nullptr);
        ASSERT_EQ(Shown(), page);
        map = Get<Gui::WorldMap>("PageCreateMission.WorldMap");
        edit = Get<Gui::Edit>("MissionNameEdt");
        ASSERT_TRUE(map && edit);
    }

    // Types the name into the edit and clicks Save.
    void Save(const std::string& name) {
        edit->SetText(name);
        Frame();
        Click("BtnSave");
    }

    size_t Markers() const {
        size_t n = 0;
        for (const Gui::MapObjectRecord& object : map->objects)
            n += object.name == "Start" && object.textureName == "Plane";
        return n;
    }

    fs::path user;
    Fe::PgCreateMission* page = nullptr;
    Gui::WorldMap* map = nullptr;
    Gui::Edit* edit = nullptr;
};

TEST_F(CreateMission, ListsTheMapsBasesAndStartsInTheAirAtTheMarker) {
    auto* bases = Get<Gui::StringSelector>("BaseList");
    ASSERT_NE(bases, nullptr);
    EXPECT_EQ(bases->strings, (std::vector<Base::String>{"Coast Field", "Highland Base"}));
    ASSERT_GE(page->basePositions.size(), 2u);
    EXPECT_EQ(page->basePositions[0].x, -3500.0f);
    EXPECT_EQ(page->basePositions[1].y, -6540.0f);
    EXPECT_EQ(page->baseIsAirfield[0], 1);
    EXPECT_TRUE(page->inTheAir);
    EXPECT_TRUE(Get("InTheAir")->visible);
    EXPECT_FALSE(Get("OnRunway")->visible);
    // The marker comes first, where the page's data puts the start, and the player may drag it.
    ASSERT_FALSE(map->objects.empty());
    EXPECT_EQ(&map->objects.front(), page->startObject);
    EXPECT_EQ(page->startObject->name, "Start");
    EXPECT_EQ(page->startObject->position.x, 0.0f);
    EXPECT_EQ(page->startObject->position.y, -500.0f);
    EXPECT_EQ(map->placedObject, page->startObject);
    EXPECT_TRUE(map->placementEnabled);
    EXPECT_FLOAT_EQ(map->zoom, 0.25f);
    // A dragged marker is the new start.
    page->startObject->position = {-2000, -1000};
    Frame();
    EXPECT_EQ(page->startPosition.x, -2000.0f);
    EXPECT_EQ(page->startPosition.y, -1000.0f);
}

// The page as the player sees it: the start marker drawn white on the map where the start is. With
// GUI_TEST_IMAGES set the frame is kept there as create_mission.ppm.
TEST_F(CreateMission, DrawsTheStartMarkerOnTheMap) {
    for (int i = 0; i < 3; ++i)
        Frame();
    unsigned width = 0, height = 0;
    const std::vector<uint32_t> pixels = TestSupport::ReadRenderTarget(width, height);
    ASSERT_EQ(pixels.size(), size_t(width) * height);
    if (const char* dir = std::getenv("GUI_TEST_IMAGES")) {
        std::ofstream out(fs::path(dir) / "create_mission.ppm", std::ios::binary);
        out << "P6\n" << width << " " << height << "\n255\n";
        for (uint32_t p : pixels)
            out << char(p >> 16) << char(p >> 8) << char(p);
    }
    const Base::Vector2 m = map->WorldToMap(page->startPosition);
    const Base::Vector2 screen = map->MapToScreen(m);
    ASSERT_GE(screen.x, 0.0f);
    ASSERT_GE(screen.y, 0.0f);
    ASSERT_LT(screen.x, float(width));
    ASSERT_LT(screen.y, float(height));
    const uint32_t centre = pixels[size_t(screen.y) * width + size_t(screen.x)];
    for (int shift : {0, 8, 16})
        EXPECT_GT((centre >> shift) & 0xFF, 200u) << std::hex << centre;
}

TEST_F(CreateMission, ABaseStartTakesTheMarkerAwayAndTheAirBringsItBackWhereItWas) {
    page->startObject->position = {-2000, -1000};
    Frame();
    Click("BtnOnRunway");
    EXPECT_FALSE(page->inTheAir);
    EXPECT_FALSE(Get("InTheAir")->visible);
    EXPECT_TRUE(Get("OnRunway")->visible);
    EXPECT_EQ(Markers(), 0u);
    EXPECT_EQ(page->startObject, nullptr);
    EXPECT_FALSE(map->placementEnabled);
    EXPECT_EQ(page->lastBaseIndex, 0);
    // The second base: the generated start is there, on its runway.
    Get<Gui::StringSelector>("BaseList")->SetScrollPos({0, 1});
    Frame();
    EXPECT_EQ(page->lastBaseIndex, 1);
    const Fe::GeneratorChoices choices = page->Choices("Test");
    EXPECT_FALSE(choices.inTheAir);
    EXPECT_TRUE(choices.airfield);
    EXPECT_EQ(choices.baseId, "Highland Base");
    EXPECT_EQ(choices.start.x, 7800.0f);

    Click("BtnInTheAir");
    EXPECT_TRUE(page->inTheAir);
    EXPECT_EQ(Markers(), 1u);
    ASSERT_NE(page->startObject, nullptr);
    EXPECT_EQ(page->startObject->position.x, -2000.0f);
    EXPECT_EQ(page->startObject->position.y, -1000.0f);
    EXPECT_EQ(map->placedObject, page->startObject);
    EXPECT_TRUE(map->placementEnabled);

    // With no base to start on, the base start is not offered.
    Get<Gui::StringSelector>("BaseList")->SetStrings(0);
    Frame();
    EXPECT_EQ(Get<Gui::Button>("BtnOnRunway")->state, Gui::Button::Disabled);
    Click("BtnOnRunway");
    EXPECT_TRUE(page->inTheAir);
    EXPECT_EQ(Markers(), 1u);
}

TEST_F(CreateMission, FlyWritesTheScratchMissionAndRequestsIt) {
    EXPECT_FALSE(fs::exists(user));
    Click("BtnFly");
    const fs::path scratchMission = user / "UserMission.info";
    ASSERT_TRUE(fs::exists(scratchMission));
    EXPECT_EQ(page->missionPath, "Data\\Scripts\\Missions\\User\\UserMission.info");
    const Fe::GameRequest& request = frontend->gameRequest;
    EXPECT_EQ(request.header.fileName, page->missionPath);
    EXPECT_EQ(request.header.name, "UserMission");
    EXPECT_EQ(request.header.timeOfDay, 1u); // the list's "Afternoon"
    ASSERT_NE(request.header.map, nullptr);
    EXPECT_NE(request.header.map->GetChild("0Player"), nullptr);
}

TEST_F(CreateMission, SaveNeedsANameAndWritesAtOnce) {
    auto* save = Get<Gui::Button>("BtnSave");
    Frame();
    EXPECT_EQ(save->state, Gui::Button::Disabled);
    Save("Dawn Raid");
    EXPECT_NE(save->state, Gui::Button::Disabled);
    const fs::path saved = user / "Dawn Raid.msn";
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(page->missionPath, "Data\\Scripts\\Missions\\User\\Dawn Raid.msn");
    Base::Info tree;
    ASSERT_EQ(tree.LoadFile(saved.string()), 0);
    EXPECT_EQ(tree.GetStringDefault("Name", ""), "Dawn Raid");
    // From now on Fly writes the saved mission, under its own name.
    Click("BtnFly");
    EXPECT_FALSE(fs::exists(user / "UserMission.info"));
    EXPECT_EQ(frontend->gameRequest.header.name, "Dawn Raid");
    EXPECT_EQ(frontend->gameRequest.header.fileName, page->missionPath);
}

// An existing name asks first; "No" leaves the file alone, also for a later flight, and "Yes" replaces it.
TEST_F(CreateMission, AnExistingNameAsksBeforeItIsReplaced) {
    fs::create_directories(user);
    const std::string old = "Name\tKept\nObjectives\t\"\"\nBriefing\t\"\"\nTimeOfDay\t1\n";
    std::ofstream(user / "Kept.msn") << old;
    auto* overwrite = Get<Fe::MessageBox>("MessageBoxOverwrite");
    Save("Kept");
    EXPECT_TRUE(overwrite->visible);
    Click("MessageBoxOverwrite", "No");
    EXPECT_FALSE(overwrite->visible);
    EXPECT_EQ(FileText(user / "Kept.msn"), old);
    Click("BtnFly");
    EXPECT_EQ(FileText(user / "Kept.msn"), old);
    EXPECT_TRUE(fs::exists(user / "UserMission.info"));
    // Fly went on to the airplane page: back to this one.
    Settle();
    frontend->SwitchPage("PageCreateMission", 0);
    Settle();

    Save("Kept");
    ASSERT_TRUE(overwrite->visible);
    Click("MessageBoxOverwrite", "Yes");
    Base::Info tree;
    ASSERT_EQ(tree.LoadFile((user / "Kept.msn").string()), 0);
    EXPECT_EQ(tree.GetStringDefault("Name", ""), "Kept");
    EXPECT_NE(tree.GetChild("Events.0Init"), nullptr);
    EXPECT_EQ(page->missionPath, "Data\\Scripts\\Missions\\User\\Kept.msn");
}

TEST_F(CreateMission, NamesThatCouldLeaveTheFolderAreRefusedWithAMessage) {
    auto* refused = Get<Fe::MessageBox>("MessageBoxInvalidName");
    for (const char* name : {"..\\..\\Evil", "../Evil", "Sub\\Evil", "Evil.info", "Evil;"}) {
        Save(name);
        EXPECT_TRUE(refused->visible) << name;
        Click("MessageBoxInvalidName", "Ok");
        EXPECT_FALSE(refused->visible) << name;
    }
    EXPECT_FALSE(fs::exists(user));
    for (const auto& entry : fs::recursive_directory_iterator(scratch.path))
        EXPECT_EQ(entry.path().filename().string().find("Evil"), std::string::npos) << entry.path();
    EXPECT_EQ(page->missionPath, "Data\\Scripts\\Missions\\User\\UserMission.info");
}

} // namespace
