// The game seen through its camera set: the player's cockpit view at the start, the camera keys read in the
// game's frame, and what each view puts on the screen.
#include "GameFixture.h"

#include "aircraft/Airplane.h"
#include "cockpit/Cockpit.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using GameTest::GameRig;

// Which of the manager's cameras is current, by a letter: Free, Cockpit, Outside, flY-by, cRash.
char Kind(const SPlr::Game& game) {
    const Cameras::Basic* current = game.current;
    if (current == game.free)
        return 'F';
    if (current == game.cockpit)
        return 'C';
    if (current == game.outside)
        return 'O';
    if (current == game.flyBy)
        return 'Y';
    if (current == game.crash)
        return 'R';
    return '?';
}

float Distance(const RwV3d& a, const RwV3d& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

RwV3d CameraPosition(const Cameras::Basic* camera) {
    return RwFrameGetWorldMatrix(RwCameraGetFrame(camera->camera))->pos;
}

TEST_F(GameRig, ThePlayerStartsInHisCockpitAndTheCameraKeysSwitchViews) {
    // F2 outside, F3 fly-by, F5 twice the next airplanes, F1 back in the cockpit, Shift+Ctrl+F2 the free
    // camera where the view was; F4 and F6 (no ordnance in flight) change nothing.
    Script("3 keyboard press F2\n"
           "5 keyboard press F3\n"
           "7 keyboard press F5\n"
           "9 keyboard press F5\n"
           "11 keyboard press F4\n"
           "13 keyboard press F6\n"
           "15 keyboard press F1\n"
           "17 keyboard down LSHIFT\n"
           "18 keyboard down LCONTROL\n"
           "20 keyboard press F2\n"
           "22 keyboard up LSHIFT\n"
           "22 keyboard up LCONTROL\n");
    Start();
    Obj::Airplane* player = game->PlayerAirplane();
    ASSERT_NE(player, nullptr);
    // Its cockpit was made with it, and the cockpit camera looks through it.
    EXPECT_NE(dynamic_cast<Cockpit::Cockpit*>(player->cockpit.get()), nullptr);
    EXPECT_EQ(game->cockpit->target.Get(), player);
    EXPECT_EQ(Kind(*game), 'C');

    std::vector<Obj::Airplane*> airplanes;
    game->world->ForEach([&](Obj::Object* o) {
        if (auto* airplane = dynamic_cast<Obj::Airplane*>(o))
            airplanes.push_back(airplane);
    });
    ASSERT_EQ(airplanes.size(), 3u);
    // F5 takes the airplanes in the world's order, from the one after the player's.
    const size_t p = size_t(std::find(airplanes.begin(), airplanes.end(), player) - airplanes.begin());
    ASSERT_LT(p, 3u);

    std::string kinds;
    std::vector<Obj::Object*> targets;
    RwV3d viewBeforeFree{};
    for (int f = 0; f < 24; ++f) {
        if (f == 20)
            viewBeforeFree = CameraPosition(game->current);
        Frame();
        kinds += Kind(*game);
        targets.push_back(game->target.Get());
        if (f == 2) {
            // The eye sits in the airplane.
            EXPECT_LT(Distance(CameraPosition(game->current), RwFrameGetWorldMatrix(player->frame)->pos),
                      5.0f);
        }
    }
    EXPECT_EQ(kinds, "CCCOOYYOOOOOOOOCCCCCFFFF");
    EXPECT_EQ(targets[3], player);
    EXPECT_EQ(targets[7], airplanes[(p + 1) % 3]);
    EXPECT_EQ(targets[9], airplanes[(p + 2) % 3]);
    EXPECT_EQ(targets[15], player);
    // The free camera took over the cockpit view where it was.
    EXPECT_LT(Distance(CameraPosition(game->free), viewBeforeFree), 1.0f);
    // F1 turned the outside camera back to the player too.
    EXPECT_EQ(game->outside->target.Get(), player);
}

} // namespace
