// Parsed *.info files by path, read once per run and shared.
#pragma once

#include "base/NamedCache.h"

namespace Base {

class Info;

class InfoCache {
public:
    static String Directory; // never assigned: paths are used as given
    static NamedEntries<Info> Entries;

    // The cached tree; for a file that cannot be read, one shared empty node that is never freed.
    static const Info& Get(std::string_view path);
    // Forgets the file so that the next Get reads it again; false when it was not cached.
    static bool Remove(std::string_view path);
    static void Clear();
};

} // namespace Base
