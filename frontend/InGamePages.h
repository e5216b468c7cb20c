// The pages around a single-player game: loading (starts it), the pause menu shown while the game waits
// behind the front end, the map of the game's world, and restarting the mission.
#pragma once

#include "frontend/Flow.h"
#include "frontend/Page.h"

#include "base/String.h"

namespace Grp {
class World;
}
namespace Gui {
class Desktop;
class WidgetsContainer;
} // namespace Gui

namespace Fe {

// The desktop's mouse cursor shown or hidden; nothing without a desktop or cursor.
void ShowCursor(Gui::Desktop* desktop, bool on);

// What the pages that start a game do before it takes over: no cursor, no menu music (the playlist back at
// its first track), no menu sounds.
void QuietMenus(const Page& page);

// Its first update (after the fade to it) silences the menus and asks for a new single-player game.
class PgLoadingSPlr : public Page {
public:
    void Update() override;
};

// As loading, but the mission's result is cleared first and the running game is built again.
class PgRestartingSPlr : public Page {
public:
    void Update() override;
};

// The pause menu: resume, restart, the map, and leaving the game (abort while the mission is undecided, end
// once it has a result).
class PgInSPlr : public Page {
public:
    void Update() override;
};

class PgGameMap : public Page, public PageLinks {
public:
    // Map icon colours (ARGB) of the two sides.
    static constexpr uint32_t FriendlyColour = 0xFF8080FF, EnemyColour = 0xFFFF0000;
    static constexpr float PlayerZoom = 0.2f;

    void Update() override;

    // Fills the container's "GameMap" with the world's damageable objects: each with its map icon (objects
    // whose icon does not load, and those without a bounding sphere, are left out), at the sphere's centre,
    // named (the player's airplane by the strings file's "Fe.Player"), coloured by its side. The map is
    // centred and zoomed on the player's pilot when there is one.
    static void ShowWorld(Gui::WidgetsContainer* container, Grp::World* world);
};

} // namespace Fe
