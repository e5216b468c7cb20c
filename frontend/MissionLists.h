// The mission lists: single missions (every mission under the missions folder but training) and training
// missions, found by a file search that keeps the files whose mission header loads.
#pragma once

#include "frontend/Flow.h"
#include "frontend/Page.h"

#include "mission/Header.h"

#include <string_view>
#include <vector>

namespace Fe {

// Which sub-folders a mission search enters.
enum class SubFolders {
    None,           // the campaign: its own folder only
    All,            // training
    AllButTraining, // single missions: a folder named "Training" (any letter case) is left out at any depth
};

// Appends the headers of the folder's *.msn files (the extension in any letter case) whose header loads;
// sub-folders first where they stand in the folder's order, as mode allows.
void SearchMissionFiles(const Base::String& folder, SubFolders mode, std::vector<Mission::Header>& missions);

// Letters folded to lower case, then bytes compared.
bool LessNoCase(std::string_view a, std::string_view b);
bool EqualNoCase(std::string_view a, std::string_view b);

// Sorts by file name (the campaign's and training's order) or by the missions' names.
void SortByFileName(std::vector<Mission::Header>& missions);
void SortByName(std::vector<Mission::Header>& missions);

// What both list pages share: the list, its fill and its fly button.
class PgMissionList : public Page {
public:
    // Shown: the list is filled again and the flow set to come back here.
    void SetVisible(bool on) override;

    // Rebuilds the missions and "MissionsList" from a folder.
    void FillMissionsList(const Base::String& folder);
    virtual void SearchMissions(const Base::String& folder) = 0;
    virtual void Sort() = 0;
    // The page's folder under the data folder.
    virtual Base::String RootFolder() const = 0;

    // The selected mission, or null.
    const Mission::Header* Selected() const;

    std::vector<Mission::Header> missions;

protected:
    // "BtnFly": the request takes the selected mission and the briefing follows.
    void Fly();
};

class PgSingleMission : public PgMissionList {
public:
    void Update() override;
    void SearchMissions(const Base::String& folder) override;
    void Sort() override { SortByName(missions); }
    Base::String RootFolder() const override;

    // Generated missions, which may be deleted: their file is in a folder "User".
    static bool IsUserMission(const Mission::Header& header);
};

class PgTraining : public PgMissionList {
public:
    void Update() override;
    void SearchMissions(const Base::String& folder) override;
    void Sort() override { SortByFileName(missions); }
    Base::String RootFolder() const override;
};

} // namespace Fe
