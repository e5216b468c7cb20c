#include "frontend/PgCreateMission.h"

#include "frontend/Flow.h"
#include "frontend/Frontend.h"

#include "base/Info.h"
#include "base/InfoCache.h"
#include "base/TextTable.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "gui/WorldMap.h"
#include "mission/Header.h"
#include "platform/win32/Files.h"

namespace Fe {

PgCreateMission::PgCreateMission()
    : missionPath(Base::MakePath(Base::GetText("DataDir"), "Scripts\\Missions\\User\\UserMission.info")) {}

Gui::WorldMap* PgCreateMission::Map() const {
    return Find<Gui::WorldMap>("WorldMap", true);
}

Gui::MapObjectRecord* AddStartMarker(Gui::WorldMap& map, Base::Vector2 at) {
    return map.AddObject(Base::GetText("Map.StartingPosition"), at, "Plane", 0xFFFFFFFF, false, true);
}

void DragStartMarker(Gui::WorldMap& map, Gui::MapObjectRecord* marker, Base::Vector2 at, bool on) {
    if (on) {
        map.ScrollTo(at, false);
        map.placedObject = marker;
        map.placementEnabled = true;
    } else {
        map.placementEnabled = false;
    }
}

Gui::MapObjectRecord* LoadStartMap(Gui::WorldMap* map, const Base::Info& node, Base::Vector2& at) {
    node.TryGetPoint("StartPosition", at);
    if (!map)
        return nullptr;
    float zoom = 0;
    if (node.TryGetFloat("MapZoom", zoom))
        map->SetZoom(zoom);
    Gui::MapObjectRecord* marker = AddStartMarker(*map, at);
    // Read once for every page that shows it; an unreadable file adds nothing.
    map->LoadObjects(Base::InfoCache::Get(Base::GetText("DataDir") + "\\Scripts\\MapCommon.info"));
    return marker;
}

void PgCreateMission::PlaceMarker(Gui::WorldMap* map) {
    if (map)
        startObject = AddStartMarker(*map, startPosition);
}

bool PgCreateMission::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Page::Load(widgetName, node))
        return false;
    startObject = LoadStartMap(Map(), node, startPosition);
    FillBaseList();
    SetStartKind(inTheAir);
    return true;
}

void PgCreateMission::SetStartKind(bool air) {
    inTheAir = air;
    if (Gui::Widget* panel = FindWidget("InTheAir", true))
        panel->SetVisible(air);
    if (Gui::Widget* panel = FindWidget("OnRunway", true))
        panel->SetVisible(!air);
}

void PgCreateMission::FillBaseList() {
    Gui::WorldMap* map = Map();
    auto* list = Find<Gui::StringSelector>("BaseList", true);
    if (!map || !list)
        return;
    basePositions.assign(map->objects.size(), {});
    baseIsAirfield.assign(map->objects.size(), 0);
    std::vector<Base::String> names;
    for (const Gui::MapObjectRecord& object : map->objects) {
        const bool airfield = object.textureName == "Airfield";
        if (!airfield && object.textureName != "Carrier")
            continue;
        basePositions[names.size()] = object.position;
        baseIsAirfield[names.size()] = airfield ? 1 : 0;
        names.push_back(object.name);
    }
    list->SetStrings(names.size());
    list->strings = std::move(names);
}

int32_t PgCreateMission::SelectedBase() const {
    const auto* list = Find<Gui::StringSelector>("BaseList", true);
    if (!list)
        return -1;
    const int32_t index = list->GetSelectedIndex();
    return index >= 0 && size_t(index) < list->strings.size() && size_t(index) < basePositions.size() ? index
                                                                                                      : -1;
}

Base::String PgCreateMission::Selected(const char* name) const {
    const auto* list = Find<Gui::StringSelector>(name, true);
    if (!list)
        return {};
    const int32_t index = list->GetSelectedIndex();
    return index >= 0 && size_t(index) < list->strings.size() ? list->strings[size_t(index)] : Base::String();
}

void PgCreateMission::SetVisible(bool on) {
    Page::SetVisible(on);
    if (inTheAir) {
        if (Gui::WorldMap* map = Map())
            DragStartMarker(*map, startObject, startPosition, on);
        if (auto* edit = Find<Gui::Edit>("MissionNameEdt", true))
            edit->SetText("");
    }
    if (on && frontend)
        if (PageLinks* airplane = FindLinks(*frontend, "PageSelectAirplane"))
            airplane->backPage = name;
}

