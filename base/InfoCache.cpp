#include "base/InfoCache.h"

#include "base/Info.h"

namespace Base {

String InfoCache::Directory;
NamedEntries<Info> InfoCache::Entries;

const Info& InfoCache::Get(std::string_view path) {
    static const Info* const empty = new Info;
    Info* tree = FindOrLoad(Entries, Directory, path, [](const String& file) {
        auto* info = new Info;
        if (info->LoadFile(file) != 0) {
            delete info;
            return static_cast<Info*>(nullptr);
        }
        return info;
    });
    return tree ? *tree : *empty;
}

bool InfoCache::Remove(std::string_view path) {
    auto found = Entries.find(path);
    if (found == Entries.end()) {
        return false;
    }
    delete found->second;
    Entries.erase(found);
    return true;
}

void InfoCache::Clear() {
    ClearEntries(Entries, [](Info* info) { delete info; });
}

} // namespace Base
