#include "frontend/Flow.h"

#include "frontend/Frontend.h"
#include "frontend/Page.h"

#include "gui/Desktop.h"

namespace Fe {

PageLinks* FindLinks(Frontend& frontend, std::string_view pageName) {
    if (!frontend.desktop)
        return nullptr;
    const Gui::WidgetsContainer& top = *frontend.desktop;
    return dynamic_cast<PageLinks*>(top.Find<Page>(pageName, true));
}

void SetSinglePlayerFlow(Frontend& frontend, std::string_view endNext, std::string_view briefingBack) {
    if (PageLinks* weapons = FindLinks(frontend, "PageSelectWeapons"))
        weapons->nextPage = "PageLoadingSPlr";
    if (PageLinks* end = FindLinks(frontend, "PageEndMission"))
        end->nextPage = endNext;
    if (PageLinks* briefing = FindLinks(frontend, "PageBriefing"))
        briefing->backPage = briefingBack;
    if (PageLinks* map = FindLinks(frontend, "PageGameMap"))
        map->backPage = "PageInSPlr";
}

} // namespace Fe
