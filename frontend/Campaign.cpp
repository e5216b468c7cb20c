#include "frontend/Campaign.h"

#include "frontend/Flow.h"
#include "frontend/Frontend.h"
#include "frontend/MissionLists.h"

#include "base/SaveFile.h"
#include "base/String.h"
#include "base/TextTable.h"
#include "gui/Desktop.h"
#include "gui/Lists.h"
#include "gui/Text.h"
#include "platform/win32/Files.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>

namespace Fe {

const char* const PilotsFileName = "Pilots.dat";

namespace {

constexpr size_t RecordSize = sizeof(PilotRecord);

uint32_t ReadU32(const char* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= uint32_t(static_cast<unsigned char>(p[i])) << (8 * i);
    return v;
}

void WriteU32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (8 * i));
}

void SayDamaged(std::string_view path, const char* what) {
    std::fprintf(stderr, "The pilots file '%s' is damaged: %s.\n", Base::Clip(path).c_str(), what);
}

} // namespace

std::vector<PilotRecord> LoadPilotsFile(std::string_view path) {
    std::vector<PilotRecord> pilots;
    if (!Win32::FileExists(path))
        return pilots;
    std::string bytes;
    if (!Win32::ReadFile(path, bytes)) {
        std::fprintf(stderr, "Cannot read the pilots file '%s': no pilots are listed.\n",
                     Base::Clip(path).c_str());
        return pilots;
    }
    if (bytes.size() < 4) {
        SayDamaged(path, "it is too short to hold its count; no pilots are listed");
        return pilots;
    }
    // Only the records that are there are read, whatever the count says.
    const uint32_t count = ReadU32(bytes.data());
    const size_t present = (bytes.size() - 4) / RecordSize;
    if (count > present) {
        const std::string what =
            Base::Formatted("it counts %u pilots but holds %zu; those are kept", count, present);
        SayDamaged(path, what.c_str());
    }
    const size_t kept = std::min<size_t>(count, present);
    pilots.reserve(kept);
    for (size_t i = 0; i < kept; ++i) {
        const char* in = bytes.data() + 4 + i * RecordSize;
        PilotRecord pilot;
        std::memcpy(pilot.name, in, sizeof pilot.name);
        pilot.name[MaxPilotName] = '\0';
        pilot.progress = int32_t(ReadU32(in + sizeof pilot.name));
        if (pilot.name[0] == '\0') {
            SayDamaged(path, Base::Formatted("pilot %zu has no name and is left out", i + 1).c_str());
            continue;
        }
        if (pilot.progress < 0) {
            SayDamaged(path,
                       Base::Formatted("the pilot '%s' has a negative progress; he starts the campaign again",
                                       Base::Clip(pilot.name).c_str())
                           .c_str());
            pilot.progress = 0;
        }
        pilots.push_back(pilot);
    }
    return pilots;
}

bool SavePilotsFile(std::string_view path, const std::vector<PilotRecord>& pilots) {
    std::string bytes(4 + pilots.size() * RecordSize, '\0');
    WriteU32(bytes.data(), uint32_t(pilots.size()));
    for (size_t i = 0; i < pilots.size(); ++i) {
        char* out = bytes.data() + 4 + i * RecordSize;
        std::memcpy(out, pilots[i].name, sizeof pilots[i].name);
        out[MaxPilotName] = '\0';
        WriteU32(out + sizeof pilots[i].name, uint32_t(pilots[i].progress));
    }
    std::string target;
    int error = 0;
    if (Base::SaveFileWhole(path, bytes.data(), bytes.size(), target, error))
        return true;
    // Said once: the pilots are saved again after every mission.
    static std::atomic<bool> told{false};
    if (!told.exchange(true))
        std::fprintf(stderr, "Cannot save the pilots to '%s': %s.\n", Base::Clip(target).c_str(),
                     std::strerror(error));
    return false;
}

// ---- the campaign page

PgCampaign::PgCampaign() {
    LoadPilots();
}

PgCampaign::~PgCampaign() {
    SavePilots();
}

void PgCampaign::LoadCampaignMissions(const Base::String& directory) {
    missions.clear();
    SearchMissionFiles(directory, SubFolders::None, missions);
    SortByFileName(missions);
}

void PgCampaign::FillPilotsList() {
    Gui::StringList* list = Find<Gui::StringList>("PilotsList", true);
    if (!list)
        return;
    list->SetStrings(0);
    list->SetStrings(pilots.size());
    for (size_t i = 0; i < pilots.size(); ++i)
        list->strings[i] = pilots[i].name;
}

void PgCampaign::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on)
        return;
    LoadCampaignMissions(Base::GetText("DataDir") + "\\Scripts\\Missions\\Campaign");
    FillPilotsList();
    selectedPilot = -1;
    if (Gui::Edit* edit = Find<Gui::Edit>("PilotNameEdt", true))
        edit->SetText("");
    if (frontend)
        SetSinglePlayerFlow(*frontend, "PageBriefing", "PageCampaign");
}

