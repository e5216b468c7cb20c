// Textures, render targets and buffers: what is written comes back, in the right place.
#include "DeviceFixture.h"

#include "platform/d3d9/Blocks.h"
#include "platform/d3d9/TextureImage.h"

#include <squish.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace {

struct TexturedVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD TexturedFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class TextureTest : public DeviceTest {
protected:
    // A quad whose pixel centres sample the texel centres one to one (Direct3D's half-pixel rule).
    void TexturedRect(float left, float top, float width, float height) {
        float l = left - 0.5f, t = top - 0.5f, r = l + width, b = t + height;
        TexturedVertex v[4] = {{l, t, 0.5f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f},
                               {r, t, 0.5f, 1.0f, 0xFFFFFFFF, 1.0f, 0.0f},
                               {l, b, 0.5f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f},
                               {r, b, 0.5f, 1.0f, 0xFFFFFFFF, 1.0f, 1.0f}};
        device->SetFVF(TexturedFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]), D3D_OK);
    }
    void SampleTexture(IDirect3DBaseTexture9* texture) {
        Unlit();
        device->SetTexture(0, texture);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    }
};

} // namespace

TEST_F(TextureTest, PointSampledQuadReturnsExactTexels) {
    struct Case {
        D3DFORMAT format;
        unsigned bytes;
        uint32_t texel;
        uint32_t argb;
    } cases[] = {
        {D3DFMT_A8R8G8B8, 4, 0x80C04020, 0x80C04020}, {D3DFMT_X8R8G8B8, 4, 0x00C04020, 0xFFC04020},
        {D3DFMT_A8B8G8R8, 4, 0x80C04020, 0x802040C0}, {D3DFMT_R5G6B5, 2, 0xF81F, 0xFFFF00FF},
        {D3DFMT_A1R5G5B5, 2, 0x83E0, 0xFF00FF00},     {D3DFMT_X1R5G5B5, 2, 0x001F, 0xFF0000FF},
        {D3DFMT_A4R4G4B4, 2, 0x5F0A, 0x55FF00AA},     {D3DFMT_L8, 1, 0x7E, 0xFF7E7E7E},
        {D3DFMT_A8L8, 2, 0x407E, 0x407E7E7E},         {D3DFMT_A8, 1, 0x99, 0x99000000},
        {D3DFMT_A8R3G3B2, 2, 0x80E7, 0x80FF24FF}, // R 7, G 1, B 3
        {D3DFMT_A4L4, 1, 0x5A, 0x55AAAAAA},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        // An 8 x 8 texture: the case's texel on the diagonal, random texels elsewhere for the 32-bit formats.
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, c.format, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        std::vector<uint32_t> texels(64);
        for (unsigned y = 0; y < 8; ++y)
            for (unsigned x = 0; x < 8; ++x) {
                uint32_t value = x == y || c.bytes != 4 || c.format != D3DFMT_A8R8G8B8 ? c.texel : random();
                texels[y * 8 + x] = value;
                std::memcpy(static_cast<char*>(locked.pBits) + y * locked.Pitch + x * c.bytes, &value,
                            c.bytes);
            }
        ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
        SampleTexture(texture);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        TexturedRect(16, 8, 8, 8);
        Pixels p = ReadTarget();
        for (unsigned y = 0; y < 8; ++y)
            for (unsigned x = 0; x < 8; ++x) {
                uint32_t want = c.format == D3DFMT_A8R8G8B8 ? texels[y * 8 + x] : c.argb;
                ASSERT_EQ(p.At(16 + x, 8 + y), want) << "format " << c.format << " texel " << x << "," << y;
            }
        EXPECT_EQ(p.At(15, 8), 0xFF000000u);
        EXPECT_EQ(p.At(24, 15), 0xFF000000u);
        device->SetTexture(0, nullptr);
        texture->Release();
    }
}

