#include "platform/dsound/SoundBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace DSound {

namespace {

// About 80 ms stay queued: enough for the feeding thread's pace, short enough that a change of pan or a
// ring write shows soon.
constexpr double QueuedSeconds = 0.08;
constexpr DWORD ChunksPerSecond = 50;
constexpr DWORD MinChunkFrames = 256;
// Bounds the queue of a tiny looping buffer.
constexpr size_t MaxChunks = 64;

float AttenuationGain(LONG hundredthsOfDecibel) {
    return std::pow(10.0f, hundredthsOfDecibel / 2000.0f);
}

} // namespace

SoundBuffer* SoundBuffer::Create(std::shared_ptr<Device> device, const DSBUFFERDESC& desc, HRESULT* result) {
    *result = DSERR_INVALIDPARAM;
    const WAVEFORMATEX* format = desc.lpwfxFormat;
    if (desc.dwSize != sizeof(DSBUFFERDESC) || !format) {
        return nullptr;
    }
    // A sound placed in space is mono, and its side comes from its place, not from a pan.
    if ((desc.dwFlags & DSBCAPS_CTRL3D) &&
        ((desc.dwFlags & DSBCAPS_CTRLPAN) || (format && format->nChannels != 1))) {
        return nullptr;
    }
    if (desc.dwBufferBytes < DSBSIZE_MIN || desc.dwBufferBytes > DSBSIZE_MAX) {
        return nullptr;
    }
    if (format->wFormatTag != WAVE_FORMAT_PCM || (format->nChannels != 1 && format->nChannels != 2) ||
        (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) ||
        format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8 ||
        format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX) {
        *result = DSERR_BADFORMAT;
        return nullptr;
    }
    // 8-bit PCM is unsigned: its silence is 0x80.
    const uint8_t silence = format->wBitsPerSample == 8 ? 0x80 : 0;
    auto pcm = std::make_shared<std::vector<uint8_t>>(desc.dwBufferBytes, silence);
    auto* buffer = new SoundBuffer(device, std::move(pcm), *format, desc.dwFlags);
    std::lock_guard<std::mutex> lock(device->mutex);
    device->Register(buffer);
    *result = DS_OK;
    return buffer;
}

SoundBuffer::SoundBuffer(std::shared_ptr<Device> device, std::shared_ptr<std::vector<uint8_t>> pcm,
                         const WAVEFORMATEX& format, DWORD flags)
    : device(std::move(device)), pcm(std::move(pcm)), format(format), flags(flags),
      size(static_cast<DWORD>(this->pcm->size())), spatial((flags & DSBCAPS_CTRL3D) != 0),
      frequency(format.nSamplesPerSec) {}

SoundBuffer* SoundBuffer::Duplicate() {
    std::lock_guard<std::mutex> lock(device->mutex);
    auto* copy = new SoundBuffer(device, pcm, format, flags);
    copy->volume = volume;
    copy->pan = pan;
    copy->frequency = frequency;
    device->Register(copy);
    return copy;
}

SoundBuffer::~SoundBuffer() {
    std::lock_guard<std::mutex> lock(device->mutex);
    Halt();
    device->Unregister(this);
}

HRESULT SoundBuffer::QueryInterface(REFIID iid, void** object) {
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!spatial || iid != IID_IDirectSound3DBuffer) {
        return E_NOINTERFACE;
    }
    *object = static_cast<IDirectSound3DBuffer*>(this);
    AddRef();
    return S_OK;
}

ULONG SoundBuffer::AddRef() {
    return ++references;
}

ULONG SoundBuffer::Release() {
    ULONG left = --references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT SoundBuffer::GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) {
    std::lock_guard<std::mutex> lock(device->mutex);
    Feed();
    if (playCursor) {
        *playCursor = PlayCursor();
    }
    if (writeCursor) {
        *writeCursor = WriteCursor();
    }
    return DS_OK;
}

HRESULT SoundBuffer::GetVolume(LPLONG result) {
    if (!result) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    *result = volume;
    return DS_OK;
}

