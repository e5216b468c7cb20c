#include "base/ClumpCache.h"

#include "base/CacheLoaders.h"

namespace Base {

String ClumpCache::Directory;
NamedEntries<RpClump> ClumpCache::Entries;
RpClump* (*ClumpCache::Read)(const String& path) = nullptr;
RpClump* (*ClumpCache::Clone)(RpClump* master) = nullptr;
void (*ClumpCache::Destroy)(RpClump* clump) = nullptr;

RpClump* ClumpCache::Get(std::string_view name) {
    if (!Read || !Clone) {
        ReportMissingLoader("model");
        return nullptr;
    }
    RpClump* master = FindOrLoad(Entries, Directory, name, Read, "model");
    return master ? Clone(master) : nullptr;
}

void ClumpCache::Clear() {
    ClearEntries(Entries, [](RpClump* clump) {
        if (Destroy) {
            Destroy(clump);
        }
    });
}

} // namespace Base