// Random blocks of a format, both DXT1 block modes included (colour0 > colour1 and not).
std::vector<unsigned char> RandomBlocks(D3DFORMAT format, size_t count, uint32_t seed) {
    const size_t size = format == D3DFMT_DXT1 ? 8 : 16;
    std::mt19937 random(seed);
    std::vector<unsigned char> blocks(count * size);
    for (auto& byte : blocks)
        byte = static_cast<unsigned char>(random());
    unsigned char* colour = blocks.data() + (size - 8);
    colour[0] = 0x00, colour[1] = 0x10, colour[2] = 0xFF, colour[3] = 0xFF; // colour0 < colour1
    return blocks;
}

struct BlockFormat {
    D3DFORMAT format;
    int squishFlags;
};
const BlockFormat blockFormats[] = {
    {D3DFMT_DXT1, squish::kDxt1}, {D3DFMT_DXT3, squish::kDxt3}, {D3DFMT_DXT5, squish::kDxt5}};

TEST(BlockDecode, MatchesLibsquish) {
    // 12 x 12 pixels, and 6 x 2 for a level that ends inside its blocks.
    for (const BlockFormat& f : blockFormats)
        for (const auto& [width, height] : {std::pair{12u, 12u}, std::pair{6u, 2u}}) {
            const size_t count = size_t((width + 3) / 4) * ((height + 3) / 4);
            const std::vector<unsigned char> blocks = RandomBlocks(f.format, count, 5);
            std::vector<unsigned char> ours(size_t(width) * height * 4), want(ours.size());
            ASSERT_TRUE(D3D9::DecodeBlocks(f.format, blocks.data(), width, height, ours.data()));
            squish::DecompressImage(want.data(), int(width), int(height), blocks.data(), f.squishFlags);
            EXPECT_EQ(ours, want) << "format " << f.format << ", " << width << " x " << height;
        }
    unsigned char pixel[4];
    EXPECT_FALSE(D3D9::DecodeBlocks(D3DFMT_A8R8G8B8, pixel, 1, 1, pixel));
}

TEST_F(TextureTest, CompressedTexturesMatchTheirDecodedTexels) {
    // Stored decoded (as on the software rasteriser) and as GL's own compressed formats: the same texels.
    // Put back however the test ends: later tests in the process draw with it.
    struct Restore {
        const bool atStart = D3D9::TextureImage::DecodesCompressed();
        ~Restore() { D3D9::TextureImage::DecodeCompressed(atStart); }
    } restore;
    for (const bool decoded : {true, false})
        for (const BlockFormat& f : blockFormats) {
            SCOPED_TRACE(testing::Message() << "format " << f.format << (decoded ? ", decoded" : ", by GL"));
            D3D9::TextureImage::DecodeCompressed(decoded);
            const std::vector<unsigned char> blocks = RandomBlocks(f.format, 4, 11);
            const size_t rowBytes = blocks.size() / 2;
            IDirect3DTexture9* texture = nullptr;
            ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, f.format, D3DPOOL_MANAGED, &texture, nullptr),
                      D3D_OK);
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
            EXPECT_EQ(size_t(locked.Pitch), rowBytes);
            for (size_t row = 0; row < 2; ++row)
                std::memcpy(static_cast<char*>(locked.pBits) + row * size_t(locked.Pitch),
                            blocks.data() + row * rowBytes, rowBytes);
            texture->UnlockRect(0);
            unsigned char rgba[8 * 8 * 4];
            squish::DecompressImage(rgba, 8, 8, blocks.data(), f.squishFlags);
            SampleTexture(texture);
            device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00000000, 1.0f, 0);
            TexturedRect(0, 0, 8, 8);
            Pixels p = ReadTarget();
            for (unsigned y = 0; y < 8; ++y)
                for (unsigned x = 0; x < 8; ++x) {
                    const unsigned char* want = rgba + (y * 8 + x) * 4;
                    uint32_t got = p.At(x, y);
                    EXPECT_NEAR(Red(got), want[0], 1) << x << "," << y;
                    EXPECT_NEAR(Green(got), want[1], 1) << x << "," << y;
                    EXPECT_NEAR(Blue(got), want[2], 1) << x << "," << y;
                    EXPECT_NEAR(Alpha(got), want[3], f.format == D3DFMT_DXT1 ? 0 : 1) << x << "," << y;
                }
            device->SetTexture(0, nullptr);
            texture->Release();
        }
}

