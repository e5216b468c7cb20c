// Fonts by file name, read once per run and shared. The font type belongs to the GUI layer, which installs
// the reader and the deleter at start-up; until then Get gives null, remembers nothing and says so once
// (CacheLoaders.h).
#pragma once

#include "base/NamedCache.h"

namespace Gui {
class Font;
}

namespace Base {

class Info;

class FontCache {
public:
    static String Directory; // "FontsDir"
    static NamedEntries<Gui::Font> Entries;
    // Builds a font from the *.font description (an empty node when the file is missing); null on failure.
    static Gui::Font* (*Load)(const Info& description);
    static void (*Delete)(Gui::Font* font);

    static Gui::Font* Get(std::string_view name);
    static void Clear();
};

} // namespace Base
