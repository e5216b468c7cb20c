// The common part of the name-keyed resource caches: one owned pointer per name, read once per run. A failed
// load is kept as null, so a missing file is tried only once until the cache is cleared.
#pragma once

#include "base/String.h"

#include <map>
#include <string_view>

namespace Base {

template <class T> using NamedEntries = std::map<String, T*, std::less<>>;

// The cached value of name; on a miss, load(MakePath(directory, name)) and keep what it gives.
template <class T, class Load>
T* FindOrLoad(NamedEntries<T>& entries, std::string_view directory, std::string_view name, Load&& load) {
    auto found = entries.find(name);
    if (found != entries.end()) {
        return found->second;
    }
    T* value = load(MakePath(directory, name));
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
