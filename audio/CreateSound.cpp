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

Buffer* DecodeFile(const Base::String& path) {
    // A fifo in the way would block the stream's open for ever.
    if (!Win32::CheckRegularFile(path))
        return nullptr;
    std::ifstream file(Win32::NativePath(path), std::ios::binary);
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<Decoder> decoder(OpenDecoder(file));
    if (!decoder) {
        return nullptr;
    }
    auto buffer = std::make_unique<Buffer>();
    return buffer->Load(*decoder) ? buffer.release() : nullptr;
}

Buffer* LoadBuffer(const Base::String& name) {
    InstallSoundCache();
    return Base::SoundCache::Get(name);
}

} // namespace

void InstallSoundCache() {
    Base::SoundCache::Load = DecodeFile;
    Base::SoundCache::DeleteBuffer = DeleteBuffer;
}

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
