// The sound device: the DirectSound object and its primary buffer, or nothing when sound could not start.
#pragma once

#include <dsound.h>

namespace Audio {

extern IDirectSound8* DirectSound; // null while there is no sound
extern IDirectSoundBuffer* PrimaryBuffer;

// device: null for the default output. False (and silence, with every sound still keeping its states)
// when any step fails.
bool StartDirectSound(LPCGUID device, HWND window);
// Releases the primary buffer and the device; sounds that still exist keep their buffers.
void StopDirectSound();

} // namespace Audio
