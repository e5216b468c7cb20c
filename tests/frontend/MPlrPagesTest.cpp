// The multiplayer pages through the program's main loop with the UI driver: hosting from the main page into
// the game and out of it again, searching, picking and joining a host that another session in this process
// runs on loopback, the team page's live lists, and the names and address kept in the settings.
#include "MPlrFixture.h"
#include "tests/games/ListRows.h"

#include "base/TextTable.h"
#include "frontend/Flow.h"
#include "frontend/SelectPages.h"
#include "gui/WorldMap.h"

#include <unistd.h>

#include <bit>
#include <cstring>
#include <fstream>
#include <limits>
#include <regex>
#include <set>

namespace {

using MPlrTest::MPlrPages;

// The 24 bytes a host publishes, from the five settings words and the game type.
std::vector<uint8_t> Reserved(uint32_t timeOfDay, float x, float y, float altitude, float heading,
                              uint8_t type) {
    Fe::MultiplayerRequest request;
    request.timeOfDay = timeOfDay;
    request.startX = x;
    request.startY = y;
    request.altitude = altitude;
    request.heading = heading;
    request.gameType = type;
    return Fe::PgHostGame::ReservedData(request);
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t w) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + 4 * w, 4);
    return v;
}

TEST(MPlrNames, BlankNamesAreRefusedAndOthersTakenAsTheyStand) {
    const struct {
        const char* name;
        bool valid;
    } cases[] = {{"", false},     {" ", false},    {" \t\n\v\f\r", false}, {"a", true},
                 {"  a  ", true}, {"\tX\t", true}, {"Anna", true},         {"_", true}};
    for (const auto& c : cases)
        EXPECT_EQ(Fe::IsValidName(c.name), c.valid) << '"' << c.name << '"';
}

TEST(MPlrNames, SettingsFieldsKeepTheirTerminatingZero) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    Fe::StoreName(field, sizeof field, "abcdefghij");
    EXPECT_STREQ(field, "abcdefg");
    Fe::StoreName(field, sizeof field, "ab");
    EXPECT_EQ(std::string(field, sizeof field), std::string("ab\0\0\0\0\0\0", 8));

    // A field without a zero is read to its end and cut to what the edit takes.
    Gui::Edit edit;
    std::memset(field, 'y', sizeof field);
    EXPECT_EQ(Fe::FittedName(field, sizeof field, edit), "yyyyyyyy");
    edit.charsLimit = 5;
    EXPECT_EQ(Fe::FittedName(field, sizeof field, edit), "yyyyy");
}

TEST(MPlrNames, ReservedDataCarriesTheFiveWordsAndTheGameType) {
    const std::vector<uint8_t> data = Reserved(1, -1500.5f, 2500.25f, 3048.0f, 90.0f, 2);
    ASSERT_EQ(data.size(), 24u);
    EXPECT_EQ(Word(data, 0), 1u);
    EXPECT_EQ(std::bit_cast<float>(Word(data, 1)), -1500.5f);
    EXPECT_EQ(std::bit_cast<float>(Word(data, 2)), 2500.25f);
    EXPECT_EQ(std::bit_cast<float>(Word(data, 3)), 3048.0f);
    EXPECT_EQ(std::bit_cast<float>(Word(data, 4)), 90.0f);
    EXPECT_EQ(data[20], 2);
    EXPECT_EQ(data[21] | data[22] | data[23], 0);
}

