// The campaign: named pilots, each at the campaign mission he has reached, kept in "Pilots.dat"; the page
// that adds, selects and deletes them and starts the selected pilot's next mission; and the page shown once
// the last campaign mission is won.
#pragma once

#include "frontend/Page.h"

#include "mission/Header.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace Fe {

// One pilot as "Pilots.dat" stores it: 68 bytes, little-endian.
struct PilotRecord {
    char name[64] = {};   // NUL-terminated, 1 to 63 characters
    int32_t progress = 0; // campaign missions won: the index of the next one
};
static_assert(sizeof(PilotRecord) == 68);

inline constexpr size_t MaxPilotName = 63;
extern const char* const PilotsFileName; // "Pilots.dat", in the working folder

// Reads the pilots file: a u32 count, then count records. A missing file is no pilots. A damaged one keeps
// what can be trusted and says on stderr what was left or changed: only the complete records that are
// there, names cut to 63 characters, records without a name dropped, a negative progress made 0.
std::vector<PilotRecord> LoadPilotsFile(std::string_view path);
// Writes the count and every record as the whole file, never leaving a half-written one (a failure is said
// once on stderr and leaves the old file).
bool SavePilotsFile(std::string_view path, const std::vector<PilotRecord>& pilots);

class PgCampaign : public Page {
public:
    // Reads "Pilots.dat".
    PgCampaign();
    // Writes "Pilots.dat".
    ~PgCampaign() override;

    void Update() override;
    // Shown: the campaign's missions are read again, the pilots listed, nobody selected, and the flow set for
    // a campaign.
    void SetVisible(bool on) override;

    void LoadPilots() { pilots = LoadPilotsFile(PilotsFileName); }
    bool SavePilots() const { return SavePilotsFile(PilotsFileName, pilots); }
    // The headers of the folder's *.msn files (sub-folders not entered) in the order of their file names.
    void LoadCampaignMissions(const Base::String& directory);
    void FillPilotsList();
    // The new-pilot view instead of the pilots' list, or back.
    void SetAddPilotMode(bool adding);
    // 1 to 63 characters, and no pilot of that name whatever its letter case.
    bool IsValidPilotName(std::string_view name) const;
    // After a won mission: the selected pilot goes on to his next campaign mission, which the request
    // then holds. Only the mission this page started counts. True when the campaign is complete.
    bool AdvanceCampaign();

    std::vector<PilotRecord> pilots;
    std::vector<Mission::Header> missions;
    int32_t selectedPilot = -1;
    // The request holds the campaign mission this page put there; a list page's flow clears it.
    bool campaignMission = false;

private:
    // The request's mission becomes the campaign's mission of that index.
    void RequestMission(size_t index);
};

class PgCongratulations : public Page {
public:
    void Update() override;
};

// The page's campaign state is left behind when another list starts the flow.
void ForgetCampaignMission(Frontend& frontend);

} // namespace Fe
