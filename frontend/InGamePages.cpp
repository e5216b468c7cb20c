#include "frontend/InGamePages.h"

#include "frontend/Frontend.h"

#include "aircraft/Airplane.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "base/TextTable.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/WorldMap.h"
#include "pilots/Pilot.h"
#include "pilots/PilotPlayer.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"
#include "scene/World.h"

namespace Fe {

void ShowCursor(Gui::Desktop* desktop, bool on) {
    if (desktop && desktop->cursor)
        desktop->cursor->SetVisible(on);
}

void QuietMenus(const Page& page) {
    ShowCursor(page.owner, false);
    if (Frontend* root = page.frontend; root && root->music) {
        root->music->Stop();
        root->music->currentTrack = 0;
    }
    if (page.owner && page.owner->sounds) {
        page.owner->sounds->SetVolume(0.0f);
        page.owner->sounds->Update(true);
    }
}

void PgLoadingSPlr::Update() {
    UpdateChildren(false);
    QuietMenus(*this);
    SetAction(App::FrontendStartSplrGame);
}

void PgRestartingSPlr::Update() {
    UpdateChildren(false);
    // The restarted mission starts undecided, whatever the last run ended with.
    if (frontend) {
        GameRequest request = frontend->gameRequest;
        request.resultCode = GameRequest::Undecided;
        frontend->gameRequest.Assign(request);
    }
    QuietMenus(*this);
    SetAction(App::FrontendRestartSplrGame);
}

void PgInSPlr::Update() {
    ShowCursor(owner, true);
    UpdateChildren(false);
    const bool decided = frontend && frontend->gameRequest.resultCode != GameRequest::Undecided;
    SetEnabled(Find<Gui::Button>("BtnAbortMission", true), !decided);
    SetEnabled(Find<Gui::Button>("BtnEndMission", true), decided);

    if (Pressed("BtnResumeGame"))
        SetAction(App::FrontendResumeSplrGame);
    if (Pressed("BtnRestartGame"))
        ShowPage("PageRestartingSPlr", 0.0f);
    if (Pressed("BtnMap"))
        ShowPage("PageGameMap", MenuFade);
    if (Pressed("BtnAbortMission")) {
        SetAction(App::FrontendEndSplrGame);
        ShowPage("PageMain", 0.0f);
    }
    if (Pressed("BtnEndMission")) {
        SetAction(App::FrontendEndSplrGame);
        ShowPage("PageMain", 0.0f);
    }
}

void PgGameMap::Update() {
    UpdateChildren(false);
    if (Pressed("BtnBack"))
        ShowPage(backPage, MenuFade);
}

void PgGameMap::ShowWorld(Gui::WidgetsContainer* container, Grp::World* world) {
    Gui::WorldMap* map = container ? container->Find<Gui::WorldMap>("GameMap", true) : nullptr;
    if (!map)
        return;
    map->ClearObjects();
    if (!world)
        return;
    const Base::String playerName = Base::GetText("Fe.Player");
    static_cast<Grp::Simple<Obj::Object>&>(*world).ForEach([&](Obj::Object* object) {
        auto* damageable = dynamic_cast<Obj::Damageable*>(object);
        if (!damageable)
            return;
        if (dynamic_cast<Obj::PilotPlayer*>(object))
            if (const auto* frame = dynamic_cast<const Rw::Frame*>(object)) {
                double at[3];
                frame->GetWorldPositionDouble(at);
                map->ScrollTo({float(at[0]), float(at[2])}, true);
                map->SetZoom(PlayerZoom);
            }
        // An object without a place of its own (the terrain) has no point on the map.
        const RwSphere* sphere = damageable->GetBoundingSphere();
        if (!sphere)
            return;
        // An icon that does not load keeps the object off the map.
        RwTexture* icon = Rw::LoadTexture(damageable->mapIcon.c_str(), rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);
        if (!icon)
            return;
        RwTextureDestroy(icon);
        const auto* airplane = dynamic_cast<const Obj::Airplane*>(object);
        const bool player = airplane && dynamic_cast<Obj::PilotPlayer*>(Obj::Pilot::Of(airplane));
        map->AddObject(player ? playerName : damageable->name, {sphere->center.x, sphere->center.z},
                       damageable->mapIcon,
                       damageable->allegiance == Obj::Friendly ? FriendlyColour : EnemyColour, false, player);
    });
}

} // namespace Fe
