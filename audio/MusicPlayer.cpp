#include "audio/MusicPlayer.h"

#include "audio/Decoder.h"
#include "audio/Sound.h"
#include "base/Random.h"
#include "platform/win32/Files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

namespace Audio {

namespace {
// Shared by every player and kept between refills.
std::vector<uint8_t> scratch;

// A track that cannot be opened or decoded is skipped in silence otherwise; said once a file, as the
// playlist comes round to it again.
void ReportUnplayable(const Base::String& track) {
    static std::set<Base::String, std::less<>> told;
    if (told.insert(track).second)
        std::fprintf(stderr, "Cannot play the music track '%s'.\n", Base::Clip(track).c_str());
}
} // namespace

MusicPlayer::MusicPlayer(SoundGroup* group, const std::vector<Base::String>& tracks)
    : group(group), tracks(tracks) {}

MusicPlayer::~MusicPlayer() {
    Stop();
}

void MusicPlayer::SetVolume(float v) {
    volume = v <= 0 ? 0.0f : (v >= 1 ? 1.0f : v);
}

void MusicPlayer::Stop() {
    if (stream) {
        if (sound) {
            sound->Release();
        }
        delete stream;
        stream = nullptr;
    }
    delete decoder;
    decoder = nullptr;
    delete sound;
    sound = nullptr;
    file.close();
}

void MusicPlayer::Halt() {
    Stop();
    playsRemaining = 0;
    startFailed = false;
}

bool MusicPlayer::PlayTrack(uint32_t index) {
    if (tracks.empty()) {
        return false;
    }
    index = std::min<uint32_t>(index, static_cast<uint32_t>(tracks.size() - 1));
    currentTrack = index;
    Stop();
    file.clear();
    // A fifo in the way would block the stream's open for ever.
    if (Win32::CheckRegularFile(tracks[index]))
        file.open(Win32::NativePath(tracks[index]), std::ios::binary);
    if (file.good()) {
        decoder = OpenDecoder(file);
    }
    if (!decoder) {
        ReportUnplayable(tracks[index]);
        return false;
    }
    const uint32_t bytesPerSecond = decoder->sampleRate * decoder->channels * decoder->bitsPerSample / 8;
    const uint32_t ringSize = std::max(3 * bytesPerSecond, 4 * decoder->blockAlign);
    Buffer ring;
    if (!ring.Create(ringSize, decoder->sampleRate, decoder->channels, decoder->bitsPerSample)) {
        delete decoder;
        decoder = nullptr;
        return false;
    }
    // The sound plays a duplicate of the ring, which keeps the ring's data after this copy goes.
    sound = new Sound(ring, group);
    stream = new Stream{Ended, 0, sound, decoder};
    stream->state = Streaming;
    if (sound->state != Sound::Idle) {
        sound->Release();
    }
    sound->pending = 0;
    decoder->Rewind();
    stream->writePosition = 0;
    return true;
}

uint32_t MusicPlayer::NextTrack() {
    const auto count = static_cast<uint32_t>(tracks.size());
    if (count == 0) {
        return 0;
    }
    if (!shuffle) {
        return (currentTrack + 1) % count;
    }
    if (shuffleOrder.size() != count || shuffleCursor >= count) {
        shuffleOrder.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            shuffleOrder[i] = i;
        }
        Base::Random::SeedFromTimeStamp();
        for (uint32_t i = 1; i < count; ++i) {
            std::swap(shuffleOrder[i], shuffleOrder[Base::Random::NextUInt32() % (i + 1)]);
        }
        shuffleCursor = 0;
    }
    return shuffleOrder[shuffleCursor++];
}

void MusicPlayer::Update() {
    if (playsRemaining == 0) {
        return;
    }
    const auto count = static_cast<uint32_t>(tracks.size());
    if (!stream && !startFailed) {
        startFailed = !PlayTrack(currentTrack);
        return;
    }
    if (!stream || stream->state == Ended) {
        if (stream && playsRemaining != -1 && --playsRemaining == 0) {
            Stop();
            return;
        }
        startFailed = false;
        bool started = false;
        for (uint32_t attempt = 0; attempt < count && !started; ++attempt) {
            started = PlayTrack(NextTrack());
        }
        if (!started) {
            Halt();
            return;
        }
    }
    sound->volume = volume;
    Refill();
}

void MusicPlayer::Refill() {
    if (stream->state != Streaming || !sound->buffer) {
        return;
    }
    const uint32_t size = sound->size;
    const uint32_t cursor = sound->pending != Sound::NoPosition ? sound->pending : sound->position;
    int64_t free = int64_t(cursor) - int64_t(stream->writePosition);
    if (free < 1) {
        free += size;
    }
    const auto wanted = static_cast<uint32_t>(free - 1); // one byte always stays unwritten

    if (stream->draining) {
        stream->leftToPlay -= (int64_t(cursor) - stream->lastCursor + size) % size;
        stream->lastCursor = cursor;
        if (stream->leftToPlay <= 0) {
            stream->state = Ended;
            sound->Release();
            return;
        }
    }

    uint32_t got = 0;
    if (wanted >= decoder->blockAlign) {
        if (scratch.size() < wanted) {
            scratch.resize(wanted);
        }
        if (stream->draining) {
            got = wanted - wanted % decoder->blockAlign;
            std::memset(scratch.data(), decoder->bitsPerSample == 8 ? 0x80 : 0, got);
        } else {
            got = decoder->Read(scratch.data(), wanted);
            if (decoder->status != Decoder::Open || got == 0) {
                // The last bytes still go in; the track ends when they have been heard.
                stream->draining = true;
                stream->lastCursor = cursor;
                stream->leftToPlay = (int64_t(stream->writePosition) + got - cursor + size) % size;
            }
        }
    }
    if (got > 0) {
        void *first = nullptr, *second = nullptr;
        DWORD firstBytes = 0, secondBytes = 0;
        if (SUCCEEDED(sound->buffer->Lock(stream->writePosition, got, &first, &firstBytes, &second,
                                          &secondBytes, 0))) {
            std::memcpy(first, scratch.data(), firstBytes);
            if (second && secondBytes) {
                std::memcpy(second, scratch.data() + firstBytes, secondBytes);
            }
            sound->buffer->Unlock(first, firstBytes, second, secondBytes);
            stream->writePosition = secondBytes ? secondBytes : (stream->writePosition + firstBytes) % size;
        }
    }
    if (sound->state != Sound::Playing) {
        sound->state = Sound::PlayRequested;
        sound->loop = 1;
        sound->autoDelete = 0;
    }
}

} // namespace Audio
