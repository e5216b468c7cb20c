// Any bytes as a sound file loaded whole into a DirectSound buffer (OpenAL Soft's null output), then as the
// track of a music player that streams it through its ring for a few frames. A size the file claims is never
// what is allocated; nothing reads outside a buffer.
#include "audio/Buffer.h"
#include "audio/Decoder.h"
#include "audio/Device.h"
#include "audio/MusicPlayer.h"
#include "audio/SoundGroup.h"
#include "fuzz/support/Scratch.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

namespace {

bool Start() {
    setenv("ALSOFT_DRIVERS", "null", 1);
    return Audio::StartDirectSound(nullptr, nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Start();
    static const std::string track = FuzzSupport::ScratchDirectory() + "track.wav";
    if (!started)
        return 0;
    {
        std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
        std::unique_ptr<Audio::Decoder> decoder(Audio::OpenDecoder(stream));
        if (decoder) {
            Audio::Buffer buffer;
            buffer.Load(*decoder);
        }
    }
    FILE* file = std::fopen(track.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    Audio::SoundGroup group(30.0f);
    {
        Audio::MusicPlayer player(&group, {track});
        player.playsRemaining = 1;
        if (player.PlayTrack(0))
            for (int frame = 0; frame < 4; ++frame)
                player.Update();
    }
    return 0;
}
