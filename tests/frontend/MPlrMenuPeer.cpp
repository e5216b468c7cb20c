// One player's copy of the game for the multi-peer menu tests: the front end and the multiplayer game run by
// the program's main loop on the rig, driven line by line on stdin through the UI driver. Each command plays
// frames (paced to the wall clock) until what it waits for has happened and answers one line on stdout that
// starts with "reply ": "ok", a value, or "fail <why>" when it did not happen or the UI driver failed.
//
//   page NAME            until the page is shown, then its first update
//   click PATH           a button clicked, the frame that sees it played
//   erase PATH           an edit field emptied by the keyboard
//   type PATH TEXT       typed into an edit field
//   pick PATH ITEM       a list or selector item, by text or index
//   key KEY              a key pressed
//   frames N             N frames
//   lines PATH N         until the list has N lines; answers them, "|"-separated
//   game                 until the multiplayer game runs
//   airplanes N          until this peer's world holds N airplanes
//   shown                the page shown ("game" while the game runs)
//   exit
//
// The network settings are the program's defaults (every interface's broadcast address, the usual port)
// unless the environment names others.
#include "MPlrFixture.h"

#include "aircraft/Airplane.h"
#include "platform/dplay/Control.h"

#include <iostream>
#include <sstream>

namespace {

class MenuPeer : public MPlrTest::MPlrPages {
protected:
    void SetUp() override {
        MPlrPages::SetUp();
        Dp8::Control::SetEnumPort(0);
        Dp8::Control::SetBroadcastTargets({});
        Dp8::Control::SetLinkTimeoutMs(0);
        Dp8::Control::SetConnectTimeoutMs(0);
    }

    std::string ShownName() const {
        if (App::Mode == App::MplrGameMode)
            return "game";
        const Fe::Page* page = Shown();
        return page ? page->name : "none";
    }

    int Airplanes() const {
        int n = 0;
        if (App::MplrGame && App::MplrGame->world)
            App::MplrGame->world->ForEach(
                [&](Obj::Object* o) { n += dynamic_cast<Obj::Airplane*>(o) != nullptr; });
        return n;
    }

    std::string Run(const std::string& command, std::istringstream& in) {
        std::string path, rest;
        if (command == "page") {
            in >> path;
            if (!FramesUntil([&] { return Showing(path.c_str()); }, 30.0))
                return "fail shown " + ShownName();
            Frame();
            return "ok";
        }
        if (command == "click") {
            in >> path;
            Click(path);
            return "ok";
        }
        if (command == "erase") {
            in >> path;
            Erase(path);
            return "ok";
        }
        if (command == "type" || command == "pick") {
            in >> path;
            std::getline(in >> std::ws, rest);
            if (command == "type") {
                Type(path, rest);
            } else {
                char* end = nullptr;
                const long index = std::strtol(rest.c_str(), &end, 10);
                if (!rest.empty() && *end == 0)
                    ui->Pick(path, int32_t(index));
                else
                    ui->Pick(path, rest);
                Frame();
            }
            return "ok";
        }
        if (command == "key") {
            in >> rest;
            Key(rest.c_str());
            Frame();
            return "ok";
        }
        if (command == "frames") {
            int n = 0;
            in >> n;
            Frames(n);
            return "ok";
        }
        if (command == "lines") {
            size_t n = 0;
            in >> path >> n;
            Gui::StringList* list = List(path);
            if (!list)
                return "fail no list";
            const bool reached = FramesUntil([&] { return list->strings.size() == n; }, 30.0);
            std::string lines;
            for (const Base::String& line : list->strings)
                lines += (lines.empty() ? "" : "|") + line;
            return (reached ? "lines " : "fail lines ") + lines;
        }
        if (command == "game")
            return FramesUntil([&] { return App::Mode == App::MplrGameMode; }, 30.0)
                       ? "ok"
                       : "fail shown " + ShownName();
        if (command == "airplanes") {
            int n = 0;
            in >> n;
            FramesUntil([&] { return Airplanes() == n; }, 40.0);
            return "airplanes " + std::to_string(Airplanes());
        }
        if (command == "shown")
            return ShownName();
        return "fail unknown command";
    }
};

TEST_F(MenuPeer, Play) {
    std::cout << "reply ready" << std::endl;
    const testing::TestResult& result = *testing::UnitTest::GetInstance()->current_test_info()->result();
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "exit")
            break;
        const int failures = result.total_part_count();
        std::string reply = Run(command, in);
        for (int i = failures; i < result.total_part_count(); ++i)
            if (result.GetTestPartResult(i).failed()) {
                std::string why = result.GetTestPartResult(i).summary();
                std::replace(why.begin(), why.end(), '\n', ' ');
                reply = "fail " + why;
                break;
            }
        std::cout << "reply " << reply << std::endl;
    }
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