HRESULT SoundBuffer::GetPan(LPLONG result) {
    if (!result) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    *result = pan;
    return DS_OK;
}

HRESULT SoundBuffer::GetFrequency(LPDWORD result) {
    if (!result) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    *result = frequency;
    return DS_OK;
}

HRESULT SoundBuffer::GetStatus(LPDWORD status) {
    if (!status) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    Feed();
    *status = playing ? DSBSTATUS_PLAYING | (looping ? DSBSTATUS_LOOPING : 0) : 0;
    return DS_OK;
}

HRESULT SoundBuffer::Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2,
                          LPDWORD bytes2, DWORD lockFlags) {
    if (!audio1 || !bytes1) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    if (locked) {
        return DSERR_INVALIDCALL;
    }
    if (lockFlags & DSBLOCK_FROMWRITECURSOR) {
        Feed();
        offset = WriteCursor();
    }
    if (lockFlags & DSBLOCK_ENTIREBUFFER) {
        bytes = size;
    }
    if (bytes == 0 || bytes > size || offset >= size) {
        return DSERR_INVALIDPARAM;
    }
    DWORD first = std::min(bytes, size - offset);
    DWORD second = audio2 ? bytes - first : 0;
    staging.assign(pcm->begin() + offset, pcm->begin() + offset + first);
    staging.insert(staging.end(), pcm->begin(), pcm->begin() + second);
    locked = true;
    lockOffset = offset;
    *audio1 = staging.data();
    *bytes1 = first;
    if (audio2) {
        *audio2 = second ? staging.data() + first : nullptr;
    }
    if (bytes2) {
        *bytes2 = second;
    }
    return DS_OK;
}

HRESULT SoundBuffer::Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (!locked || audio1 != staging.data()) {
        return DSERR_INVALIDPARAM;
    }
    locked = false;
    DWORD first = std::min<DWORD>(bytes1, size - lockOffset);
    first = std::min<DWORD>(first, static_cast<DWORD>(staging.size()));
    std::memcpy(pcm->data() + lockOffset, staging.data(), first);
    if (audio2 && bytes2) {
        const auto* from = static_cast<const uint8_t*>(audio2);
        const uint8_t* end = staging.data() + staging.size();
        if (from >= staging.data() && from < end) {
            DWORD second = std::min<DWORD>(bytes2, static_cast<DWORD>(end - from));
            second = std::min(second, lockOffset);
            std::memcpy(pcm->data(), from, second);
        }
    }
    return DS_OK;
}

HRESULT SoundBuffer::Play(DWORD, DWORD, DWORD playFlags) {
    std::lock_guard<std::mutex> lock(device->mutex);
    looping = (playFlags & DSBPLAY_LOOPING) != 0;
    if (playing) {
        // Looping switched on after the last byte was queued: carry on from the start.
        if (looping && allQueued) {
            allQueued = false;
            nextByte = 0;
        }
        return DS_OK;
    }
    Start();
    return playing ? DS_OK : DSERR_OUTOFMEMORY;
}

HRESULT SoundBuffer::SetCurrentPosition(DWORD newPosition) {
    if (newPosition > size) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    newPosition = newPosition == size ? 0 : newPosition - newPosition % format.nBlockAlign;
    if (playing) {
        Halt();
        position = newPosition;
        Start();
    } else {
        position = newPosition;
    }
    return DS_OK;
}

HRESULT SoundBuffer::SetVolume(LONG newVolume) {
    if (!(flags & DSBCAPS_CTRLVOLUME)) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (newVolume < DSBVOLUME_MIN || newVolume > DSBVOLUME_MAX) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    volume = newVolume;
    ApplyGain();
    return DS_OK;
}

HRESULT SoundBuffer::SetPan(LONG newPan) {
    if (!(flags & DSBCAPS_CTRLPAN)) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (newPan < DSBPAN_LEFT || newPan > DSBPAN_RIGHT) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    pan = newPan;
    return DS_OK;
}

