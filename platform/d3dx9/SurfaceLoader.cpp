#include <d3dx9.h>

#include "platform/d3d9/Formats.h"

#include <cstring>

namespace {

// A 32-bit ARGB pixel in another format's bits.
uint32_t Pack(uint32_t argb, D3DFORMAT format) {
    uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return argb;
    case D3DFMT_X8R8G8B8:
        return argb | 0xFF000000u;
    case D3DFMT_A8B8G8R8:
        return a << 24 | b << 16 | g << 8 | r;
    case D3DFMT_X8B8G8R8:
        return 0xFF000000u | b << 16 | g << 8 | r;
    case D3DFMT_R5G6B5:
        return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    case D3DFMT_X1R5G5B5:
        return 0x8000u | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case D3DFMT_A1R5G5B5:
        return (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case D3DFMT_A4R4G4B4:
        return (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
    case D3DFMT_X4R4G4B4:
        return 0xF000u | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
    default:
        return argb;
    }
}

bool Convertible(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destination, const PALETTEENTRY*, const RECT* destRect,
                                  const void* source, D3DFORMAT sourceFormat, UINT sourcePitch,
                                  const PALETTEENTRY*, const RECT* sourceRect, DWORD, D3DCOLOR) {
    if (!destination || !source || !sourceRect)
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{};
    if (FAILED(destination->GetDesc(&desc)))
        return D3DERR_INVALIDCALL;
    const D3D9::FormatInfo* from = D3D9::FindFormat(sourceFormat);
    const D3D9::FormatInfo* to = D3D9::FindFormat(desc.Format);
    if (!from || !to)
        return D3DERR_INVALIDCALL;
    RECT d = destRect ? *destRect : RECT{0, 0, LONG(desc.Width), LONG(desc.Height)};
    const RECT& s = *sourceRect;
    LONG sw = s.right - s.left, sh = s.bottom - s.top, dw = d.right - d.left, dh = d.bottom - d.top;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || s.left < 0 || s.top < 0)
        return D3DERR_INVALIDCALL;
    bool same = sourceFormat == desc.Format;
    if (from->compressed || to->compressed) {
        // Blocks copy as they are: one format, one size, block-aligned corners.
        if (!same || sw != dw || sh != dh || ((s.left | s.top) & 3))
            return D3DERR_INVALIDCALL;
    } else if (!same && !(sourceFormat == D3DFMT_A8R8G8B8 || sourceFormat == D3DFMT_X8R8G8B8)) {
        return D3DERR_INVALIDCALL;
    } else if (!same && !Convertible(desc.Format)) {
        return D3DERR_INVALIDCALL;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(destination->LockRect(&locked, &d, 0)))
        return D3DERR_INVALIDCALL;
    const auto* src = static_cast<const unsigned char*>(source);
    auto* dst = static_cast<unsigned char*>(locked.pBits);
    if (from->compressed) {
        size_t rowBytes = size_t((sw + 3) / 4) * from->bytes;
        for (LONG row = 0; row < (sh + 3) / 4; ++row)
            std::memcpy(dst + row * locked.Pitch,
                        src + (s.top / 4 + row) * sourcePitch + size_t(s.left / 4) * from->bytes, rowBytes);
    } else {
        for (LONG y = 0; y < dh; ++y) {
            LONG sy = s.top + y * sh / dh;
            for (LONG x = 0; x < dw; ++x) {
                LONG sx = s.left + x * sw / dw;
                const unsigned char* in = src + size_t(sy) * sourcePitch + size_t(sx) * from->bytes;
                unsigned char* out = dst + size_t(y) * locked.Pitch + size_t(x) * to->bytes;
                if (same) {
                    std::memcpy(out, in, from->bytes);
                } else {
                    uint32_t argb;
                    std::memcpy(&argb, in, 4);
                    if (sourceFormat == D3DFMT_X8R8G8B8)
                        argb |= 0xFF000000u;
                    uint32_t packed = Pack(argb, desc.Format);
                    std::memcpy(out, &packed, to->bytes);
                }
            }
        }
    }
    destination->UnlockRect();
    return D3D_OK;
}

HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture) {
    if (!device || !texture)
        return D3DERR_INVALIDCALL;
    if (width == D3DX_DEFAULT || width == 0)
        width = 256;
    if (height == D3DX_DEFAULT || height == 0)
        height = 256;
    if (levels == D3DX_DEFAULT)
        levels = 0;
    return device->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr);
}
