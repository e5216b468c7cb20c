#include "audio/BasicSound.h"

#include "audio/SoundGroup.h"

#include <cmath>

namespace Audio {

BasicSound::BasicSound(const Buffer& buffer, SoundGroup* group) : Buffer(buffer), group(group) {
    link = group->sounds.insert(group->sounds.end(), this);
}

BasicSound::~BasicSound() {
    group->sounds.erase(link);
}

void BasicSound::Release() {
    if (state == Idle) {
        return;
    }
    state = Finished;
    if (autoDelete) {
        delete this;
    }
}

void BasicSound::Update(float elapsed, bool hold) {
    if (!buffer) {
        return;
    }
    const uint32_t block = BlockSize();
    if (pending != NoPosition) {
        uint32_t at = pending - pending % block;
        if (at > size) {
            at = size;
        }
        buffer->SetCurrentPosition(at);
        position = at;
        pending = NoPosition;
    }
    DWORD status = 0;
    buffer->GetStatus(&status);
    const bool playing = (status & DSBSTATUS_PLAYING) != 0;
    if (state == Playing && !playing && !held) {
        state = Finished;
    }
    if (state == PlayRequested) {
        state = Playing;
    } else if (state == Finished) {
        if (autoDelete) {
            delete this;
            return;
        }
        state = Idle;
    }
    if (!hold && !group->paused) {
        if (state == Idle && playing) {
            buffer->Stop();
        } else if (state == Playing && !playing) {
            // Coming back from a hold the buffer plays on from where it stopped: a paused voice loses
            // nothing. The virtual position only decided whether the sound ended meanwhile.
            buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
        }
        DWORD play = 0;
        buffer->GetCurrentPosition(&play, nullptr);
        position = play;
        held = 0;
        return;
    }
    if (playing && !held) {
        buffer->Stop();
    }
    // Out of range, time goes on: the sound may end unheard. A paused group stops time for its sounds, so
    // that a voice message is still there to hear after the pause.
    if (state == Playing && !group->paused) {
        // The virtual position keeps time in whole blocks. A long hold is taken in 64 bits.
        const double bytes = std::round(double(bits) / 8 * rate * channels * elapsed);
        uint64_t advance = bytes > 0 ? (bytes < 1e18 ? static_cast<uint64_t>(bytes) : uint64_t(1e18)) : 0;
        advance -= advance % block;
        const uint64_t at = uint64_t(position) + advance;
        if (at >= size) {
            if (loop) {
                position = static_cast<uint32_t>(at % size);
            } else {
                position = 0;
                state = Idle;
            }
        } else {
            position = static_cast<uint32_t>(at);
        }
    }
    held = 1;
}

} // namespace Audio
