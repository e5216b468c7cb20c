#include "audio/Sound.h"

#include "audio/SoundGroup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Audio {

int32_t VolumeFromGain(float gain) {
    gain = std::clamp(gain, 1e-9f, 1.0f);
    const float t = std::clamp(-0.2f * std::log10(gain), 0.0f, 1.0f);
    return static_cast<int32_t>(std::lround((1.0f - t) * 10000.0f - 10000.0f));
}

void SetControls(IDirectSoundBuffer* buffer, int32_t volume, int32_t pan, int32_t frequency) {
    LONG currentPan = 0, currentVolume = 0;
    DWORD currentFrequency = 0;
    buffer->GetPan(&currentPan);
    buffer->GetVolume(&currentVolume);
    buffer->GetFrequency(&currentFrequency);
    if (std::abs(pan - currentPan) > 10) {
        buffer->SetPan(pan);
    }
    if (std::abs(volume - currentVolume) > 10) {
        buffer->SetVolume(volume);
    }
    if (std::abs(frequency - static_cast<int32_t>(currentFrequency)) > 10) {
        buffer->SetFrequency(static_cast<DWORD>(frequency));
    }
}

void Sound::Update(float elapsed) {
    if ((state == PlayRequested || state == Playing) && buffer) {
        const int32_t newVolume = VolumeFromGain(group->volume * volume);
        const auto newPan = static_cast<int32_t>(std::lround(std::clamp(pan, -1.0f, 1.0f) * 10000.0f));
        const auto newFrequency = static_cast<int32_t>(std::lround(rate * frequencyFactor));
        SetControls(buffer, newVolume, newPan, newFrequency);
    }
    BasicSound::Update(elapsed, false);
}

} // namespace Audio
