#include "base/AnimationCache.h"

#include "base/CacheLoaders.h"

namespace Base {

String AnimationCache::Directory;
NamedEntries<RtAnimAnimation> AnimationCache::Entries;
RtAnimAnimation* (*AnimationCache::Read)(const String& path) = nullptr;
void (*AnimationCache::Destroy)(RtAnimAnimation* animation) = nullptr;

RtAnimAnimation* AnimationCache::Get(std::string_view name) {
    if (!Read) {
        ReportMissingLoader("animation");
        return nullptr;
    }
    return FindOrLoad(Entries, Directory, name, Read, "animation");
}

void AnimationCache::Clear() {
    ClearEntries(Entries, [](RtAnimAnimation* animation) {
        if (Destroy) {
            Destroy(animation);
        }
    });
}

} // namespace Base
