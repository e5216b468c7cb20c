// The common part of the name-keyed resource caches: one owned pointer per name, read once per run. A failed
// load is kept as null, so a missing file is tried only once until the cache is cleared.
#pragma once

#include "base/String.h"

#include <map>
#include <string_view>

namespace Base {

template <class T> using NamedEntries = std::map<String, T*, std::less<>>;

// Says on stderr that the file of a resource (kind: "model", "font", ...) could not be loaded.
void ReportFailedLoad(const char* kind, std::string_view path);

// The cached value of name; on a miss, load(MakePath(directory, name)) and keep what it gives. A failed
// load of a kind is said once, as the failure is kept: a missing file does not leave a hole in the scene
// unexplained.
template <class T, class Load>
T* FindOrLoad(NamedEntries<T>& entries, std::string_view directory, std::string_view name, Load&& load,
              const char* kind = nullptr) {
    auto found = entries.find(name);
    if (found != entries.end()) {
        return found->second;
    }
    const String path = MakePath(directory, name);
    T* value = load(path);
    if (!value && kind) {
        ReportFailedLoad(kind, path);
    }
    entries.emplace(String(name), value);
    return value;
}

// Frees every value and empties the map, which stays usable.
template <class T, class Free> void ClearEntries(NamedEntries<T>& entries, Free&& free) {
    for (auto& entry : entries) {
        if (entry.second) {
            free(entry.second);
        }
    }
    entries.clear();
}

} // namespace Base
