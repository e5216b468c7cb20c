// Which resource caches have their loader. The loaders belong to the layers above (fonts to the GUI, models
// to the scene, animations to the animation layer, sounds to audio), which install them at start-up; a cache
// without one answers null for every name. That is an error, said once per cache and by name, so that a
// layer that forgot its loader is seen instead of every model or sound silently missing.
#pragma once

#include <string>
#include <vector>

namespace Base {

// The caches ("font", "model", "animation", "sound") whose loader is not installed, in that order.
std::vector<std::string> CachesWithoutLoader();

// Says once per run, on stderr, that the named cache has no loader. True when this call said it.
bool ReportMissingLoader(const std::string& cache);

} // namespace Base
