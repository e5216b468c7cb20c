// The general pages: the main menu, the options page that hosts the four option panels, the splash shown
// before the menu, and the credits.
#pragma once

#include "frontend/Page.h"

namespace Fe {

class Frontend;

// The request becomes the first mission (by file name, without regard to case) of that folder under the
// data's missions, for the player's airplane or the sample fighter; without one that loads, no mission (the
// game's built-in flight). True when one was found.
bool RequestFirstMission(Frontend& frontend, const char* folder);

class PgMain : public Page {
public:
    void Update() override;
    // Shown: the cursor comes back (the splash hides it).
    void SetVisible(bool on) override;
};

class PgOptions : public Page {
public:
    // All four panels start hidden; the first update opens the display panel.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
};

class PgSplash : public Page {
public:
    // "NextPage" (required; "Exit" quits), "Pause" and "EndOnVideo" (at least one), "FadeDuration".
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Update() override;
    // Shown: hides the cursor, starts the pause timer (without a video to wait for) and the films.
    void SetVisible(bool on) override;

    Base::String nextPage;
    float pause = -1.0f; // seconds after the video (or after being shown); -1: none
    Base::String endOnVideo;
    float fadeDuration = 0.75f;
    double startTime = 0.0;
};

class PgCredits : public Page {
public:
    // The page, then the build's date and time in the bottom right corner.
    void Draw() override;
    void Update() override;
    // Shown: the credits start again from the top.
    void SetVisible(bool on) override;

    // Scrolling speed in *.gui units a second, and the line the text's bottom stops at.
    static constexpr float ScrollSpeed = 50.0f;
    static constexpr float ScrollEnd = 768.0f;
    static double lastScrollTime;
};

} // namespace Fe
