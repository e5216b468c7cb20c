// The frame last drawn on the engine's Direct3D 9 device, read back through a system-memory copy of the
// render target: what the tests that check pixels compare.
#pragma once

#include "rwsdk/driver/d3d9/d3d9device.h"

#include <d3d9.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace TestSupport {

// The render target as 0xAARRGGBB rows from the top; width and height receive its size.
inline std::vector<uint32_t> ReadRenderTarget(unsigned& width, unsigned& height) {
    IDirect3DSurface9* source = nullptr;
    RwD3D9Device->GetRenderTarget(0, &source);
    D3DSURFACE_DESC desc{};
    source->GetDesc(&desc);
    IDirect3DSurface9* copy = nullptr;
    EXPECT_EQ(RwD3D9Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                        D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    EXPECT_EQ(RwD3D9Device->GetRenderTargetData(source, copy), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint32_t> pixels;
    for (unsigned y = 0; y < desc.Height; ++y) {
        auto* row =
            reinterpret_cast<const uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch);
        pixels.insert(pixels.end(), row, row + desc.Width);
    }
    copy->UnlockRect();
    copy->Release();
    source->Release();
    width = desc.Width;
    height = desc.Height;
    return pixels;
}

inline std::vector<uint32_t> ReadRenderTarget() {
    unsigned width = 0, height = 0;
    return ReadRenderTarget(width, height);
}

} // namespace TestSupport