void PgCampaign::SetAddPilotMode(bool adding) {
    if (Gui::Widget* add = FindWidget("AddPilot", true))
        add->SetVisible(adding);
    if (Gui::Widget* view = FindWidget("ViewPilots", true))
        view->SetVisible(!adding);
    SetEnabled(Find<Gui::Button>("BtnCreatePilot", true), !adding);
    SetEnabled(Find<Gui::Button>("BtnSelectPilot", true), !adding);
}

bool PgCampaign::IsValidPilotName(std::string_view name) const {
    if (name.empty() || name.size() > MaxPilotName)
        return false;
    for (const PilotRecord& pilot : pilots)
        if (EqualNoCase(name, pilot.name))
            return false;
    return true;
}

void PgCampaign::RequestMission(size_t index) {
    if (!frontend || index >= missions.size())
        return;
    GameRequest request = frontend->gameRequest;
    request.header = missions[index];
    frontend->gameRequest.Assign(request);
    campaignMission = true;
}

bool PgCampaign::AdvanceCampaign() {
    if (selectedPilot < 0 || size_t(selectedPilot) >= pilots.size() || !frontend)
        return false;
    PilotRecord& pilot = pilots[size_t(selectedPilot)];
    // A mission won from another list, or a mission that is not the pilot's next one, is no step forward.
    if (!campaignMission || size_t(pilot.progress) >= missions.size() ||
        frontend->gameRequest.header.fileName != missions[size_t(pilot.progress)].fileName)
        return false;
    ++pilot.progress;
    if (size_t(pilot.progress) >= missions.size())
        return true;
    RequestMission(size_t(pilot.progress));
    return false;
}

void PgCampaign::Update() {
    const Gui::Widget* addView = FindWidget("AddPilot", true);
    const bool adding = addView && addView->visible;
    const Gui::StringList* list = Find<Gui::StringList>("PilotsList", true);
    const int32_t selection = list && list->selected < int32_t(pilots.size()) ? list->selected : -1;
    SetEnabled(Find<Gui::Button>("BtnDeletePilot", true), selection >= 0 && !adding);
    SetEnabled(Find<Gui::Button>("BtnSelectPilot", true), selection >= 0 && !adding);

    UpdateChildren(false);

    MessageBox* invalidName = Find<MessageBox>("MessageBoxInvalidPilotName", true);
    if (invalidName)
        invalidName->TakeResult();
    if (adding) {
        if (Pressed("BtnBack"))
            SetAddPilotMode(false);
        if (Pressed("BtnAddPilot")) {
            const Gui::Edit* edit = Find<Gui::Edit>("PilotNameEdt", true);
            const Base::String name = edit ? edit->text : Base::String();
            if (!IsValidPilotName(name)) {
                if (invalidName)
                    invalidName->Show();
                return;
            }
            SetAddPilotMode(false);
            PilotRecord pilot;
            std::memcpy(pilot.name, name.data(), std::min(name.size(), MaxPilotName));
            pilots.push_back(pilot);
            selectedPilot = int32_t(pilots.size() - 1);
            FillPilotsList();
            // Without a campaign mission there is nothing to fly: the campaign is as good as done.
            if (missions.empty()) {
                ShowPage("PageCongratulations", MenuFade);
                return;
            }
            RequestMission(0);
            ShowPage("PageBriefing", MenuFade);
        }
        return;
    }

    if (Pressed("BtnBack"))
        ShowPage("PageMain", MenuFade);
    MessageBox* areYouSure = Find<MessageBox>("MessageBoxAreYouSure", true);
    if (Pressed("BtnDeletePilot") && selection >= 0 && areYouSure) {
        areYouSure->Show();
        return;
    }
    if (areYouSure && areYouSure->TakeResult() == MessageBox::Yes && list && list->selected >= 0 &&
        size_t(list->selected) < pilots.size()) {
        const int32_t erased = list->selected;
        pilots.erase(pilots.begin() + erased);
        if (selectedPilot == erased)
            selectedPilot = -1;
        else if (selectedPilot > erased)
            --selectedPilot;
        FillPilotsList();
    }
    if (Pressed("BtnCreatePilot")) {
        SetAddPilotMode(true);
        if (Gui::Edit* edit = Find<Gui::Edit>("PilotNameEdt", true); edit && owner)
            owner->GiveKeys(edit);
    }
    if (Pressed("BtnSelectPilot") && selection >= 0) {
        const PilotRecord& pilot = pilots[size_t(selection)];
        if (size_t(pilot.progress) < missions.size()) {
            RequestMission(size_t(pilot.progress));
            selectedPilot = selection;
            ShowPage("PageBriefing", MenuFade);
        } else {
            ShowPage("PageCongratulations", MenuFade);
        }
    }
}

void ForgetCampaignMission(Frontend& frontend) {
    if (!frontend.desktop)
        return;
    const Gui::WidgetsContainer& top = *frontend.desktop;
    if (PgCampaign* campaign = top.Find<PgCampaign>("PageCampaign", true))
        campaign->campaignMission = false;
}

// ---- congratulations

void PgCongratulations::Update() {
    UpdateChildren(false);
    if (Pressed("BtnMainMenu"))
        ShowPage("PageMain", MenuFade);
}

} // namespace Fe
