#include "base/CacheLoaders.h"

#include "base/AnimationCache.h"
#include "base/ClumpCache.h"
#include "base/FontCache.h"
#include "base/NamedCache.h"
#include "base/SoundCache.h"

#include <algorithm>
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

namespace {

// Filled while the program's static objects are made, before any thread runs.
std::vector<std::pair<std::string, bool (*)()>>& Hooks() {
    static std::vector<std::pair<std::string, bool (*)()>> hooks;
    return hooks;
}

} // namespace

HookRegistration::HookRegistration(const char* name, bool (*installed)()) {
    Hooks().emplace_back(name, installed);
}

std::vector<std::string> HooksNotInstalled() {
    std::vector<std::string> missing;
    for (const auto& [name, installed] : Hooks())
        if (!installed())
            missing.push_back(name);
    std::sort(missing.begin(), missing.end());
    return missing;
}

bool ReportMissingHook(const std::string& hook) {
    static std::mutex lock;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> hold(lock);
    if (!told.insert(hook).second)
        return false;
    std::fprintf(stderr, "The hook %s is not installed: what calls it does nothing.\n", hook.c_str());
    return true;
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
