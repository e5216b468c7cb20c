#include "platform/d3d9/Shader.h"

#include <atomic>

namespace D3D9 {

uint64_t NextShaderId() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

size_t ShaderTokenCount(const DWORD* function) {
    if (!function)
        return 0;
    size_t i = 1; // the version token
    for (;;) {
        DWORD token = function[i];
        if (token == 0x0000FFFF)
            return i + 1;
        if ((token & 0xFFFF) == 0xFFFE) {
            i += 1 + ((token >> 16) & 0x7FFF); // a comment and its data
            continue;
        }
        ++i;
    }
}

} // namespace D3D9
