#include "base/SoundCache.h"

#include "base/CacheLoaders.h"

namespace Base {

String SoundCache::Directory;
NamedEntries<Audio::Buffer> SoundCache::Entries;
Audio::Buffer* (*SoundCache::Load)(const String& path) = nullptr;
void (*SoundCache::DeleteBuffer)(Audio::Buffer* buffer) = nullptr;

Audio::Buffer* SoundCache::Get(std::string_view name) {
    if (!Load) {
        ReportMissingLoader("sound");
        return nullptr;
    }
    return FindOrLoad(Entries, Directory, name, Load, "sound");
}

void SoundCache::Clear() {
    ClearEntries(Entries, [](Audio::Buffer* buffer) {
        if (DeleteBuffer) {
            DeleteBuffer(buffer);
        }
    });
}

} // namespace Base
