#include "base/CacheLoaders.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/NamedCache.h"
#include "base/SoundCache.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace Base {

std::vector<std::string> CachesWithoutLoader() {
    std::vector<std::string> missing;
    if (!FontCache::Load)
        missing.push_back("font");
    if (!ClumpCache::Read || !ClumpCache::Clone)
        missing.push_back("model");
    if (!AnimationCache::Read)
        missing.push_back("animation");
    if (!SoundCache::Load)
        missing.push_back("sound");
    return missing;
}

bool ReportMissingLoader(const std::string& cache) {
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> hold(lock);
    if (!told.insert(cache).second)
        return false;
    std::fprintf(stderr, "The %s cache has no loader installed: every %s asked for reads as missing.\n",
                 cache.c_str(), cache.c_str());
    return true;
}

void ReportFailedLoad(const char* kind, std::string_view path) {
    std::fprintf(stderr, "Cannot load the %s '%s'.\n", kind, Clip(path).c_str());
}

} // namespace Base