TEST_F(TextureTest, RenderTargetTextureKeepsTopRowFirst) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    &target, nullptr),
              D3D_OK);
    IDirect3DSurface9 *surface = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &surface);
    device->GetRenderTarget(0, &back);
    ASSERT_EQ(device->SetRenderTarget(0, surface), D3D_OK);
    D3DVIEWPORT9 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 16u);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    ScreenRect(0, 0, 8, 4, 0xFFFF0000);
    // Transformed and culled the same way as on the back buffer: a clockwise triangle in the bottom half.
    struct Vertex {
        float x, y, z;
        D3DCOLOR color;
    } cw[3] = {{-1, 0, 0.5f, 0xFF00FF00}, {1, 0, 0.5f, 0xFF00FF00}, {-1, -1, 0.5f, 0xFF00FF00}};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof cw[0]);
    Pixels direct = ReadTarget(surface);
    EXPECT_EQ(direct.At(1, 1), 0xFFFF0000u);
    EXPECT_EQ(direct.At(1, 12), 0xFF00FF00u);
    EXPECT_EQ(direct.At(12, 1), 0xFF000000u);

    device->SetRenderTarget(0, back);
    SampleTexture(target);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    TexturedRect(32, 32, 16, 16);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(33, 33), 0xFFFF0000u);
    EXPECT_EQ(p.At(33, 44), 0xFF00FF00u);
    EXPECT_EQ(p.At(44, 33), 0xFF000000u);
    device->SetTexture(0, nullptr);
    surface->Release();
    back->Release();
    target->Release();
}

TEST_F(TextureTest, StretchRectAndUpdateSurfaceCopyRectangles) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF101010, 1.0f, 0);
    ScreenRect(4, 4, 8, 8, 0xFFFFFF00);
    IDirect3DTexture9* copy = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &copy,
                                    nullptr),
              D3D_OK);
    IDirect3DSurface9 *back = nullptr, *level = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    copy->GetSurfaceLevel(0, &level);
    RECT from{0, 0, 8, 8};
    ASSERT_EQ(device->StretchRect(back, &from, level, nullptr, D3DTEXF_NONE), D3D_OK);
    Pixels p = ReadTarget(level);
    EXPECT_EQ(p.At(5, 5), 0xFFFFFF00u);
    EXPECT_EQ(p.At(2, 2), 0xFF101010u);

    IDirect3DSurface9* system = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    system->LockRect(&locked, nullptr, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            reinterpret_cast<uint32_t*>(static_cast<char*>(locked.pBits) + y * locked.Pitch)[x] =
                0xFF00FF00u + x;
    system->UnlockRect();
    RECT part{1, 1, 3, 3};
    POINT at{6, 0};
    ASSERT_EQ(device->UpdateSurface(system, &part, level, &at), D3D_OK);
    p = ReadTarget(level);
    EXPECT_EQ(p.At(6, 0), 0xFF00FF01u);
    EXPECT_EQ(p.At(7, 1), 0xFF00FF02u);
    EXPECT_EQ(p.At(5, 5), 0xFFFFFF00u);
    system->Release();
    level->Release();
    back->Release();
    copy->Release();
}

