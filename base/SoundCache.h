// Decoded sounds by file name, read once per run; a failed load is kept as null so it is not retried.
// The buffers are the audio layer's: it fills the cache and installs the routine that deletes them.
#pragma once

#include "base/String.h"

#include <map>

namespace Audio {
class Buffer;
}

namespace Base {

class SoundCache {
public:
    static String Directory; // "SoundsDir"
    static std::map<String, Audio::Buffer*> Entries;
    // Deletes one buffer (through its virtual destructor); set by the audio layer.
    static void (*DeleteBuffer)(Audio::Buffer* buffer);

    // Deletes every buffer and empties the map, which stays usable.
    static void Clear();
};

} // namespace Base