// The host's way: names (a blank one refused), a team game with its team, the start position, the airplane
// and its weapons, the connecting page that opens the session, the game; then the in-game menu, its map and
// Disconnect back to the main page.
TEST_F(MPlrPages, HostThroughTheMenusIntoTheGameAndOut) {
    std::strcpy(frontend->config.playerName, "Anna");
    ToMultiplayerPage("BtnHostGame", "PageHostGame");
    EXPECT_EQ(Edit("PageHostGame.EditPlayerName")->text, "Anna");
    // No game name in the settings: the computer's name.
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(Edit("PageHostGame.EditGameName")->text,
              std::string(host).substr(0, std::string(host).find('.')));
    EXPECT_FALSE(Get("PageHostGame.BackTeamsList")->visible);

    // A blank game name is refused first, then a blank player name; nothing reaches the request.
    Erase("PageHostGame.EditGameName");
    Type("PageHostGame.EditGameName", "   ");
    Erase("PageHostGame.EditPlayerName");
    Type("PageHostGame.EditPlayerName", " ");
    Click("PageHostGame.BtnCreate");
    EXPECT_TRUE(BoxShown("PageHostGame.MessageBoxInvalidGameName"));
    EXPECT_FALSE(BoxShown("PageHostGame.MessageBoxInvalidPlayerName"));
    Click("PageHostGame.MessageBoxInvalidGameName.Ok");
    EXPECT_FALSE(BoxShown("PageHostGame.MessageBoxInvalidGameName"));
    Erase("PageHostGame.EditGameName");
    Type("PageHostGame.EditGameName", "Dogfight");
    Click("PageHostGame.BtnCreate");
    EXPECT_TRUE(BoxShown("PageHostGame.MessageBoxInvalidPlayerName"));
    Click("PageHostGame.MessageBoxInvalidPlayerName.Ok");
    EXPECT_EQ(frontend->multiplayerRequest.hosting, 0);
    EXPECT_TRUE(Showing("PageHostGame"));
    // One letter among blanks is a name, kept as it stands.
    Type("PageHostGame.EditPlayerName", "A ");

    // The team game shows the team list in the frame that sees the choice.
    ASSERT_NE(ui->Pick("PageHostGame.GameTypesList", "Teams"), nullptr);
    Frame();
    EXPECT_TRUE(Get("PageHostGame.BackTeamsList")->visible);
    EXPECT_TRUE(Get("PageHostGame.TextTeamsList")->visible);
    GameTest::ExpectRowsCentredInside(List("PageHostGame.TeamsList"), "TeamsList");
    ASSERT_NE(ui->Pick("PageHostGame.TeamsList", "Green"), nullptr);
    Frame();

    // On to the start position at once, without a fade.
    Click("PageHostGame.BtnCreate");
    Frame();
    EXPECT_TRUE(Showing("PageStartPosition"));
    EXPECT_EQ(frontend->brightness, 1.0f);
    const Fe::MultiplayerRequest& request = frontend->multiplayerRequest;
    EXPECT_EQ(request.hosting, 1);
    EXPECT_EQ(request.gameType, 2);
    EXPECT_EQ(request.team, 2u);
    EXPECT_FALSE(frontend->gameRequest.header.carrierBased);
    EXPECT_EQ(Fe::FindLinks(*frontend, "PageSelectWeapons")->nextPage, "PageConnectingHost");
    // The names went into the settings as the page was left.
    EXPECT_STREQ(frontend->config.playerName, " A ");
    EXPECT_STREQ(frontend->config.gameName, "Dogfight");

    Frame();
    auto* start = Page<Fe::PgStartPosition>("PageStartPosition");
    ASSERT_NE(start->startObject, nullptr);
    const Gui::WorldMap* startMap = Get<Gui::WorldMap>("PageStartPosition.WorldMap");
    EXPECT_TRUE(startMap->placementEnabled);
    // The marker first, then the map's bases.
    std::vector<std::string> objects;
    for (const Gui::MapObjectRecord& object : startMap->objects)
        objects.push_back(object.name);
    EXPECT_EQ(objects, (std::vector<std::string>{"Start", "Coast Field", "Highland Base"}));
    EXPECT_EQ(&startMap->objects.front(), start->startObject);
    // The player drags the marker.
    start->startObject->position = {-2500.0f, 1200.0f};
    ASSERT_NE(ui->Pick("PageStartPosition.AltitudeList", "10000"), nullptr);
    ASSERT_NE(ui->Pick("PageStartPosition.HeadingList", "90"), nullptr);
    ASSERT_NE(ui->Pick("PageStartPosition.TimeOfDayList", 1), nullptr);
    Frame();
    Click("PageStartPosition.BtnFly");
    EXPECT_EQ(request.timeOfDay, 1u);
    EXPECT_EQ(request.startX, -2500.0f);
    EXPECT_EQ(request.startY, 1200.0f);
    EXPECT_FLOAT_EQ(request.altitude, 3048.0f);
    EXPECT_EQ(request.heading, 90.0f);
    EXPECT_EQ(Fe::FindLinks(*frontend, "PageSelectAirplane")->backPage, "PageStartPosition");

    WaitForPage("PageSelectAirplane");
    ASSERT_NE(ui->Pick("PageSelectAirplane.AirplanesList", 2), nullptr);
    Frame();
    Click("PageSelectAirplane.BtnFly");
    WaitForPage("PageSelectWeapons");
    Click("PageSelectWeapons.BtnAirToAir");
    Click("PageSelectWeapons.BtnFly");
    EXPECT_EQ(request.airplane, "Airplanes\\Su27");
    EXPECT_FALSE(request.loadout.GetChildren().empty());

    // The connecting page is drawn once before the session opens, then loading starts the game.
    Frame();
    EXPECT_TRUE(Showing("PageConnectingHost"));
    EXPECT_FALSE(session->FindLocalPlayer());
    ASSERT_TRUE(FramesUntil([&] { return App::Mode == App::MplrGameMode; }));
    ASSERT_NE(App::MplrGame, nullptr);
    std::optional<MPlr::PlayerEntry> local = session->FindLocalPlayer();
    ASSERT_TRUE(local);
    EXPECT_EQ(local->name, " A ");
    EXPECT_EQ(local->Text(), "Green");

    // Another peer searching hears the game with its settings.
    MPlr::Session other;
    other.EnumerateHosts(true, "", false);
    std::vector<MPlr::HostEntry> hosts;
    ASSERT_TRUE(FramesUntil([&] {
        other.GetRecentHosts(hosts);
        return !hosts.empty();
    }));
    other.EnumerateHosts(false, "", true);
    EXPECT_EQ(hosts[0].sessionName, "Dogfight");
    EXPECT_EQ(hosts[0].maxPlayers, 16u);
    ASSERT_EQ(hosts[0].reservedSize, 24u);
    EXPECT_EQ(*hosts[0].reserved, Reserved(1, -2500.0f, 1200.0f, request.altitude, 90.0f, 2));

    // Escape: the in-game menu; its map leads back to it.
    Key("ESCAPE");
    WaitForPage("PageInMPlr");
    ASSERT_NE(App::MplrGame, nullptr);
    Click("PageInMPlr.BtnMap");
    WaitForPage("PageGameMap");
    Click("PageGameMap.BtnBack");
    WaitForPage("PageInMPlr");
    Click("PageInMPlr.BtnResumeGame");
    Frame();
    EXPECT_EQ(App::Mode, App::MplrGameMode);
    Key("ESCAPE");
    WaitForPage("PageInMPlr");

    // Disconnect: the game ends, the session is left, the main page shows without a fade.
    Click("PageInMPlr.BtnDisconnect");
    EXPECT_EQ(App::MplrGame, nullptr);
    Frame();
    EXPECT_TRUE(Showing("PageMain"));
    EXPECT_EQ(frontend->brightness, 1.0f);
    EXPECT_FALSE(session->FindLocalPlayer());
}

