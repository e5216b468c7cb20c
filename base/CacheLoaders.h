// Which resource caches have their loader. The loaders belong to the layers above (fonts to the GUI, models
// to the scene, animations to the animation layer, sounds to audio), which install them at start-up; a cache
// without one answers null for every name. That is an error, said once per cache and by name, so that a
// layer that forgot its loader is seen instead of every model or sound silently missing. Hooks are kept the
// same way.
#pragma once

#include <string>
#include <vector>

namespace Base {

// The caches ("font", "model", "animation", "sound") whose loader is not installed, in that order.
std::vector<std::string> CachesWithoutLoader();

// Says once per run, on stderr, that the named cache has no loader. True when this call said it.
bool ReportMissingLoader(const std::string& cache);

// The same for hooks that a lower layer calls and a higher one installs at start-up (a drawing routine, a
// factory): the lower layer registers each, by name, with a test of whether it is installed.
struct HookRegistration {
    HookRegistration(const char* name, bool (*installed)());
};
// The registered hooks that are not installed, by name.
std::vector<std::string> HooksNotInstalled();
// Says once per run, on stderr, that the named hook is not installed. True when this call said it.
bool ReportMissingHook(const std::string& hook);

} // namespace Base
