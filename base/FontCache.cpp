#include "base/FontCache.h"

#include "base/CacheLoaders.h"
#include "base/InfoCache.h"

namespace Base {

String FontCache::Directory;
NamedEntries<Gui::Font> FontCache::Entries;
Gui::Font* (*FontCache::Load)(const Info& description) = nullptr;
void (*FontCache::Delete)(Gui::Font* font) = nullptr;

Gui::Font* FontCache::Get(std::string_view name) {
    if (!Load) {
        ReportMissingLoader("font");
        return nullptr;
    }
    return FindOrLoad(
        Entries, Directory, name, [](const String& path) { return Load(InfoCache::Get(path)); }, "font");
}

void FontCache::Clear() {
    ClearEntries(Entries, [](Gui::Font* font) {
        if (Delete) {
            Delete(font);
        }
    });
}

} // namespace Base