// A session that cannot be hosted brings the host page back, with no message.
TEST_F(MPlrPages, FailedHostingReturnsToTheHostPage) {
    ToMultiplayerPage("BtnHostGame", "PageHostGame");
    Type("PageHostGame.EditPlayerName", "x");
    Type("PageHostGame.EditGameName", "x");
    Click("PageHostGame.BtnCreate");
    WaitForPage("PageStartPosition");
    // The network layer is gone.
    session->peer->Close(0);
    session->peer->Release();
    session->peer = nullptr;
    frontend->SwitchPage("PageConnectingHost", 0.0f);
    ASSERT_TRUE(FramesUntil([&] { return Showing("PageHostGame"); }, 1.0));
    EXPECT_EQ(App::Mode, App::FrontendMode);
    EXPECT_EQ(App::MplrGame, nullptr);
    EXPECT_FALSE(BoxShown("PageHostGame.MessageBoxInvalidGameName"));
    EXPECT_FALSE(BoxShown("PageHostGame.MessageBoxInvalidPlayerName"));
}

// The joiner's way into a team game: search by broadcast, pick the game (the selection stays through the
// host's answers and another host's arrival), a blank name refused, join, pick a team that every peer sees,
// the lists following the other peers live, then the airplane, weapons, connecting and the game. The second
// team's name is too long for the player data: it is cut inside its field and still matches.
TEST_F(MPlrPages, JoinATeamGameFoundBySearching) {
    Base::TextTable.GetChildForWrite("Fe.TeamNames.2")->SetValue("Blue Squadron of the North");
    ASSERT_EQ(Fe::TeamText(2), "Blue Squadron of th");
    frontend.reset();
    frontend = std::make_unique<Fe::Frontend>(keyboard.get(), mouse.get(), joystick.get(), session.get());
    frontend->config.SetDefaults();
    std::strcpy(frontend->config.playerName, "Boris");
    Attach();

    MPlr::Session host;
    const std::vector<uint8_t> reserved = Reserved(1, 100.0f, -200.0f, 1500.0f, 45.0f, 2);
    ASSERT_TRUE(host.Host("Coast", "Hosty", 16, 24, reserved.data(), Fe::TeamText(1)));

    ToMultiplayerPage("BtnJoinGame", "PageJoinGame");
    EXPECT_EQ(Edit("PageJoinGame.EditPlayerName")->text, "Boris");
    EXPECT_EQ(Get<Gui::Text>("PageJoinGame.Status")->text, Base::GetText("Fe.JoinGame.5"));
    EXPECT_FALSE(Enabled("PageJoinGame.BtnJoin"));
    EXPECT_EQ(Fe::FindLinks(*frontend, "PageSelectWeapons")->nextPage, "PageConnectingJoin");

    Click("PageJoinGame.BtnFill");
    Frame();
    EXPECT_EQ(Get<Gui::Text>("PageJoinGame.Status")->text, Base::GetText("Fe.JoinGame.6"));
    EXPECT_FALSE(Enabled("PageJoinGame.BtnFill"));
    Gui::StringList* list = List("PageJoinGame.HostsList");
    ASSERT_TRUE(FramesUntil([&] { return list->strings.size() == 1; }));
    EXPECT_TRUE(std::regex_match(list->strings[0], std::regex(R"(Coast \(Teams\) \(1/16 \d+ms\))")))
        << list->strings[0];
    GameTest::ExpectRowsCentredInside(list, "HostsList");
    ASSERT_NE(ui->Pick("PageJoinGame.HostsList", 0), nullptr);
    Frame();
    EXPECT_TRUE(Enabled("PageJoinGame.BtnJoin"));

    // A second game appears ahead of or behind it; the host answers again and again: the pick stays on it.
    MPlr::Session second;
    const std::vector<uint8_t> free = Reserved(1, 0, 0, 1000.0f, 0, 1);
    ASSERT_TRUE(second.Host("Another", "Sam", 16, 24, free.data(), ""));
    ASSERT_TRUE(FramesUntil([&] { return list->strings.size() == 2; }));
    Frames(75); // two and a half seconds: every host has answered again
    ASSERT_EQ(list->strings.size(), 2u);
    ASSERT_GE(list->selected, 0);
    EXPECT_EQ(list->strings[size_t(list->selected)].rfind("Coast (Teams)", 0), 0u);
    second.Reinitialize();

    // A blank name: nothing is sent.
    Erase("PageJoinGame.EditPlayerName");
    Type("PageJoinGame.EditPlayerName", "  ");
    Click("PageJoinGame.BtnJoin");
    EXPECT_TRUE(BoxShown("PageJoinGame.MessageBoxInvalidPlayerName"));
    Click("PageJoinGame.MessageBoxInvalidPlayerName.Ok");
    EXPECT_EQ(NetTest::PlayerIds(host).size(), 1u);
    Erase("PageJoinGame.EditPlayerName");
    Type("PageJoinGame.EditPlayerName", "Boris");

    // The connecting box is on screen for the frame before the blocking connection.
    Click("PageJoinGame.BtnJoin");
    EXPECT_TRUE(BoxShown("PageJoinGame.MessageBoxConnecting"));
    EXPECT_EQ(NetTest::PlayerIds(host).size(), 1u);
    Frame();
    EXPECT_FALSE(Get("PageJoinGame.MessageBoxConnecting")->visible);
    ASSERT_TRUE(session->FindLocalPlayer());
    EXPECT_EQ(session->enumerationHandle, 0u);
    const Fe::MultiplayerRequest& request = frontend->multiplayerRequest;
    EXPECT_EQ(request.hosting, 0);
    EXPECT_EQ(request.gameType, 2);
    EXPECT_EQ(request.startX, 100.0f);
    EXPECT_EQ(request.startY, -200.0f);
    EXPECT_EQ(request.altitude, 1500.0f);
    EXPECT_EQ(request.heading, 45.0f);
    EXPECT_EQ(Fe::FindLinks(*frontend, "PageSelectAirplane")->backPage, "PageJoinGameTeams");
    WaitForPage("PageJoinGameTeams");

    // No team yet: the joiner is in no list, and cannot go on.
    const DPNID me = session->FindLocalPlayer()->id;
    ASSERT_TRUE(FramesUntil([&] { return List("PageJoinGameTeams.Team1.PlrsList")->strings.size() == 1; }));
    EXPECT_EQ(List("PageJoinGameTeams.Team1.PlrsList")->strings[0], "Hosty");
    for (const char* other : {"PageJoinGameTeams.Team2.PlrsList", "PageJoinGameTeams.Team3.PlrsList",
                              "PageJoinGameTeams.Team4.PlrsList"})
        EXPECT_TRUE(List(other)->strings.empty()) << other;
    EXPECT_FALSE(Enabled("PageJoinGameTeams.BtnSelectAirplane"));

    // The long-named team: published cut inside its 20 bytes, seen by the host, listed on the page.
    Click("PageJoinGameTeams.Team2.TeamName");
    EXPECT_EQ(Page<Fe::PgJoinGameTeams>("PageJoinGameTeams")->chosenTeam, 2);
    ASSERT_TRUE(NetTest::WaitFor([&] { return TeamOf(host, me) == "Blue Squadron of th"; }));
    ASSERT_TRUE(FramesUntil([&] { return List("PageJoinGameTeams.Team2.PlrsList")->strings.size() == 1; }));
    EXPECT_EQ(List("PageJoinGameTeams.Team2.PlrsList")->strings[0], "Boris");
    for (const char* team : {"PageJoinGameTeams.Team1.PlrsList", "PageJoinGameTeams.Team2.PlrsList"})
        GameTest::ExpectRowsCentredInside(List(team), team);
    EXPECT_TRUE(Enabled("PageJoinGameTeams.BtnSelectAirplane"));
    // The chosen team's frame pulses; the others are plain.
    std::set<uint8_t> pulse;
    for (int i = 0; i < 8; ++i) {
        const RwRGBA c = Get<Gui::Image>("Team2")->color;
        EXPECT_EQ(c.red, 255);
        EXPECT_EQ(c.alpha, 255);
        EXPECT_EQ(c.green, c.blue);
        EXPECT_GE(c.green, 72);
        EXPECT_LE(c.green, 184);
        pulse.insert(c.green);
        const RwRGBA plain = Get<Gui::Image>("Team1")->color;
        EXPECT_EQ(plain.red & plain.green & plain.blue & plain.alpha, 255);
        Frame();
    }
    EXPECT_GE(pulse.size(), 2u) << "a constant colour is no pulse";

    // The host moves to another team: the lists follow.
    std::array<uint8_t, MPlr::PlayerDataSize> data{};
    std::memcpy(data.data() + MPlr::PlayerTextOffset, "Gold", 4);
    host.SetLocalPlayerData(data.data(), MPlr::PlayerDataSize);
    ASSERT_TRUE(FramesUntil([&] { return List("PageJoinGameTeams.Team4.PlrsList")->strings.size() == 1; }));
    EXPECT_TRUE(List("PageJoinGameTeams.Team1.PlrsList")->strings.empty());
    EXPECT_EQ(List("PageJoinGameTeams.Team4.PlrsList")->strings[0], "Hosty");
    GameTest::ExpectRowsCentredInside(List("PageJoinGameTeams.Team4.PlrsList"), "Team4");

    // Leaving the team page and coming back shows the team already chosen.
    Page<Fe::PgJoinGameTeams>("PageJoinGameTeams")->SetVisible(false);
    Page<Fe::PgJoinGameTeams>("PageJoinGameTeams")->SetVisible(true);
    EXPECT_EQ(Page<Fe::PgJoinGameTeams>("PageJoinGameTeams")->chosenTeam, 2);

    Click("PageJoinGameTeams.BtnSelectAirplane");
    WaitForPage("PageSelectAirplane");
    Click("PageSelectAirplane.BtnFly");
    WaitForPage("PageSelectWeapons");
    Click("PageSelectWeapons.BtnFly");
    Frame();
    EXPECT_TRUE(Showing("PageConnectingJoin"));
    ASSERT_TRUE(FramesUntil([&] { return App::Mode == App::MplrGameMode; }));
    ASSERT_NE(App::MplrGame, nullptr);
    EXPECT_EQ(NetTest::PlayerIds(host).size(), 2u);
}

