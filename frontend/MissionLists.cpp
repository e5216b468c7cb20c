#include "frontend/MissionLists.h"

#include "frontend/Campaign.h"
#include "frontend/Frontend.h"

#include "base/TextTable.h"
#include "gui/Lists.h"

#include <windows.h>
#include <fileapi.h>

#include <algorithm>
#include <cctype>

namespace Fe {

namespace {

unsigned char Folded(char c) {
    return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

bool LessNoCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Folded(x) < Folded(y); });
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Folded(x) == Folded(y); });
}

void SortByFileName(std::vector<Mission::Header>& missions) {
    std::stable_sort(missions.begin(), missions.end(),
                     [](const Mission::Header& a, const Mission::Header& b) {
                         return LessNoCase(a.fileName, b.fileName);
                     });
}

void SortByName(std::vector<Mission::Header>& missions) {
    std::stable_sort(
        missions.begin(), missions.end(),
        [](const Mission::Header& a, const Mission::Header& b) { return LessNoCase(a.name, b.name); });
}

void SearchMissionFiles(const Base::String& folder, SubFolders mode, std::vector<Mission::Header>& missions) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string_view name = entry.cFileName;
        // Only a plain folder is entered: a link to one is not, so a link cannot lead the search in a loop.
        if (entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            if (mode == SubFolders::None || name == "." || name == "..")
                continue;
            if (mode == SubFolders::AllButTraining && EqualNoCase(name, "Training"))
                continue;
            SearchMissionFiles(folder + "\\" + entry.cFileName, mode, missions);
            continue;
        }
        if (!EqualNoCase(Base::GetExtension(name), "msn"))
            continue;
        if (const Mission::Header* header = Mission::Header::Load(folder + "\\" + entry.cFileName))
            missions.push_back(*header);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

// ---- list pages

void PgMissionList::SetVisible(bool on) {
    Page::SetVisible(on);
    if (!on)
        return;
    FillMissionsList(RootFolder());
    if (frontend) {
        SetSinglePlayerFlow(*frontend, name, name);
        ForgetCampaignMission(*frontend);
    }
}

void PgMissionList::FillMissionsList(const Base::String& folder) {
    missions.clear();
    SearchMissions(folder);
    Sort();
    if (Gui::StringList* list = Find<Gui::StringList>("MissionsList", true)) {
        list->SetStrings(missions.size());
        for (size_t i = 0; i < missions.size(); ++i)
            list->strings[i] = missions[i].name;
    }
}

const Mission::Header* PgMissionList::Selected() const {
    const Gui::StringList* list = Find<Gui::StringList>("MissionsList", true);
    if (!list || list->selected < 0 || size_t(list->selected) >= missions.size())
        return nullptr;
    return &missions[size_t(list->selected)];
}

void PgMissionList::Fly() {
    const Mission::Header* selected = Selected();
    if (!frontend || !selected)
        return;
    GameRequest request = frontend->gameRequest;
    request.header = *selected;
    frontend->gameRequest.Assign(request);
    ShowPage("PageBriefing", MenuFade);
}

// ---- single missions

Base::String PgSingleMission::RootFolder() const {
    return Base::GetText("DataDir") + "\\Scripts\\Missions";
}

void PgSingleMission::SearchMissions(const Base::String& folder) {
    SearchMissionFiles(folder, SubFolders::AllButTraining, missions);
}

bool PgSingleMission::IsUserMission(const Mission::Header& header) {
    return header.fileName.find("\\User\\") != Base::String::npos;
}

void PgSingleMission::Update() {
    UpdateChildren(false);
    const Mission::Header* selected = Selected();
    SetEnabled(Find<Gui::Button>("BtnFly", true), selected != nullptr);
    SetEnabled(Find<Gui::Button>("BtnDeleteMission", true), selected && IsUserMission(*selected));
    if (Pressed("BtnCreateMission"))
        ShowPage("PageCreateMission", MenuFade);
    if (Pressed("BtnBack"))
        ShowPage("PageMain", MenuFade);
    // Only a generated mission's file is ever removed, whatever state the button is left in.
    if (Pressed("BtnDeleteMission") && selected && IsUserMission(*selected)) {
        DeleteFileA(selected->fileName.c_str());
        FillMissionsList(RootFolder());
    }
    if (Pressed("BtnFly"))
        Fly();
}

// ---- training

Base::String PgTraining::RootFolder() const {
    return Base::GetText("DataDir") + "\\Scripts\\Missions\\Training";
}

void PgTraining::SearchMissions(const Base::String& folder) {
    SearchMissionFiles(folder, SubFolders::All, missions);
}

void PgTraining::Update() {
    UpdateChildren(false);
    SetEnabled(Find<Gui::Button>("BtnFly", true), Selected() != nullptr);
    if (Pressed("BtnBack"))
        ShowPage("PageMain", MenuFade);
    if (Pressed("BtnFly"))
        Fly();
}

} // namespace Fe
