#include "frontend/Pages.h"

#include "frontend/Frontend.h"
#include "frontend/InGamePages.h"
#include "frontend/OptionPanels.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/TextTable.h"
#include "gui/Desktop.h"
#include "gui/Video.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Keyboard.h"
#include "input/Mouse.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>
#include <cstdlib>

namespace Fe {

// ---- main

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

bool RequestFirstMission(Frontend& frontend, const char* folder) {
    const Base::String directory = Base::GetText("DataDir") + "\\Scripts\\Missions\\" + folder;
    std::string local = directory;
    std::replace(local.begin(), local.end(), '\\', '/');
    std::vector<std::string> names;
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(local, failed)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (entry.is_regular_file() && extension == ".msn")
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), LessNoCase);
    GameRequest request = frontend.gameRequest;
    request.header = Mission::Header();
    request.resultCode = GameRequest::Undecided;
    request.elapsedTime = 0;
    request.airplaneKills = request.vehicleKills = request.shipKills = 0;
    if (request.airplane.empty())
        request.airplane = "Airplanes\\Su27";
    bool found = false;
    for (const std::string& name : names)
        if (const Mission::Header* header = Mission::Header::Load(directory + "\\" + name)) {
            request.header = *header;
            found = true;
            break;
        }
    frontend.gameRequest.Assign(request);
    return found;
}

void PgMain::SetVisible(bool on) {
    Page::SetVisible(on);
    if (on)
        ShowCursor(owner, true);
}

void PgMain::Update() {
    UpdateChildren(false);
    static const char* const Links[6][2] = {
        {"BtnCredits", "PageCredits"},
        {"BtnTraining", "PageTraining"},
        {"BtnSingleMission", "PageSingleMission"},
        {"BtnMultiplayer", "PageMultiplayer"},
        {"BtnCampaign", "PageCampaign"},
        {"BtnOptions", "PageOptions"},
    };
    for (const auto& link : Links) {
        if (!Pressed(link[0]))
            continue;
        ShowPage(link[1], MenuFade);
    }
    MessageBox* quit = Find<MessageBox>("MessageBoxAreYouSure", true);
    if (quit && Pressed("BtnQuit"))
        quit->Show();
    if (quit && quit->TakeResult() == MessageBox::Yes)
        SetAction(App::FrontendQuit);
}

// ---- options

namespace {

const char* const PanelNames[4] = {"OptionsDisplay", "OptionsAudio", "OptionsControls", "OptionsAssignments"};
const char* const PanelButtons[4] = {"BtnDisplay", "BtnAudio", "BtnControls", "BtnAssignments"};

} // namespace

bool PgOptions::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Page::Load(widgetName, node))
        return false;
    for (const char* panel : PanelNames)
        if (Gui::Widget* found = FindWidget(panel, true))
            found->SetVisible(false);
    return true;
}

void PgOptions::Update() {
    Gui::Widget* panels[4];
    for (int i = 0; i < 4; ++i) {
        panels[i] = FindWidget(PanelNames[i], true);
        SetEnabled(Find<Gui::Button>(PanelButtons[i], true), !(panels[i] && panels[i]->visible));
    }
    UpdateChildren(false);
    for (int i = 0; i < 4; ++i) {
        if (!Pressed(PanelButtons[i]))
            continue;
        for (Gui::Widget* panel : panels)
            if (panel)
                panel->SetVisible(false);
        if (panels[i])
            panels[i]->SetVisible(true);
    }
    bool anyShown = false;
    for (Gui::Widget* panel : panels)
        anyShown = anyShown || (panel && panel->visible);
    if (!anyShown && panels[0])
        panels[0]->SetVisible(true);

    MessageBox* notAllAssigned = Find<MessageBox>("MessageBoxNotAllAssigned", true);
    if (Pressed("BtnBack")) {
        const OptionsAssignments* assignments = Find<OptionsAssignments>("OptionsAssignments", true);
        if (!assignments || assignments->allAssigned)
            ShowPage("PageMain", MenuFade);
        else if (notAllAssigned)
            notAllAssigned->Show();
    }
    if (notAllAssigned && notAllAssigned->TakeResult() == MessageBox::Yes)
        ShowPage("PageMain", MenuFade);
}