// Searching for a free-for-all game: the host that stops answering leaves the list within 3 s and takes the
// selection with it; typing an address stops the search; joining goes straight to the airplane, whose Back
// leaves the game again; a host gone before the join makes the connection fail with its message.
TEST_F(MPlrPages, JoinPageFollowsHostsAndTheTypedAddress) {
    auto host = std::make_unique<MPlr::Session>();
    const std::vector<uint8_t> free = Reserved(1, 0, 0, 1000.0f, 0, 1);
    ASSERT_TRUE(host->Host("Open", "Hosty", 16, 24, free.data(), ""));
    ToMultiplayerPage("BtnJoinGame", "PageJoinGame");
    Erase("PageJoinGame.EditPlayerName");
    Type("PageJoinGame.EditPlayerName", "Chen");
    Gui::StringList* list = List("PageJoinGame.HostsList");

    // Gone: out of the list within 3 s of its last answer, the selection and the join button with it.
    ASSERT_NO_FATAL_FAILURE(PickTheOnlyHost());
    EXPECT_TRUE(Enabled("PageJoinGame.BtnJoin"));
    host->Reinitialize();
    const double left = Base::FrameClock::GameTime;
    ASSERT_TRUE(FramesUntil([&] { return list->strings.empty(); }, 4.0));
    EXPECT_LE(Base::FrameClock::GameTime - left, 3.0 + 2 * GameTest::Step);
    EXPECT_EQ(list->selected, -1);
    Frame();
    EXPECT_FALSE(Enabled("PageJoinGame.BtnJoin"));

    // Back again; an address typed during the search stops it, empties the list and is kept.
    ASSERT_TRUE(host->Host("Open", "Hosty", 16, 24, free.data(), ""));
    ASSERT_TRUE(FramesUntil([&] { return list->strings.size() == 1; }));
    Type("PageJoinGame.EditIPAddress", "1");
    Frame();
    EXPECT_EQ(session->enumerationHandle, 0u);
    EXPECT_TRUE(list->strings.empty());
    EXPECT_EQ(Get<Gui::Text>("PageJoinGame.Status")->text, Base::GetText("Fe.JoinGame.5"));
    EXPECT_TRUE(Enabled("PageJoinGame.BtnFill"));
    EXPECT_STREQ(frontend->config.hostAddress, "1");
    Frames(40);
    EXPECT_TRUE(list->strings.empty());

    // Asking the host by its address finds it alone.
    Erase("PageJoinGame.EditIPAddress");
    Type("PageJoinGame.EditIPAddress", "127.0.0.1");
    ASSERT_NO_FATAL_FAILURE(PickTheOnlyHost());

    // Free for all: straight to the airplane; its Back leaves the game.
    Click("PageJoinGame.BtnJoin");
    Frame();
    EXPECT_EQ(Fe::FindLinks(*frontend, "PageSelectAirplane")->backPage, "PageJoinGame");
    WaitForPage("PageSelectAirplane");
    ASSERT_TRUE(NetTest::WaitFor([&] { return NetTest::PlayerIds(*host).size() == 2; }));
    Click("PageSelectAirplane.BtnBack");
    EXPECT_FALSE(session->FindLocalPlayer());
    ASSERT_TRUE(NetTest::WaitFor([&] { return NetTest::PlayerIds(*host).size() == 1; }));
    WaitForPage("PageJoinGame");

    // The host leaves between the pick and the join: the connection fails, said in its box, the list empty.
    ASSERT_NO_FATAL_FAILURE(PickTheOnlyHost());
    host.reset();
    Click("PageJoinGame.BtnJoin");
    Frame();
    EXPECT_TRUE(BoxShown("PageJoinGame.MessageBoxConnectionFailed"));
    EXPECT_TRUE(list->strings.empty());
    EXPECT_FALSE(session->FindLocalPlayer());
    Frame();
    EXPECT_TRUE(Showing("PageJoinGame"));
}