TEST_F(TextureTest, CubeFacesAreSampledByDirection) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const uint32_t colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACES(face), 0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                reinterpret_cast<uint32_t*>(static_cast<char*>(locked.pBits) + y * locked.Pitch)[x] =
                    colours[face];
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    }
    SampleTexture(cube);
    struct Vertex {
        float x, y, z, rhw;
        float u, v, w;
    };
    const float directions[6][3] = {{1, 0.1f, 0.2f},  {-1, 0.1f, 0.2f}, {0.1f, 1, 0.2f},
                                    {0.1f, -1, 0.2f}, {0.1f, 0.2f, 1},  {0.1f, 0.2f, -1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0));
    for (int face = 0; face < 6; ++face) {
        const float* d = directions[face];
        float l = float(face * 8), r = l + 8;
        Vertex v[4] = {{l, 0, 0.5f, 1, d[0], d[1], d[2]},
                       {r, 0, 0.5f, 1, d[0], d[1], d[2]},
                       {l, 8, 0.5f, 1, d[0], d[1], d[2]},
                       {r, 8, 0.5f, 1, d[0], d[1], d[2]}};
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    }
    Pixels p = ReadTarget();
    for (int face = 0; face < 6; ++face)
        EXPECT_EQ(p.At(unsigned(face * 8 + 4), 4), colours[face]) << "face " << face;
    device->SetTexture(0, nullptr);
    cube->Release();
}

TEST_F(TextureTest, AutomaticMipmapsFollowLevelZero) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(16, 16, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    &texture, nullptr),
              D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            reinterpret_cast<uint32_t*>(static_cast<char*>(locked.pBits) + y * locked.Pitch)[x] =
                (x + y) % 2 ? 0xFF0000FF : 0xFFFF0000;
    texture->UnlockRect(0);
    SampleTexture(texture);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    // Sixteen texels onto one pixel samples the 1 x 1 level: the average of the checkerboard.
    TexturedRect(0, 0, 1, 1);
    Pixels p = ReadTarget();
    EXPECT_NEAR(Red(p.At(0, 0)), 0x80, 1);
    EXPECT_NEAR(Blue(p.At(0, 0)), 0x80, 1);
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(TextureTest, BufferLocksKeepQueuedDrawsAndContents) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    IDirect3DVertexBuffer9* vb = nullptr;
    const UINT quad = 4 * sizeof(ScreenVertex);
    ASSERT_EQ(device->CreateVertexBuffer(2 * quad, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, ScreenFvf,
                                         D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    auto write = [&](void* at, float left, D3DCOLOR color) {
        ScreenVertex v[4] = {{left, 0, 0.5f, 1, color},
                             {left + 8, 0, 0.5f, 1, color},
                             {left, 8, 0.5f, 1, color},
                             {left + 8, 8, 0.5f, 1, color}};
        std::memcpy(at, v, sizeof v);
    };
    device->SetFVF(ScreenFvf);
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, quad, &data, D3DLOCK_DISCARD), D3D_OK);
    write(data, 0, 0xFFFF0000);
    vb->Unlock();
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    ASSERT_EQ(vb->Lock(quad, quad, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    write(data, 8, 0xFF00FF00);
    vb->Unlock();
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2);
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    write(data, 16, 0xFF0000FF);
    vb->Unlock();
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);

    // Indexed, with a base vertex: indices 0..3 of the second quad.
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(
        device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
        D3D_OK);
    ib->Lock(0, 0, &data, 0);
    const uint16_t indices[6] = {9, 9, 0, 1, 2, 3};
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();
    ASSERT_EQ(vb->Lock(quad, quad, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    write(data, 24, 0xFFFFFFFF);
    vb->Unlock();
    device->SetIndices(ib);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 4, 0, 4, 2, 2), D3D_OK);

    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(4, 4), 0xFFFF0000u);
    EXPECT_EQ(p.At(12, 4), 0xFF00FF00u);
    EXPECT_EQ(p.At(20, 4), 0xFF0000FFu);
    EXPECT_EQ(p.At(28, 4), 0xFFFFFFFFu);

    // A plain lock hands back what was written.
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    ScreenVertex first{};
    std::memcpy(&first, data, sizeof first);
    vb->Unlock();
    EXPECT_EQ(first.x, 16.0f);
    EXPECT_EQ(first.color, 0xFF0000FFu);
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 2 * quad);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    ib->Release();
    vb->Release();
}

