// Any bytes as two *.info files that may include each other (or themselves): "a.info" up to the first NUL,
// "b.info" after it, read from a directory of this process. Includes resolve, loop until the depth limit, or
// fail; either way the include depth is back to 0 and a failed read leaves an empty tree.
#include "base/Info.h"
#include "fuzz/support/Scratch.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Write(const std::string& path, std::string_view text) {
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir =
        FuzzSupport::ScratchDirectory().substr(0, FuzzSupport::ScratchDirectory().size() - 1);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t split = text.find('\0');
    Write(dir + "/a.info", text.substr(0, split));
    Write(dir + "/b.info", split == std::string_view::npos ? std::string_view() : text.substr(split + 1));
    Base::Info tree;
    const int result = tree.LoadFile(dir + "/a.info");
    if (Base::Info::IncludeDepth != 0)
        std::abort();
    if (result != 0 && !tree.GetChildren().empty())
        std::abort();
    for (const auto& entry : tree.GetChildren())
        (void)entry.second->GetValue();
    return 0;
}