// A host whose reserved data cannot place the game (too short, or a position, altitude or heading that is not
// a finite number) is not joined: the connection fails with its message and the request keeps its place.
TEST_F(MPlrPages, HostDataThatCannotPlaceTheGameIsNotJoined) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN(),
                    inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        std::vector<uint8_t> reserved;
    } cases[] = {{"short", std::vector<uint8_t>(20, 0)},
                 {"NaN x", Reserved(1, nan, 0, 1000.0f, 0, 1)},
                 {"NaN y", Reserved(1, 0, nan, 1000.0f, 0, 1)},
                 {"infinite altitude", Reserved(1, 0, 0, inf, 0, 1)},
                 {"-infinite heading", Reserved(1, 0, 0, 1000.0f, -inf, 1)}};
    frontend->multiplayerRequest.startX = 7.0f;
    ToMultiplayerPage("BtnJoinGame", "PageJoinGame");
    Erase("PageJoinGame.EditPlayerName");
    Type("PageJoinGame.EditPlayerName", "Chen");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MPlr::Session host;
        ASSERT_TRUE(host.Host("Broken", "Hosty", 16, uint32_t(c.reserved.size()), c.reserved.data(), ""));
        ASSERT_NO_FATAL_FAILURE(PickTheOnlyHost());
        Click("PageJoinGame.BtnJoin");
        Frame();
        EXPECT_TRUE(BoxShown("PageJoinGame.MessageBoxConnectionFailed"));
        EXPECT_FALSE(session->FindLocalPlayer());
        EXPECT_EQ(NetTest::PlayerIds(host).size(), 1u);
        EXPECT_EQ(frontend->multiplayerRequest.startX, 7.0f);
        EXPECT_EQ(frontend->multiplayerRequest.altitude, Fe::MultiplayerRequest().altitude);
        WaitForPage("PageJoinGame");
        Click("PageJoinGame.MessageBoxConnectionFailed.Ok");
        EXPECT_FALSE(BoxShown("PageJoinGame.MessageBoxConnectionFailed"));
    }
}

