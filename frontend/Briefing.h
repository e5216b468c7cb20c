// Before and after a mission: the briefing (objectives, briefing text and map of the mission the request
// holds) and the end of mission (result, time, kills; the campaign advances on a won mission).
#pragma once

#include "frontend/Flow.h"
#include "frontend/Page.h"

namespace Fe {

class PgBriefing : public Page, public PageLinks {
public:
    void Update() override;
    // Shown: the texts and map of the request's mission; hidden: the map's objects are let go.
    void SetVisible(bool on) override;
};

class PgEndMission : public Page, public PageLinks {
public:
    void Update() override;
    // Shown: the request's result, time and kills; a won mission advances the campaign; the pilots are saved.
    void SetVisible(bool on) override;

    // The last campaign mission was won: "BtnEndMission" leads to the congratulations.
    bool campaignComplete = false;
};

// Seconds as hours, minutes and seconds: "%02.0f:%02.0f:%02.0f", the seconds rounded by the format (59.6 s
// shows as 00:00:60).
Base::String FormatElapsedTime(float seconds);

} // namespace Fe
