// The front end's classes by the printed names that the menu *.gui files give. They are registered when the
// root is made rather than during static initialisation: the root then names every page's source file, so
// a program linked without the whole library still has them all.
#include "frontend/Briefing.h"
#include "frontend/Campaign.h"
#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"
#include "frontend/MPlrPages.h"
#include "frontend/MissionLists.h"
#include "frontend/OptionPanels.h"
#include "frontend/Page.h"
#include "frontend/Pages.h"
#include "frontend/PgCreateMission.h"
#include "frontend/SelectPages.h"

namespace Fe {

const ClassEntry Classes[] = {
    {"class Fe::Page", &Base::CreateInstance<Page>},
    {"class Fe::MessageBox", &Base::CreateInstance<MessageBox>},
    {"class Fe::MessageBoxSwitchAssignment", &Base::CreateInstance<MessageBoxSwitchAssignment>},
    {"class Fe::PgMain", &Base::CreateInstance<PgMain>},
    {"class Fe::PgOptions", &Base::CreateInstance<PgOptions>},
    {"class Fe::PgSplash", &Base::CreateInstance<PgSplash>},
    {"class Fe::PgCredits", &Base::CreateInstance<PgCredits>},
    {"class Fe::PgLoadingSPlr", &Base::CreateInstance<PgLoadingSPlr>},
    {"class Fe::PgInSPlr", &Base::CreateInstance<PgInSPlr>},
    {"class Fe::PgGameMap", &Base::CreateInstance<PgGameMap>},
    {"class Fe::PgRestartingSPlr", &Base::CreateInstance<PgRestartingSPlr>},
    {"class Fe::PgSelectAirplane", &Base::CreateInstance<PgSelectAirplane>},
    {"class Fe::PgSelectWeapons", &Base::CreateInstance<PgSelectWeapons>},
    {"class Fe::OptionsDisplay", &Base::CreateInstance<OptionsDisplay>},
    {"class Fe::OptionsAudio", &Base::CreateInstance<OptionsAudio>},
    {"class Fe::OptionsControls", &Base::CreateInstance<OptionsControls>},
    {"class Fe::OptionsAssignments", &Base::CreateInstance<OptionsAssignments>},
    {"class Fe::PgCreateMission", &Base::CreateInstance<PgCreateMission>},
    {"class Fe::PgCampaign", &Base::CreateInstance<PgCampaign>},
    {"class Fe::PgCongratulations", &Base::CreateInstance<PgCongratulations>},
    {"class Fe::PgSingleMission", &Base::CreateInstance<PgSingleMission>},
    {"class Fe::PgTraining", &Base::CreateInstance<PgTraining>},
    {"class Fe::PgBriefing", &Base::CreateInstance<PgBriefing>},
    {"class Fe::PgEndMission", &Base::CreateInstance<PgEndMission>},
    {"class Fe::PgMultiplayer", &Base::CreateInstance<PgMultiplayer>},
    {"class Fe::PgHostGame", &Base::CreateInstance<PgHostGame>},
    {"class Fe::PgStartPosition", &Base::CreateInstance<PgStartPosition>},
    {"class Fe::PgJoinGame", &Base::CreateInstance<PgJoinGame>},
    {"class Fe::PgJoinGameTeams", &Base::CreateInstance<PgJoinGameTeams>},
    {"class Fe::PgConnectingHost", &Base::CreateInstance<PgConnectingHost>},
    {"class Fe::PgConnectingJoin", &Base::CreateInstance<PgConnectingJoin>},
    {"class Fe::PgLoadingMPlr", &Base::CreateInstance<PgLoadingMPlr>},
    {"class Fe::PgInMPlr", &Base::CreateInstance<PgInMPlr>},
};
const size_t ClassCount = sizeof Classes / sizeof Classes[0];

void RegisterClasses() {
    for (const ClassEntry& entry : Classes)
        Base::DynamicObject::Register(entry.name, entry.create);
}

} // namespace Fe
