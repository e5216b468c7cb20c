// Any text gives a tree or an error with an empty tree; a tree the writer accepts reads back the same.
#include "base/Info.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool Same(const Base::Info& a, const Base::Info& b) {
    if (a.Value() != b.Value() || a.IsReference() != b.IsReference() ||
        a.GetChildren().size() != b.GetChildren().size())
        return false;
    auto i = a.GetChildren().begin();
    auto j = b.GetChildren().begin();
    for (; i != a.GetChildren().end(); ++i, ++j)
        if (i->first != j->first || !Same(*i->second, *j->second))
            return false;
    return true;
}

// Includes are looked up in a directory that does not exist, so every one of them fails the same way.
constexpr std::string_view NoDirectory = "\\corvane-fuzz-no-such-directory";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Base::Info tree;
    int result = tree.LoadText(text, NoDirectory);
    if (Base::Info::IncludeDepth != 0)
        std::abort();
    if (result != 0) {
        if (result < 0 || !tree.GetChildren().empty())
            std::abort();
        return 0;
    }
    for (const auto& entry : tree.GetChildren()) {
        // Resolving every top-level value walks references, loops included.
        (void)entry.second->GetValue();
    }
    Base::String saved;
    if (!tree.SaveText(saved))
        return 0;
    Base::Info back;
    if (back.LoadText(saved, NoDirectory) != 0 || !Same(tree, back))
        std::abort();
    return 0;
}
