// The part of D3DX the game uses, over platform/d3d9.
#pragma once

#include <d3d9.h>

#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_FILTER_NONE 1
#define D3DX_FILTER_POINT 2
#define D3DX_FILTER_LINEAR 3
#define D3DX_FILTER_TRIANGLE 4
#define D3DX_FILTER_BOX 5

// Copies a rectangle of pixels in memory into a surface. Rectangles of one size copy exactly (compressed
// formats block by block); others are point-sampled. Between formats, 32-bit ARGB sources convert to the
// 16- and 32-bit RGB formats. Palettes and the colour key are not supported.
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* destination, const PALETTEENTRY* destPalette,
                                  const RECT* destRect, const void* source, D3DFORMAT sourceFormat,
                                  UINT sourcePitch, const PALETTEENTRY* sourcePalette, const RECT* sourceRect,
                                  DWORD filter, D3DCOLOR colorKey);

// A texture as the device makes it; D3DX_DEFAULT or 0 levels make the whole chain, D3DX_DEFAULT sizes 256.
HRESULT D3DXCreateTexture(IDirect3DDevice9* device, UINT width, UINT height, UINT levels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture);

// A block of bytes handed out by D3DX (assembled shaders, error text).
struct ID3DXBuffer : IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};
struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

#define D3DXERR_INVALIDDATA ((HRESULT)0x88760B59L)

HRESULT D3DXCreateBuffer(DWORD size, LPD3DXBUFFER* buffer);

// Shader assembly: vs_1_1 and ps_1_1 to ps_1_3. Macros and include handlers are not supported: a macro
// list with entries, or an #include or other preprocessor line, is an error. On failure the errors buffer
// (when asked for) holds "(line): error: reason" lines, ending with a zero byte.
HRESULT D3DXAssembleShader(LPCSTR data, UINT length, const D3DXMACRO* defines, LPD3DXINCLUDE include,
                           DWORD flags, LPD3DXBUFFER* shader, LPD3DXBUFFER* errors);
// The same from a file, by game path ('\' separators, any letter case).
HRESULT D3DXAssembleShaderFromFileA(LPCSTR file, const D3DXMACRO* defines, LPD3DXINCLUDE include, DWORD flags,
                                    LPD3DXBUFFER* shader, LPD3DXBUFFER* errors);
// Assembly text of a token stream, ending with a zero byte.
HRESULT D3DXDisassembleShader(const DWORD* shader, BOOL colorCode, LPCSTR comments, LPD3DXBUFFER* text);
