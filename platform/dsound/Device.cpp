#include "platform/dsound/Device.h"

#include "platform/dsound/Loopback.h"
#include "platform/dsound/SoundBuffer.h"

#include <alext.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace DSound {

namespace {
std::mutex openMutex;
std::weak_ptr<Device> current;
bool loopbackWanted = false; // guarded by openMutex

// What OpenAL's own output would be on a stereo machine.
constexpr ALCint LoopbackRate = 44100;
// Loopback buffers are fed after each step of this many frames: about 6 ms, well inside every queue.
constexpr size_t LoopbackStep = 256;

void Silent(const char*, int, const char*, int, const char*, ...) {}

// DirectSound says nothing on the console, and the game says itself, once, when there is no sound device.
// OpenAL and the ALSA library below it would each print their own lines for every output they try (several
// on a machine without a sound card), so both are hushed before the first open. Setting ALSOFT_LOGLEVEL
// keeps both libraries' own messages, for looking into a sound problem.
void QuietSoundLibraries() {
    if (std::getenv("ALSOFT_LOGLEVEL")) {
        return;
    }
    setenv("ALSOFT_LOGLEVEL", "0", 0); // read by OpenAL at its first call
    // OpenAL loads the ALSA library itself, the same instance as this one: the handler set here is its.
    // The library stays loaded, so that the handler does.
    if (void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL)) {
        using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
        if (auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"))) {
            setHandler(Silent);
        }
    }
}

ALCdevice* OpenOutput(bool loopback) {
    static std::once_flag quiet;
    std::call_once(quiet, QuietSoundLibraries);
    if (!loopback) {
        return alcOpenDevice(nullptr);
    }
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    return open ? open(nullptr) : nullptr;
}

} // namespace

void UseLoopbackDevice(bool use) {
    std::lock_guard<std::mutex> openLock(openMutex);
    loopbackWanted = use;
}

bool RenderLoopback(int16_t* out, size_t frames) {
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> openLock(openMutex);
        device = current.lock();
    }
    if (!device || !device->IsLoopback()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    device->Render(out, frames);
    return true;
}

std::shared_ptr<Device> Device::Open() {
    std::lock_guard<std::mutex> openLock(openMutex);
    if (auto existing = current.lock()) {
        return existing;
    }
    const bool loopback = loopbackWanted;
    ALCdevice* alDevice = OpenOutput(loopback);
    if (!alDevice) {
        return nullptr;
    }
    const ALCint loopbackFormat[] = {ALC_FORMAT_CHANNELS_SOFT,
                                     ALC_STEREO_SOFT,
                                     ALC_FORMAT_TYPE_SOFT,
                                     ALC_SHORT_SOFT,
                                     ALC_FREQUENCY,
                                     LoopbackRate,
                                     0};
    ALCcontext* alContext = alcCreateContext(alDevice, loopback ? loopbackFormat : nullptr);
    if (!alContext || !alcMakeContextCurrent(alContext)) {
        if (alContext) {
            alcDestroyContext(alContext);
        }
        alcCloseDevice(alDevice);
        return nullptr;
    }
    std::shared_ptr<Device> result(new Device());
    result->device = alDevice;
    result->context = alContext;
    result->loopback = loopback;
    result->directChannels = alIsExtensionPresent("AL_SOFT_direct_channels");
    // Plain buffers sit on the listener with no rolloff; buffers placed in space fall off as 1 / distance
    // from their minimum distance, as DirectSound's do.
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    if (!loopback) {
        result->pump = std::thread([raw = result.get()] { raw->Pump(); });
    }
    current = result;
    return result;
}

Device::~Device() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    Wake();
    if (pump.joinable()) {
        pump.join();
    }
    if (!spareSources.empty()) {
        alDeleteSources(static_cast<ALsizei>(spareSources.size()), spareSources.data());
    }
    if (!spareBuffers.empty()) {
        alDeleteBuffers(static_cast<ALsizei>(spareBuffers.size()), spareBuffers.data());
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}

void Device::Register(SoundBuffer* buffer) {
    buffers.push_back(buffer);
}

void Device::Unregister(SoundBuffer* buffer) {
    std::erase(buffers, buffer);
}

ALuint Device::TakeAlBuffer() {
    if (spareBuffers.empty()) {
        ALuint name = 0;
        alGenBuffers(1, &name);
        return name;
    }
    ALuint name = spareBuffers.back();
    spareBuffers.pop_back();
    return name;
}

void Device::GiveAlBuffer(ALuint buffer) {
    spareBuffers.push_back(buffer);
}

ALuint Device::TakeSource() {
    ALuint source = 0;
    if (!spareSources.empty()) {
        source = spareSources.back();
        spareSources.pop_back();
    } else {
        alGetError();
        alGenSources(1, &source);
        if (alGetError() != AL_NO_ERROR) {
            return 0;
        }
    }
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    alSource3f(source, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_REFERENCE_DISTANCE, 1.0f);
    alSourcef(source, AL_MAX_DISTANCE, 3.4e38f);
    alSourcei(source, AL_LOOPING, AL_FALSE);
    if (directChannels) {
        alSourcei(source, AL_DIRECT_CHANNELS_SOFT, AL_TRUE);
    }
    return source;
}

void Device::GiveSource(ALuint source) {
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    spareSources.push_back(source);
}

void Device::SetMasterGain(float gain) {
    alListenerf(AL_GAIN, gain);
}

void Device::SetRolloffFactor(float factor) {
    rolloff = factor;
    for (SoundBuffer* buffer : buffers) {
        buffer->ApplySpace();
    }
}

void Device::Render(int16_t* out, size_t frames) {
    static const auto render =
        reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(device, "alcRenderSamplesSOFT"));
    while (frames > 0) {
        const size_t step = std::min(frames, LoopbackStep);
        render(device, out, static_cast<ALCsizei>(step));
        for (SoundBuffer* buffer : buffers) {
            buffer->Feed();
        }
        out += step * 2;
        frames -= step;
    }
}

void Device::Pump() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        bool busy = false;
        for (SoundBuffer* buffer : buffers) {
            busy = buffer->Feed() || busy;
        }
        if (busy) {
            wake.wait_for(lock, std::chrono::milliseconds(5));
        } else {
            wake.wait(lock);
        }
    }
}

} // namespace DSound
