// Decoded sounds by file name, read once per run; a failed load is kept as null so it is not retried.
// The buffers are the audio layer's: it installs the decoder and the routine that deletes them.
#pragma once

#include "base/NamedCache.h"

namespace Audio {
class Buffer;
}

namespace Base {

class SoundCache {
public:
    static String Directory; // "SoundsDir"
    static NamedEntries<Audio::Buffer> Entries;
    // Decodes one file; null when it cannot be read. Set by the audio layer.
    static Audio::Buffer* (*Load)(const String& path);
    // Deletes one buffer (through its virtual destructor); set by the audio layer.
    static void (*DeleteBuffer)(Audio::Buffer* buffer);

    // The shared buffer of a sound file; null (said once, CacheLoaders.h) until the audio layer has installed
    // its decoder.
    static Audio::Buffer* Get(std::string_view name);
    // Deletes every buffer and empties the map, which stays usable.
    static void Clear();
};

} // namespace Base
