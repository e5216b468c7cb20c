#include "base/SoundCache.h"

namespace Base {

String SoundCache::Directory;
std::map<String, Audio::Buffer*> SoundCache::Entries;
void (*SoundCache::DeleteBuffer)(Audio::Buffer* buffer) = nullptr;

void SoundCache::Clear() {
    for (auto& [name, buffer] : Entries) {
        if (buffer && DeleteBuffer) {
            DeleteBuffer(buffer);
        }
    }
    Entries.clear();
}

} // namespace Base
