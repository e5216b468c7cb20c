// Sounds by file name: decoded once into the sound cache, then played as copies in a group.
#pragma once

#include "base/String.h"

namespace Audio {

class Sound;
class Sound3d;
class SoundGroup;

// A new idle sound in group, or null when the file is missing or cannot be decoded (not retried).
// deleteWhenStopped sets the auto-delete flag.
// The sound cache's decoder and deleter; installed at start-up (and by the first sound made).
void InstallSoundCache();

Sound* CreateSound(const Base::String& name, SoundGroup* group, bool deleteWhenStopped = false);
Sound3d* CreateSound3d(const Base::String& name, SoundGroup* group, bool deleteWhenStopped = false);

} // namespace Audio
