#include "audio/Buffer.h"

#include "audio/Decoder.h"
#include "audio/Device.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Audio {

Buffer::Buffer(const Buffer& other)
    : size(other.size), rate(other.rate), channels(other.channels), bits(other.bits) {
    if (DirectSound && other.buffer && FAILED(DirectSound->DuplicateSoundBuffer(other.buffer, &buffer))) {
        buffer = nullptr;
    }
}

Buffer::~Buffer() {
    if (buffer) {
        buffer->Release();
    }
}

bool Buffer::Create(uint32_t newSize, uint32_t newRate, uint32_t newChannels, uint32_t newBits) {
    const uint32_t block = newChannels * newBits / 8;
    if (block == 0) {
        return false;
    }
    if (buffer) {
        buffer->Release();
        buffer = nullptr;
    }
    size = (newSize + block - 1) / block * block;
    rate = newRate;
    channels = newChannels;
    bits = newBits;
    if (!DirectSound) {
        return true;
    }
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nBlockAlign = static_cast<WORD>(block);
    format.nAvgBytesPerSec = block * rate;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
    desc.dwBufferBytes = size;
    desc.lpwfxFormat = &format;
    if (FAILED(DirectSound->CreateSoundBuffer(&desc, &buffer, nullptr))) {
        buffer = nullptr;
        return false;
    }
    return true;
}

bool Buffer::Load(Decoder& decoder) {
    if (decoder.status == Decoder::NotOpened) {
        return false;
    }
    // Decoded first and sized by what really came out: a header's length is only a claim, and a few hostile
    // bytes can claim gigabytes.
    const uint32_t block = decoder.blockAlign ? decoder.blockAlign : 1;
    const uint32_t chunk = std::max<uint32_t>(65536 / block, 1) * block;
    std::vector<char> pcm;
    while (decoder.status == Decoder::Open && pcm.size() < decoder.dataSize) {
        const size_t at = pcm.size();
        const uint32_t want = static_cast<uint32_t>(std::min<size_t>(chunk, decoder.dataSize - at));
        pcm.resize(at + want);
        const uint32_t got = decoder.Read(pcm.data() + at, want);
        pcm.resize(at + got);
        if (got == 0) {
            break;
        }
    }
    if (!Create(static_cast<uint32_t>(pcm.size()), decoder.sampleRate, decoder.channels,
                decoder.bitsPerSample)) {
        return false;
    }
    if (buffer && size > 0) {
        void* data = nullptr;
        DWORD bytes = 0;
        if (FAILED(buffer->Lock(0, size, &data, &bytes, nullptr, nullptr, 0))) {
            return false;
        }
        const size_t copied = std::min<size_t>(bytes, pcm.size());
        std::memcpy(data, pcm.data(), copied);
        // The rounding up to whole blocks leaves a tail: silence, not old memory.
        std::memset(static_cast<char*>(data) + copied, decoder.bitsPerSample == 8 ? 0x80 : 0, bytes - copied);
        buffer->Unlock(data, bytes, nullptr, 0);
    }
    return true;
}

} // namespace Audio