HRESULT SoundBuffer::SetFrequency(DWORD newFrequency) {
    if (!(flags & DSBCAPS_CTRLFREQUENCY)) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (newFrequency == DSBFREQUENCY_ORIGINAL) {
        newFrequency = format.nSamplesPerSec;
    }
    if (newFrequency < DSBFREQUENCY_MIN || newFrequency > DSBFREQUENCY_MAX) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    frequency = newFrequency;
    ApplyGain();
    return DS_OK;
}

HRESULT SoundBuffer::Stop() {
    std::lock_guard<std::mutex> lock(device->mutex);
    if (playing) {
        Feed();
    }
    if (playing) {
        position = PlayCursor();
        Halt();
    }
    return DS_OK;
}

HRESULT SoundBuffer::Restore() {
    return DS_OK;
}

HRESULT SoundBuffer::SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) {
    std::lock_guard<std::mutex> lock(device->mutex);
    position3d[0] = x;
    position3d[1] = y;
    position3d[2] = z;
    ApplySpace();
    return DS_OK;
}

HRESULT SoundBuffer::SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD) {
    std::lock_guard<std::mutex> lock(device->mutex);
    velocity3d[0] = x;
    velocity3d[1] = y;
    velocity3d[2] = z;
    ApplySpace();
    return DS_OK;
}

HRESULT SoundBuffer::SetMinDistance(D3DVALUE distance, DWORD) {
    if (!(distance > 0)) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    minDistance = distance;
    ApplySpace();
    return DS_OK;
}

HRESULT SoundBuffer::SetMaxDistance(D3DVALUE distance, DWORD) {
    if (!(distance > 0)) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    maxDistance = distance;
    ApplySpace();
    return DS_OK;
}

HRESULT SoundBuffer::SetMode(DWORD mode, DWORD) {
    if (mode > DS3DMODE_DISABLE) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    mode3d = mode;
    ApplySpace();
    return DS_OK;
}

HRESULT SoundBuffer::GetMode(LPDWORD mode) {
    if (!mode) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard<std::mutex> lock(device->mutex);
    *mode = mode3d;
    return DS_OK;
}

void SoundBuffer::ApplySpace() {
    if (!spatial || !playing) {
        return;
    }
    // Left-handed coordinates to OpenAL's right-handed ones: z turns round.
    const bool disabled = mode3d == DS3DMODE_DISABLE;
    alSourcei(source, AL_SOURCE_RELATIVE, mode3d != DS3DMODE_NORMAL ? AL_TRUE : AL_FALSE);
    if (disabled) {
        alSource3f(source, AL_POSITION, 0, 0, 0);
        alSource3f(source, AL_VELOCITY, 0, 0, 0);
    } else {
        alSource3f(source, AL_POSITION, position3d[0], position3d[1], -position3d[2]);
        alSource3f(source, AL_VELOCITY, velocity3d[0], velocity3d[1], -velocity3d[2]);
    }
    alSourcef(source, AL_REFERENCE_DISTANCE, minDistance);
    alSourcef(source, AL_MAX_DISTANCE, std::max(minDistance, maxDistance));
    alSourcef(source, AL_ROLLOFF_FACTOR, disabled ? 0.0f : device->RolloffFactor());
}

DWORD SoundBuffer::PlayCursor() const {
    if (!playing) {
        return position;
    }
    ALint offset = 0;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    DWORD skip = static_cast<DWORD>(std::max(offset, 0)) * format.nBlockAlign;
    for (const Chunk& chunk : queue) {
        if (skip < chunk.bytes) {
            return (chunk.start + skip) % size;
        }
        skip -= chunk.bytes;
    }
    return nextByte % size;
}

DWORD SoundBuffer::WriteCursor() const {
    return playing ? nextByte % size : position;
}

void SoundBuffer::Start() {
    source = device->TakeSource();
    if (!source) {
        return;
    }
    playing = true;
    allQueued = false;
    nextByte = position;
    ApplyGain();
    ApplySpace();
    Feed();
    device->Wake();
}

void SoundBuffer::Halt() {
    if (!playing) {
        return;
    }
    alSourceStop(source);
    device->GiveSource(source); // detaches the queue
    source = 0;
    for (const Chunk& chunk : queue) {
        device->GiveAlBuffer(chunk.name);
    }
    queue.clear();
    playing = false;
}

