#include "base/AnimationCache.h"

namespace Base {

String AnimationCache::Directory;
NamedEntries<RtAnimAnimation> AnimationCache::Entries;
RtAnimAnimation* (*AnimationCache::Read)(const String& path) = nullptr;
void (*AnimationCache::Destroy)(RtAnimAnimation* animation) = nullptr;

RtAnimAnimation* AnimationCache::Get(std::string_view name) {
    if (!Read) {
        return nullptr;
    }
    return FindOrLoad(Entries, Directory, name, Read);
}

void AnimationCache::Clear() {
    ClearEntries(Entries, [](RtAnimAnimation* animation) {
        if (Destroy) {
            Destroy(animation);
        }
    });
}

} // namespace Base
