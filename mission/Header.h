// The head of a *.msn file: what the front end lists and briefs, and what the game needs to start it.
#pragma once

#include "base/String.h"

#include <cstdint>

namespace Base {
class Info;
}

namespace Mission {

struct Header {
    Base::String fileName;
    Base::String name;
    Base::String objectives;
    Base::String briefing;
    Base::String beforeBriefingMovie;
    uint32_t timeOfDay = 0;          // the number of the scenery description
    const Base::Info* map = nullptr; // the cached tree's "Map", or a shared empty node; not owned
    bool selectEquipment = false;
    bool carrierBased = false;

    // Reads the header through the info cache into one shared record that every call overwrites (copy it at
    // once); null when the file cannot be read or "Name", "Objectives", "Briefing" or "TimeOfDay" is missing
    // or unreadable.
    static Header* Load(const Base::String& fileName);
};

} // namespace Mission
