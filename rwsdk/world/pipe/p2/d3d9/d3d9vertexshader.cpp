#include "rwsdk/world/pipe/p2/d3d9/d3d9vertexshader.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"

#include <d3d9.h>

#include <vector>

namespace {

// Nothing in the game adds to it yet; it is kept so that what is added is released with the pipelines.
std::vector<void*> cache;

constexpr DWORD NormalisedTypes =
    D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N;

} // namespace

RwBool RpD3D9VertexShadersOpen() {
    cache.clear();
    D3DCAPS9& caps = rwD3D9State.caps;
    if (D3DSHADER_VERSION_MAJOR(caps.VertexShaderVersion) == 1)
        caps.DeclTypes &= ~NormalisedTypes;
    return TRUE;
}

void RpD3D9VertexShadersClose() {
    for (void* shader : cache)
        RwD3D9DeleteShader(shader);
    cache.clear();
}