TEST_F(TextureTest, TheDeviceHoldsAReferenceToItsIndexBuffer) {
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, ScreenFvf,
                                         D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    const ScreenVertex v[4] = {{0, 0, 0.5f, 1, 0xFF00FF00},
                               {8, 0, 0.5f, 1, 0xFF00FF00},
                               {0, 8, 0.5f, 1, 0xFF00FF00},
                               {8, 8, 0.5f, 1, 0xFF00FF00}};
    std::memcpy(data, v, sizeof v);
    vb->Unlock();
    auto makeIndices = [&] {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(
            device->CreateIndexBuffer(8, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
            D3D_OK);
        ib->Lock(0, 0, &data, 0);
        const uint16_t indices[4] = {0, 1, 2, 3};
        std::memcpy(data, indices, sizeof indices);
        ib->Unlock();
        return ib;
    };
    IDirect3DIndexBuffer9* ib = makeIndices();
    device->SetFVF(ScreenFvf);
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    device->SetIndices(ib);
    EXPECT_EQ(ib->Release(), 1u) << "the device's reference is left";
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(ReadTarget().At(4, 4), 0xFF00FF00u) << "drawn from the buffer the caller released";

    // Unset, or replaced by another, the device lets go of it: the caller's reference is then the last.
    ib->AddRef();
    device->SetIndices(nullptr);
    EXPECT_EQ(ib->Release(), 0u);
    ib = makeIndices();
    device->SetIndices(ib);
    ib->AddRef();
    IDirect3DIndexBuffer9* other = makeIndices();
    device->SetIndices(other);
    EXPECT_EQ(ib->Release(), 1u);
    EXPECT_EQ(ib->Release(), 0u);
    device->SetIndices(nullptr);
    EXPECT_EQ(other->Release(), 0u);
    device->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
}

TEST_F(TextureTest, ANewTextureThatReusesAReleasedOnesNameIsBound) {
    auto solid = [&](uint32_t colour) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT locked{};
        t->LockRect(0, &locked, nullptr, 0);
        std::memcpy(locked.pBits, &colour, 4);
        t->UnlockRect(0);
        return t;
    };
    IDirect3DTexture9* first = solid(0xFFFF0000);
    SampleTexture(first);
    TexturedRect(0, 0, 4, 4);
    device->SetTexture(0, nullptr);
    first->Release();
    IDirect3DTexture9* second = solid(0xFF00FF00);
    device->SetTexture(0, second);
    TexturedRect(0, 0, 4, 4);
    EXPECT_EQ(ReadTarget().At(1, 1), 0xFF00FF00u);
    device->SetTexture(0, nullptr);
    second->Release();
}

TEST_F(TextureTest, CameraSpaceNormalsAndReflectionsAddressCubes) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const uint32_t colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int face = 0; face < 6; ++face) {
        D3DLOCKED_RECT locked{};
        cube->LockRect(D3DCUBEMAP_FACES(face), 0, &locked, nullptr, 0);
        std::memcpy(locked.pBits, &colours[face], 4);
        cube->UnlockRect(D3DCUBEMAP_FACES(face), 0);
    }
    SampleTexture(cube);
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1.0f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    device->SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    // Normal (1, 0, -2) / sqrt 5: mostly -z; its reflection of the view direction (0, 0, 1) is (0.8, 0,
    // -0.6).
    const float n = 1.0f / std::sqrt(5.0f);
    struct Vertex {
        float x, y, z, nx, ny, nz;
    } quad[4] = {{-1, 1, 0.5f, n, 0, -2 * n},
                 {0, 1, 0.5f, n, 0, -2 * n},
                 {-1, 0, 0.5f, n, 0, -2 * n},
                 {0, 0, 0.5f, n, 0, -2 * n}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    for (auto& v : quad)
        v.x += 1.0f;
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
    Pixels p = ReadTarget();
    EXPECT_EQ(p.At(16, 16), colours[D3DCUBEMAP_FACE_NEGATIVE_Z]);
    EXPECT_EQ(p.At(48, 16), colours[D3DCUBEMAP_FACE_POSITIVE_X]);
    device->SetTexture(0, nullptr);
    cube->Release();
}

