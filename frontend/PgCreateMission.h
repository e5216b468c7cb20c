// The mission generator's page: the player picks a start (a point on the world map in the air, or a base's
// runway or catapult), the time of day, wingmen, enemy waves and tanks, and flies the generated mission at
// once or saves it under a name for the single-mission list.
#pragma once

#include "frontend/MissionGenerator.h"
#include "frontend/Page.h"

#include "base/Maths.h"
#include "base/String.h"

#include <cstdint>
#include <vector>

namespace Gui {
struct MapObjectRecord;
class WorldMap;
} // namespace Gui

namespace Fe {

// The start marker that the player drags on a world map (the generator's and the host's start position):
// added at a point; dragged only while its page is shown, the map then scrolled to it.
Gui::MapObjectRecord* AddStartMarker(Gui::WorldMap& map, Base::Vector2 at);
void DragStartMarker(Gui::WorldMap& map, Gui::MapObjectRecord* marker, Base::Vector2 at, bool on);
// What a start-position page's data sets up: an optional "StartPosition" (map x, y) read into `at`, and on
// the map, when there is one, the zoom of an optional "MapZoom", the start marker at `at` and the common
// objects (bases, carriers) of "Scripts\MapCommon.info". The marker; null without a map.
Gui::MapObjectRecord* LoadStartMap(Gui::WorldMap* map, const Base::Info& node, Base::Vector2& at);

class PgCreateMission : public Page {
public:
    PgCreateMission();

    // The page's widgets, then the start marker and the map's objects from "Scripts\MapCommon.info", with
    // the bases among them listed in "BaseList". An optional "StartPosition" (map x, y) places the start in
    // the air where the data's world has one, and "MapZoom" sets the map's first zoom.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
    void SetVisible(bool on) override;

    // Shows the panel of the start kind and hides the other.
    void SetStartKind(bool air);
    // "BaseList", basePositions and baseIsAirfield from the map's objects textured "Airfield" or "Carrier".
    void FillBaseList();
    // Writes the mission of the page's current choices to missionPath; false when it cannot be written.
    bool GenerateMission(const Base::String& name);
    // The page's current choices.
    GeneratorChoices Choices(const Base::String& name) const;

    Base::String missionPath;
    bool inTheAir = true;
    Base::Vector2 startPosition = {-508210.0f, -324310.0f};
    Gui::MapObjectRecord* startObject = nullptr; // owned by the map; present while inTheAir
    std::vector<Base::Vector2> basePositions;
    std::vector<uint8_t> baseIsAirfield;
    int32_t lastBaseIndex = 0;
    // The *.msn path of a save that waits for the overwrite box's answer.
    Base::String pendingPath;

private:
    Gui::WorldMap* Map() const;
    // Adds the start marker at startPosition and lets the player drag it.
    void PlaceMarker(Gui::WorldMap* map);
    // The selected "BaseList" index when it names a base, else -1.
    int32_t SelectedBase() const;
    // The text of the selected item of a list; empty when it has none.
    Base::String Selected(const char* list) const;
};

} // namespace Fe
