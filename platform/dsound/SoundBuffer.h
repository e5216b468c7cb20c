// A secondary DirectSound buffer. Its PCM bytes are shared with its duplicates (reference counted, so a
// duplicate outlives the buffer it came from). While it plays, a short queue of OpenAL buffers is cut from
// the PCM at the play position, so the bytes behind the play cursor may be rewritten meanwhile.
#pragma once

#include "platform/dsound/Device.h"

#include <dsound.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace DSound {

class SoundBuffer final : public IDirectSoundBuffer, public IDirectSound3DBuffer {
public:
    // Checks the description; null with the reason in *result when it is not one that can be played.
    static SoundBuffer* Create(std::shared_ptr<Device> device, const DSBUFFERDESC& desc, HRESULT* result);
    SoundBuffer* Duplicate();

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) override;
    HRESULT GetVolume(LPLONG volume) override;
    HRESULT GetPan(LPLONG pan) override;
    HRESULT GetFrequency(LPDWORD frequency) override;
    HRESULT GetStatus(LPDWORD status) override;
    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2, LPDWORD bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetCurrentPosition(DWORD position) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT SetPan(LONG pan) override;
    HRESULT SetFrequency(DWORD frequency) override;
    HRESULT Stop() override;
    HRESULT Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override;
    HRESULT Restore() override;

    // IDirectSound3DBuffer, for buffers made with DSBCAPS_CTRL3D.
    HRESULT SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
    HRESULT SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) override;
    HRESULT SetMinDistance(D3DVALUE distance, DWORD apply) override;
    HRESULT SetMaxDistance(D3DVALUE distance, DWORD apply) override;
    HRESULT SetMode(DWORD mode, DWORD apply) override;
    HRESULT GetMode(LPDWORD mode) override;
    // Passes the 3D settings on to the source; called with the device mutex held.
    void ApplySpace();

    // Tops up the queue of a playing buffer and notices its end; called with the device mutex held.
    // Returns whether the buffer is still playing.
    bool Feed();

private:
    struct Chunk {
        ALuint name;
        DWORD start; // byte offset in the PCM
        DWORD bytes;
    };

    SoundBuffer(std::shared_ptr<Device> device, std::shared_ptr<std::vector<uint8_t>> pcm,
                const WAVEFORMATEX& format, DWORD flags);
    ~SoundBuffer() override;

    DWORD PlayCursor() const;
    DWORD WriteCursor() const;
    void Start();
    void Halt();
    void QueueChunk();
    void ApplyGain();

    std::shared_ptr<Device> device;
    std::shared_ptr<std::vector<uint8_t>> pcm;
    WAVEFORMATEX format;
    DWORD flags;
    DWORD size;
    std::atomic<ULONG> references{1};

    LONG volume = 0;
    LONG pan = 0;
    bool spatial = false; // DSBCAPS_CTRL3D
    float position3d[3] = {0, 0, 0};
    float velocity3d[3] = {0, 0, 0};
    float minDistance = DS3D_DEFAULTMINDISTANCE;
    float maxDistance = DS3D_DEFAULTMAXDISTANCE;
    DWORD mode3d = DS3DMODE_NORMAL;
    DWORD frequency;

    ALuint source = 0; // held only while playing
    bool playing = false;
    bool looping = false;
    bool allQueued = false; // a non-looping play has queued its last byte
    DWORD position = 0;     // play cursor while stopped
    DWORD nextByte = 0;     // where the next chunk starts
    std::deque<Chunk> queue;
    std::vector<int16_t> samples;

    // Lock hands out a copy; Unlock writes it back under the mutex, so the feeding thread never sees a
    // half-written region.
    bool locked = false;
    DWORD lockOffset = 0;
    std::vector<uint8_t> staging;
};

} // namespace DSound
