#include "cockpit/Threats.h"

#include "cockpit/Cockpit.h"

#include "scene/Attachable.h"

#include <algorithm>

namespace Cockpit {

float Threats::Lifetime(int kind) {
    return kind == 0 ? 10.0f : kind == 1 ? 5.0f : 0.25f;
}

void Threats::Add(int kind, Obj::Frame* source) {
    Add(kind, source, owner ? owner->GameTime() : 0.0f);
}

void Threats::Add(int kind, Obj::Frame* source, float now) {
    for (Threat& entry : entries)
        if (entry.source.Get() == source && entry.kind <= kind) {
            entry.kind = kind;
            entry.time = now;
            return;
        }
    Threat& added = entries.emplace_back();
    added.kind = kind;
    added.source = source;
    added.time = now;
}

void Threats::Expire(float now) {
    std::erase_if(entries, [now](const Threat& entry) {
        return !entry.source || entry.time + Lifetime(entry.kind) < now;
    });
}

} // namespace Cockpit