void SoundBuffer::ApplyGain() {
    if (!playing) {
        return;
    }
    alSourcef(source, AL_GAIN, AttenuationGain(volume));
    alSourcef(source, AL_PITCH, static_cast<float>(frequency) / static_cast<float>(format.nSamplesPerSec));
}

void SoundBuffer::QueueChunk() {
    const DWORD block = format.nBlockAlign;
    DWORD chunkFrames = std::max(MinChunkFrames, frequency / ChunksPerSecond);
    DWORD frames = std::min(chunkFrames, (size - nextByte) / block);
    if (frames == 0) {
        // A tail shorter than one block is never played.
        if (looping && nextByte != 0) {
            nextByte = 0;
        } else {
            allQueued = true;
        }
        return;
    }
    // Always stereo 16-bit: DirectSound's pan attenuates the opposite side, for mono and stereo alike.
    float left = pan > 0 ? AttenuationGain(-pan) : 1.0f;
    float right = pan < 0 ? AttenuationGain(pan) : 1.0f;
    samples.resize(frames * 2);
    const uint8_t* from = pcm->data() + nextByte;
    const bool stereo = format.nChannels == 2;
    const bool wide = format.wBitsPerSample == 16;
    auto sampleAt = [&](DWORD index) -> int {
        if (wide) {
            return static_cast<int16_t>(from[index * 2] | (from[index * 2 + 1] << 8));
        }
        return (from[index] - 128) * 256;
    };
    auto scale = [](int value, float gain) -> int16_t {
        if (gain == 1.0f) {
            return static_cast<int16_t>(value);
        }
        return static_cast<int16_t>(std::lround(value * gain));
    };
    for (DWORD i = 0; i < frames; ++i) {
        int l = sampleAt(stereo ? i * 2 : i);
        int r = stereo ? sampleAt(i * 2 + 1) : l;
        samples[i * 2] = scale(l, left);
        samples[i * 2 + 1] = scale(r, right);
    }
    if (spatial) {
        // OpenAL places only mono sources: the first of each pair is all there is.
        for (DWORD i = 0; i < frames; ++i) {
            samples[i] = static_cast<int16_t>(sampleAt(i));
        }
    }
    ALuint name = device->TakeAlBuffer();
    alBufferData(name, spatial ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16, samples.data(),
                 static_cast<ALsizei>(frames * (spatial ? 2 : 4)),
                 static_cast<ALsizei>(format.nSamplesPerSec));
    alSourceQueueBuffers(source, 1, &name);
    queue.push_back({name, nextByte, frames * block});
    nextByte += frames * block;
    if (size - nextByte < block) {
        if (looping) {
            nextByte = 0;
        } else {
            allQueued = true;
        }
    }
}

bool SoundBuffer::Feed() {
    if (!playing) {
        return false;
    }
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    for (; processed > 0 && !queue.empty(); --processed) {
        ALuint name = 0;
        alSourceUnqueueBuffers(source, 1, &name);
        device->GiveAlBuffer(queue.front().name);
        queue.pop_front();
    }
    DWORD queuedFrames = 0;
    for (const Chunk& chunk : queue) {
        queuedFrames += chunk.bytes / format.nBlockAlign;
    }
    const DWORD wanted = std::max<DWORD>(MinChunkFrames * 4, static_cast<DWORD>(frequency * QueuedSeconds));
    while (queuedFrames < wanted && !allQueued && queue.size() < MaxChunks) {
        DWORD before = static_cast<DWORD>(queue.size());
        QueueChunk();
        if (queue.size() != before) {
            queuedFrames += queue.back().bytes / format.nBlockAlign;
        }
    }
    ALint state = AL_STOPPED;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (state == AL_PLAYING) {
        return true;
    }
    if (queue.empty()) {
        // The last byte of a non-looping play has been heard: the cursor goes back to the start.
        Halt();
        position = 0;
        return false;
    }
    alSourcePlay(source);
    return true;
}

} // namespace DSound
