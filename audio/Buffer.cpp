#include "audio/Buffer.h"

#include "audio/Decoder.h"
#include "audio/Device.h"

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
    if (!Create(decoder.dataSize, decoder.sampleRate, decoder.channels, decoder.bitsPerSample)) {
        return false;
    }
    if (buffer) {
        void* data = nullptr;
        DWORD bytes = 0;
        if (FAILED(buffer->Lock(0, size, &data, &bytes, nullptr, nullptr, 0))) {
            return false;
        }
        decoder.Read(data, bytes);
        buffer->Unlock(data, bytes, nullptr, 0);
    }
    return decoder.status != Decoder::NotOpened;
}

} // namespace Audio