GeneratorChoices PgCreateMission::Choices(const Base::String& name) const {
    GeneratorChoices choices;
    choices.name = name;
    choices.inTheAir = inTheAir;
    choices.start = startPosition;
    if (!inTheAir && lastBaseIndex >= 0 && size_t(lastBaseIndex) < basePositions.size()) {
        choices.start = basePositions[size_t(lastBaseIndex)];
        choices.airfield = baseIsAirfield[size_t(lastBaseIndex)] == 1;
    }
    choices.baseId = Selected("BaseList");
    if (const auto* list = Find<Gui::StringSelector>("TimeOfDayList", true))
        choices.timeOfDay = list->GetSelectedIndex();
    choices.heading = Selected("HeadingList");
    choices.altitude = Selected("AltitudeList");
    choices.friendly = Selected("FriendlyList");
    choices.waves = Selected("EnemyWavesList");
    choices.enemies = Selected("EnemiesList");
    choices.tanks = Selected("TanksList");
    return choices;
}

bool PgCreateMission::GenerateMission(const Base::String& name) {
    const bool written = WriteMission(Choices(name), missionPath);
    // The request may hold the header of the file just replaced, whose tree the cache has let go.
    if (frontend && frontend->gameRequest.header.fileName == missionPath) {
        GameRequest request = frontend->gameRequest;
        const Mission::Header* header = Mission::Header::Load(missionPath);
        request.header = header ? *header : Mission::Header();
        frontend->gameRequest.Assign(request);
    }
    return written;
}

void PgCreateMission::Update() {
    UpdateChildren(false);
    Gui::WorldMap* map = Map();

    if (!inTheAir && Pressed("BtnInTheAir")) {
        SetStartKind(true);
        PlaceMarker(map);
        if (map)
            DragStartMarker(*map, startObject, startPosition, true);
    }
    // Without a base there is nothing to start on: the page stays in the air.
    SetEnabled(Find<Gui::Button>("BtnOnRunway", true), SelectedBase() >= 0);
    if (inTheAir && Pressed("BtnOnRunway") && SelectedBase() >= 0) {
        SetStartKind(false);
        if (map) {
            map->placementEnabled = false;
            map->RemoveObject(startObject);
        }
        startObject = nullptr;
        lastBaseIndex = SelectedBase();
        if (map)
            map->ScrollTo(basePositions[size_t(lastBaseIndex)], false);
    }

    if (Pressed("BtnBack"))
        ShowPage("PageSingleMission", MenuFade);

    if (Pressed("BtnFly")) {
        GenerateMission(Base::GetFileTitle(missionPath));
        if (frontend)
            if (const Mission::Header* header = Mission::Header::Load(missionPath)) {
                GameRequest request = frontend->gameRequest;
                request.header = *header;
                frontend->gameRequest.Assign(request);
                ShowPage("PageSelectAirplane", MenuFade);
            }
    }

    auto* edit = Find<Gui::Edit>("MissionNameEdt", true);
    const Base::String typed = edit ? edit->text : Base::String();
    SetEnabled(Find<Gui::Button>("BtnSave", true), !typed.empty());

    // The name takes the mission's place only once it is written: a declined overwrite leaves the file
    // alone, and a later flight goes on writing where it wrote before.
    if (auto* overwrite = Find<MessageBox>("MessageBoxOverwrite", true))
        if (overwrite->TakeResult() == MessageBox::Yes && !pendingPath.empty()) {
            missionPath = pendingPath;
            pendingPath.clear();
            GenerateMission(Base::GetFileTitle(missionPath));
        }

    if (Pressed("BtnSave")) {
        if (!ValidMissionName(typed)) {
            if (auto* refused = Find<MessageBox>("MessageBoxInvalidName", true))
                refused->Show();
        } else {
            const Base::String path = UserMissionsFolder() + "\\" + typed + ".msn";
            auto* overwrite = Find<MessageBox>("MessageBoxOverwrite", true);
            if (Win32::FileExists(path) && overwrite) {
                pendingPath = path;
                overwrite->Show();
            } else if (!Win32::FileExists(path)) {
                missionPath = path;
                GenerateMission(typed);
            }
        }
    }

    if (inTheAir) {
        if (startObject)
            startPosition = startObject->position;
    } else if (const int32_t i = SelectedBase(); i >= 0 && i != lastBaseIndex) {
        if (map)
            map->ScrollTo(basePositions[size_t(i)], false);
        lastBaseIndex = i;
    }
}

} // namespace Fe