// ---- splash

bool PgSplash::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Page::Load(widgetName, node))
        return false;
    if (!node.TryGetString("NextPage", nextPage))
        return false;
    const bool hasPause = node.TryGetFloat("Pause", pause);
    const bool hasVideo = node.TryGetString("EndOnVideo", endOnVideo);
    if (!hasPause && !hasVideo)
        return false;
    if (!node.TryGetFloat("FadeDuration", fadeDuration))
        fadeDuration = 0.75f;
    return true;
}

void PgSplash::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on)
        return;
    ShowCursor(owner, false);
    if (endOnVideo.empty())
        startTime = Base::FrameClock::GetSeconds();
    for (auto& [childName, child] : *this)
        if (auto* video = dynamic_cast<Gui::Video*>(child); video && video->stream)
            TextureRenderer::Play(video->stream, false);
}

void PgSplash::Update() {
    UpdateChildren(false);
    const double now = Base::FrameClock::GetSeconds();
    bool videoDone = true;
    if (!endOnVideo.empty())
        if (const Gui::Video* video = Find<Gui::Video>(endOnVideo, true); video && video->stream) {
            const int32_t* state = TextureRenderer::GetState(video->stream);
            videoDone = !state || *state != TextureRenderer::Playing;
        }
    // The pause counts from the end of the film.
    if (!videoDone && pause >= 0.0f)
        startTime = now;
    const bool pauseDone = pause < 0.0f || now > startTime + double(pause);

    const Input::Keyboard* keyboard = owner ? owner->keyboard : nullptr;
    const Input::Mouse* mouse = owner ? owner->mouse : nullptr;
    const bool skipped =
        (keyboard && (keyboard->pressedKey || keyboard->repeatKey)) || (mouse && mouse->clickedButton == 0);
    if (!(videoDone && pauseDone) && !skipped)
        return;
    if (nextPage == "Exit")
        SetAction(App::FrontendQuit);
    else
        ShowPage(nextPage, fadeDuration);
}

// ---- credits

double PgCredits::lastScrollTime = 0.0;

void PgCredits::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on)
        return;
    if (Gui::Widget* text = FindWidget("Scrollable", true))
        text->SetRect({0.0f, 0.0f, text->rect.right - text->rect.left, text->rect.bottom - text->rect.top});
    lastScrollTime = Base::FrameClock::GetSeconds();
}

void PgCredits::Update() {
    UpdateChildren(false);
    if (Pressed("BtnBack"))
        ShowPage("PageMain", MenuFade);
    Gui::Widget* text = FindWidget("Scrollable", true);
    if (!text || text->rect.bottom <= ScrollEnd)
        return;
    const double now = Base::FrameClock::GameTime;
    // Stops with its bottom edge on the line, not past it.
    const float rise = std::min(float((now - lastScrollTime) * ScrollSpeed), text->rect.bottom - ScrollEnd);
    lastScrollTime = now;
    if (rise > 0.0f)
        text->SetRect(Gui::Offset(text->rect, 0.0f, -rise));
}

void PgCredits::Draw() {
    Page::Draw();
    if (!Rw::ColourRaster)
        return;
    const Gui::Font* font = Base::FontCache::Get("Tahoma8.font");
    if (!font)
        return;
    const float width = float(RwRasterGetWidth(Rw::ColourRaster));
    const float height = float(RwRasterGetHeight(Rw::ColourRaster));
    Gui::QueueText({width - 2.5f, height - 0.5f}, __DATE__ " " __TIME__, {96, 72, 56, 255}, {1.0f, 1.0f}, 0,
                   size_t(-1), {0.0f, 0.0f}, 1, 1);
    Gui::FlushTextQueue(font, font->texture ? uint32_t(RwTextureGetFilterMode(font->texture)) : 0);
}

} // namespace Fe
