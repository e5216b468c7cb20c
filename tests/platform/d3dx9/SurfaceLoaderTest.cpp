#include "tests/platform/d3d9/DeviceFixture.h"

#include <d3dx9.h>

#include <cstring>
#include <random>

TEST_F(DeviceTest, LoadSurfaceFromMemoryFillsEachDxt1Level) {
    // The streamed-texture cache: all levels of a 16 x 16 DXT1 texture, one after another in one buffer.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 16, 16, 0, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 5u);
    std::mt19937 random(3);
    std::vector<unsigned char> buffer(128 + 32 + 8 + 8 + 8);
    for (auto& b : buffer)
        b = static_cast<unsigned char>(random());
    size_t offset = 0;
    for (UINT level = 0; level < 5; ++level) {
        UINT side = 16 >> level;
        UINT pitch = ((side + 3) / 4) * 8;
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(texture->GetSurfaceLevel(level, &surface), D3D_OK);
        RECT rect{0, 0, LONG(side), LONG(side)};
        ASSERT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, buffer.data() + offset, D3DFMT_DXT1,
                                            pitch, nullptr, &rect, D3DX_FILTER_NONE, 0),
                  D3D_OK);
        surface->Release();
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        UINT rows = (side + 3) / 4;
        for (UINT row = 0; row < rows; ++row)
            EXPECT_EQ(std::memcmp(static_cast<char*>(locked.pBits) + row * locked.Pitch,
                                  buffer.data() + offset + row * pitch, pitch),
                      0)
                << "level " << level << " row " << row;
        texture->UnlockRect(level);
        offset += size_t(pitch) * rows;
    }
    EXPECT_EQ(offset, buffer.size());
    texture->Release();
}

TEST_F(DeviceTest, LoadSurfaceFromMemoryConvertsArgbTo565) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTexture(device, 2, 1, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture), D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    texture->GetSurfaceLevel(0, &surface);
    const uint32_t pixels[2] = {0xFFFF0000, 0xFF00FF00};
    RECT rect{0, 0, 2, 1};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(surface, nullptr, nullptr, pixels, D3DFMT_A8R8G8B8, 8, nullptr, &rect,
                                        D3DX_FILTER_NONE, 0),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    uint16_t got[2];
    std::memcpy(got, locked.pBits, 4);
    surface->UnlockRect();
    EXPECT_EQ(got[0], 0xF800);
    EXPECT_EQ(got[1], 0x07E0);
    surface->Release();
    texture->Release();
}
