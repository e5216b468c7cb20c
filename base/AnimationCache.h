// Animations by file name, read once per run and shared. Animations are the engine's: the layer above
// installs the reader and the destroyer at start-up; until then Get gives null, remembers nothing and says so
// once (CacheLoaders.h).
#pragma once

#include "base/NamedCache.h"

struct RtAnimAnimation;

namespace Base {

class AnimationCache {
public:
    static String Directory; // "AnimationsDir"
    static NamedEntries<RtAnimAnimation> Entries;
    static RtAnimAnimation* (*Read)(const String& path);
    static void (*Destroy)(RtAnimAnimation* animation);

    static RtAnimAnimation* Get(std::string_view name);
    static void Clear();
};

} // namespace Base
