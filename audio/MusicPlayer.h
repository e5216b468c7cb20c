// Plays the tracks of a playlist one after another (or shuffled), streaming each through a looping
// three-second ring that is refilled every frame.
#pragma once

#include "base/String.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace Audio {

class Decoder;
class Sound;
class SoundGroup;

class MusicPlayer {
public:
    enum StreamState : int32_t { Ended = 0, Streaming = 1 };

    struct Stream {
        int32_t state = Ended;
        uint32_t writePosition = 0; // bytes in the ring
        Sound* sound = nullptr;
        Decoder* decoder = nullptr;
        // After the decoder's last bytes: the rest of the ring is silence, and the track ends once the
        // play cursor has gone past its data.
        bool draining = false;
        int64_t leftToPlay = 0;
        uint32_t lastCursor = 0;
    };

    // Nothing plays until the owner sets playsRemaining.
    MusicPlayer(SoundGroup* group, const std::vector<Base::String>& tracks);
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // Once per frame.
    void Update();
    void Stop();
    // Stop, and nothing more plays.
    void Halt();
    bool PlayTrack(uint32_t index);
    uint32_t NextTrack();
    // Clamped to [0, 1].
    void SetVolume(float v);

    SoundGroup* group;
    std::ifstream file;
    Sound* sound = nullptr;     // owned
    Decoder* decoder = nullptr; // owned
    Stream* stream = nullptr;   // owned
    std::vector<Base::String> tracks;
    float volume = 1.0f;
    uint32_t currentTrack = 0;
    int32_t playsRemaining = 0; // 0 stopped, -1 endless, n: n more track ends
    uint8_t shuffle = 0;
    std::vector<uint32_t> shuffleOrder;
    uint32_t shuffleCursor = 0;

private:
    void Refill();
    // The current track could not be started: the next update tries the others once, then halts.
    bool startFailed = false;
};

} // namespace Audio
