// The OpenAL output behind every DirectSound object of the process, and the thread that keeps the
// queues of playing buffers filled.
#pragma once

#include <al.h>
#include <alc.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace DSound {

class SoundBuffer;

class Device {
public:
    // The one device of the process (OpenAL has one current context); null when OpenAL finds no output.
    static std::shared_ptr<Device> Open();
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Guards every buffer's state and every OpenAL call.
    std::mutex mutex;

    // Called with the mutex held.
    void Register(SoundBuffer* buffer);
    void Unregister(SoundBuffer* buffer);
    ALuint TakeAlBuffer();
    void GiveAlBuffer(ALuint buffer);
    // A source for a buffer that starts playing; 0 when OpenAL has none left.
    ALuint TakeSource();
    void GiveSource(ALuint source);
    void SetMasterGain(float gain);
    // The listener's rolloff, which every buffer placed in space follows.
    void SetRolloffFactor(float factor);
    float RolloffFactor() const { return rolloff; }
    // A buffer started playing: the feeding thread, idle while nothing plays, gets going again.
    void Wake() { wake.notify_one(); }

    // A loopback device's next frames, fed as the thread would; called with the mutex held.
    void Render(int16_t* out, size_t frames);
    bool IsLoopback() const { return loopback; }

private:
    Device() = default;
    void Pump();

    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool directChannels = false;
    bool loopback = false; // mixes only in Render, and has no feeding thread
    float rolloff = 1.0f;
    std::vector<SoundBuffer*> buffers;
    std::vector<ALuint> spareBuffers;
    std::vector<ALuint> spareSources;
    std::condition_variable wake;
    bool stopping = false;
    std::thread pump;
};

} // namespace DSound
