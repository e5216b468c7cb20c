#include "audio/CreateSound.h"

#include "audio/Buffer.h"
#include "audio/Decoder.h"
#include "audio/Sound.h"
#include "audio/Sound3d.h"
#include "base/SoundCache.h"
#include "platform/win32/Files.h"

#include <fstream>
#include <memory>

namespace Audio {

namespace {

void DeleteBuffer(Buffer* buffer) {
    delete buffer;
}

Buffer* LoadBuffer(const Base::String& name) {
    Base::SoundCache::DeleteBuffer = DeleteBuffer;
    auto found = Base::SoundCache::Entries.find(name);
    if (found != Base::SoundCache::Entries.end()) {
        return found->second;
    }
    Buffer* buffer = nullptr;
    std::ifstream file(Win32::NativePath(Base::MakePath(Base::SoundCache::Directory, name, {})),
                       std::ios::binary);
    if (file) {
        std::unique_ptr<Decoder> decoder(OpenDecoder(file));
        if (decoder) {
            buffer = new Buffer();
            if (!buffer->Load(*decoder)) {
                delete buffer;
                buffer = nullptr;
            }
        }
    }
    Base::SoundCache::Entries.emplace(name, buffer);
    return buffer;
}

} // namespace

Sound* CreateSound(const Base::String& name, SoundGroup* group, bool deleteWhenStopped) {
    Buffer* buffer = LoadBuffer(name);
    if (!buffer) {
        return nullptr;
    }
    auto* sound = new Sound(*buffer, group);
    sound->autoDelete = deleteWhenStopped;
    return sound;
}

Sound3d* CreateSound3d(const Base::String& name, SoundGroup* group, bool deleteWhenStopped) {
    Buffer* buffer = LoadBuffer(name);
    if (!buffer) {
        return nullptr;
    }
    auto* sound = new Sound3d(*buffer, group);
    sound->autoDelete = deleteWhenStopped;
    return sound;
}

} // namespace Audio