// A long typed address is cut to the settings' field; names and an address from a damaged settings file
// (no terminating zero in their fields) are cut to their fields and edits.
TEST_F(MPlrPages, LongAndDamagedNamesAreCutToTheirFields) {
    paced = false;
    ToMultiplayerPage("BtnJoinGame", "PageJoinGame");
    const std::string address(200, 'h');
    Type("PageJoinGame.EditIPAddress", address);
    Frame();
    EXPECT_EQ(Edit("PageJoinGame.EditIPAddress")->text, address);
    EXPECT_EQ(std::string(frontend->config.hostAddress), address.substr(0, 127));

    // A settings file whose three names fill their fields to the last byte.
    frontend.reset();
    {
        Base::Config damaged;
        std::memset(damaged.gameName, 'g', sizeof damaged.gameName);
        std::memset(damaged.playerName, 'p', sizeof damaged.playerName);
        std::memset(damaged.hostAddress, 'a', sizeof damaged.hostAddress);
        ASSERT_TRUE(damaged.Save(Base::ConfigFileName));
    }
    frontend = std::make_unique<Fe::Frontend>(keyboard.get(), mouse.get(), joystick.get(), session.get());
    Attach();
    ToMultiplayerPage("BtnHostGame", "PageHostGame");
    const uint32_t nameLimit = Edit("PageHostGame.EditPlayerName")->charsLimit;
    ASSERT_LT(nameLimit, 127u);
    EXPECT_EQ(Edit("PageHostGame.EditPlayerName")->text, std::string(nameLimit, 'p'));
    EXPECT_EQ(Edit("PageHostGame.EditGameName")->text,
              std::string(Edit("PageHostGame.EditGameName")->charsLimit, 'g'));
    Click("PageHostGame.BtnBack");
    WaitForPage("PageMultiplayer");
    EXPECT_EQ(std::string(frontend->config.playerName), std::string(nameLimit, 'p'));
    Click("PageMultiplayer.BtnJoinGame");
    WaitForPage("PageJoinGame");
    EXPECT_EQ(Edit("PageJoinGame.EditPlayerName")->text, std::string(nameLimit, 'p'));
    EXPECT_EQ(Edit("PageJoinGame.EditIPAddress")->text, std::string(127, 'a'));
}

} // namespace
