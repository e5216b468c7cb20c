#include "scene/LoadTexture.h"

#include "base/String.h"
#include "rwsdk/src/texread.h"
#include "rwsdk/src/texture.h"

namespace Rw {

RwTexture* LoadTexture(const char* name, int addressing, int filter) {
    const Base::String textureName = Base::MakePath(Base::GetDirectory(name), Base::GetFileTitle(name), "");
    RwTexture* texture = RwTextureRead(textureName.c_str(), nullptr);
    if (!texture)
        return nullptr;
    RwTextureSetFilterMode(texture, RwTextureFilterMode(filter));
    RwTextureSetAddressing(texture, RwTextureAddressMode(addressing & 0xF));
    return texture;
}

} // namespace Rw
