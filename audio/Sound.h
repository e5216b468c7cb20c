// A 2D sound: volume, pan and pitch set by its owner.
#pragma once

#include "audio/BasicSound.h"

namespace Audio {

class Sound : public BasicSound {
public:
    using BasicSound::BasicSound;
    void Update(float elapsed) override;

    float volume = 1.0f;
    float frequencyFactor = 1.0f;
    float pan = 0.0f; // -1 left to 1 right
};

// Hundredths of a decibel for a linear gain, floored at 1e-9 (-10000).
int32_t VolumeFromGain(float gain);
// Writes a control only when it moved by more than 10 units, to spare the device small changes.
void SetControls(IDirectSoundBuffer* buffer, int32_t volume, int32_t pan, int32_t frequency);

} // namespace Audio
