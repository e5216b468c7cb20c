// Arbitrary bytes as the image files of a texture read: an image, its mask and a level-1 mip file, read as
// BMP files on a started Direct3D 9 device through the engine's texture read (mask merge, palettising, sizing
// to the raster, mip-level files). The first byte chooses mipmapping and whether a mask is named.
#include "fuzz/support/DeviceFuzz.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/texread.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/tool/bmp/rtbmp.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {

bool Prepare() {
    if (!DeviceFuzz::Start() || !RwImageRegisterImageFormat("bmp", RtBMPImageRead, RtBMPImageWrite))
        return false;
    // The engine's paths are written with '\\'.
    std::string path = DeviceFuzz::ScratchDirectory();
    std::replace(path.begin(), path.end(), '/', '\\');
    RwImageSetPath(path.c_str());
    return true;
}

// Splits the rest of the input at "\n--\n" separators.
std::string_view Next(std::string_view& rest) {
    const size_t at = rest.find("\n--\n");
    std::string_view part = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 4);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = Prepare();
    if (!started || size < 1)
        return 0;
    const uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string& dir = DeviceFuzz::ScratchDirectory();
    for (const char* name : {"fuzz.bmp", "fuzzmask.bmp", "fuzzm1.bmp"}) {
        const std::string_view part = Next(rest);
        DeviceFuzz::WriteFile(dir + name, reinterpret_cast<const uint8_t*>(part.data()), part.size());
    }
    RwTextureSetMipmapping((flags & 1) ? TRUE : FALSE);
    RwTextureSetAutoMipmapping((flags & 2) ? TRUE : FALSE);
    if (RwTexture* texture = RwTextureRead("fuzz", (flags & 4) ? "fuzzmask" : nullptr))
        RwTextureDestroy(texture);
    DeviceFuzz::ClearError();
    return 0;
}
