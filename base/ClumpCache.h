// Model clumps by file name: the first Get reads the master copy, every Get hands out a new clone that the
// caller destroys. Clumps are the engine's: the scene layer installs the reader, the cloner and the
// destroyer at start-up; until then Get gives null, remembers nothing and says so once (CacheLoaders.h).
#pragma once

#include "base/NamedCache.h"

struct RpClump;

namespace Base {

class ClumpCache {
public:
    static String Directory;              // "ModelsDir"
    static NamedEntries<RpClump> Entries; // the masters
    static RpClump* (*Read)(const String& path);
    static RpClump* (*Clone)(RpClump* master);
    static void (*Destroy)(RpClump* clump);

    // A new clone of the master, or null when the file gave no clump.
    static RpClump* Get(std::string_view name);
    static void Clear();
};

} // namespace Base