TEST_F(TextureTest, AddressModesAndFilters) {
    // Two texels, red then green; u runs from -1 to 3 across 32 pixels (8 pixels per texel).
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    const uint32_t texels[2] = {0xFFFF0000, 0xFF00FF00};
    std::memcpy(locked.pBits, texels, 8);
    texture->UnlockRect(0);
    SampleTexture(texture);
    const uint32_t R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF;
    struct Case {
        DWORD mode;
        uint32_t at[8]; // every 4th pixel from 2
    } cases[] = {
        {D3DTADDRESS_WRAP, {R, G, R, G, R, G, R, G}},
        {D3DTADDRESS_MIRROR, {G, R, R, G, G, R, R, G}},
        {D3DTADDRESS_CLAMP, {R, R, R, G, G, G, G, G}},
        {D3DTADDRESS_BORDER, {B, B, R, G, B, B, B, B}},
    };
    device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, B);
    int row = 0;
    for (const Case& c : cases) {
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.mode);
        float t = float(row * 4);
        TexturedVertex v[4] = {{-0.5f, t, 0.5f, 1, 0xFFFFFFFF, -1, 0},
                               {31.5f, t, 0.5f, 1, 0xFFFFFFFF, 3, 0},
                               {-0.5f, t + 4, 0.5f, 1, 0xFFFFFFFF, -1, 1},
                               {31.5f, t + 4, 0.5f, 1, 0xFFFFFFFF, 3, 1}};
        device->SetFVF(TexturedFvf);
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        ++row;
    }
    // Linear filtering halfway between the texels (clamped at the ends).
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    TexturedVertex v[4] = {{-0.5f, 20, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                           {3.5f, 20, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                           {-0.5f, 24, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                           {3.5f, 24, 0.5f, 1, 0xFFFFFFFF, 1, 1}};
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    Pixels p = ReadTarget();
    for (int r = 0; r < 4; ++r)
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(p.At(unsigned(2 + i * 4), unsigned(r * 4 + 1)), cases[r].at[i])
                << "mode " << cases[r].mode << " sample " << i;
    // Pixels sample u = 1/8, 3/8, 5/8, 7/8 across texel centres at 1/4 and 3/4.
    const int reds[4] = {255, 191, 64, 0};
    for (unsigned x = 0; x < 4; ++x) {
        EXPECT_NEAR(Red(p.At(x, 21)), reds[x], 1) << x;
        EXPECT_NEAR(Green(p.At(x, 21)), 255 - reds[x], 1) << x;
    }
    device->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(TextureTest, RenderTargetMipmapsFollowWhatIsDrawn) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 0, D3DUSAGE_RENDERTARGET | D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                                    D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9 *surface = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &surface);
    device->GetRenderTarget(0, &back);
    device->SetRenderTarget(0, surface);
    Unlit();
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    ScreenRect(0, 0, 8, 4, 0xFFFF0000); // top half red
    device->SetRenderTarget(0, back);
    SampleTexture(target);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    TexturedRect(0, 0, 1, 1); // the 1 x 1 level: half red, half blue
    uint32_t got = ReadTarget().At(0, 0);
    EXPECT_NEAR(Red(got), 0x80, 1);
    EXPECT_NEAR(Blue(got), 0x80, 1);
    device->SetTexture(0, nullptr);
    surface->Release();
    back->Release();
    target->Release();
}
