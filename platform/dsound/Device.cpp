#include "platform/dsound/Device.h"

#include "platform/dsound/SoundBuffer.h"

#include <alext.h>

#include <algorithm>
#include <chrono>

namespace DSound {

namespace {
std::mutex openMutex;
std::weak_ptr<Device> current;
} // namespace

std::shared_ptr<Device> Device::Open() {
    std::lock_guard<std::mutex> openLock(openMutex);
    if (auto existing = current.lock()) {
        return existing;
    }
    ALCdevice* alDevice = alcOpenDevice(nullptr);
    if (!alDevice) {
        return nullptr;
    }
    ALCcontext* alContext = alcCreateContext(alDevice, nullptr);
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
    result->directChannels = alIsExtensionPresent("AL_SOFT_direct_channels");
    // Plain buffers sit on the listener with no rolloff; buffers placed in space fall off as 1 / distance
    // from their minimum distance, as DirectSound's do.
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    result->pump = std::thread([raw = result.get()] { raw->Pump(); });
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
