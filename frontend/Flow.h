// The single-player flow between pages: list or campaign -> briefing -> (airplane ->) weapons -> loading ->
// game -> end of mission. The page that starts a flow sets where the pages after it lead back and on to.
#pragma once

#include "base/String.h"

#include <string_view>

namespace Fe {

class Frontend;

// The page names that a page of the flow follows with its "next" and "back" buttons; empty until the page
// that starts a flow sets them.
class PageLinks {
public:
    virtual ~PageLinks() = default;
    Base::String nextPage;
    Base::String backPage;
};

// The links of the page of that name (searched through the whole tree); null when there is no such page or
// it has no links.
PageLinks* FindLinks(Frontend& frontend, std::string_view pageName);

// Activation of a list or the campaign: the weapon page leads on to the loading page, the game map back to
// the in-game page, the end of mission on to endNext and the briefing back to briefingBack.
void SetSinglePlayerFlow(Frontend& frontend, std::string_view endNext, std::string_view briefingBack);

} // namespace Fe
