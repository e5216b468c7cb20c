// How each Direct3D format is stored in GL and in locked memory.
#pragma once

#include <d3d9.h>
#include <epoxy/gl.h>

namespace D3D9 {

struct FormatInfo {
    D3DFORMAT format;
    GLenum internal; // GL internal format
    GLenum layout;   // pixel layout of the locked bytes for uploads (GL format)
    GLenum type;     // component type of the locked bytes
    unsigned bytes;  // per pixel, or per 4x4 block when compressed
    bool compressed;
    GLint swizzle[4];  // what samplers return for r, g, b, a
    bool renderTarget; // can be drawn into
    bool depth, stencil;
};

// The record of a format, or null for formats this layer does not offer (palettes, odd packings).
const FormatInfo* FindFormat(D3DFORMAT format);

// Formats GL cannot take as they are: their locked pixels are expanded to R, G, B, A bytes on upload.
using Expander = void (*)(const unsigned char* pixels, unsigned char* rgba, size_t count);
Expander ExpanderOf(D3DFORMAT format);

// Bytes per row of a level of the given width in locked memory.
size_t RowPitch(const FormatInfo& info, unsigned width);
// Rows of locked memory (block rows for compressed formats).
unsigned RowCount(const FormatInfo& info, unsigned height);

} // namespace D3D9
