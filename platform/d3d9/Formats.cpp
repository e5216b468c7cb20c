#include "platform/d3d9/Formats.h"

#include <array>

namespace D3D9 {
namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, ONE = GL_ONE, ZERO = GL_ZERO;

// Locked memory holds little-endian words: A8R8G8B8 is the bytes B, G, R, A, which GL reads as BGRA.
const std::array<FormatInfo, 38> formats{{
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, A}, true, false, false},
    {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, ONE}, true, false, false},
    {D3DFMT_R8G8B8, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, false, {R, G, B, ONE}, false, false, false},
    {D3DFMT_R5G6B5, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, false, {R, G, B, ONE}, true, false, false},
    {D3DFMT_X1R5G5B5,
     GL_RGB5_A1,
     GL_BGRA,
     GL_UNSIGNED_SHORT_1_5_5_5_REV,
     2,
     false,
     {R, G, B, ONE},
     true,
     false,
     false},
    {D3DFMT_A1R5G5B5,
     GL_RGB5_A1,
     GL_BGRA,
     GL_UNSIGNED_SHORT_1_5_5_5_REV,
     2,
     false,
     {R, G, B, A},
     true,
     false,
     false},
    {D3DFMT_A4R4G4B4,
     GL_RGBA4,
     GL_BGRA,
     GL_UNSIGNED_SHORT_4_4_4_4_REV,
     2,
     false,
     {R, G, B, A},
     true,
     false,
     false},
    {D3DFMT_X4R4G4B4,
     GL_RGBA4,
     GL_BGRA,
     GL_UNSIGNED_SHORT_4_4_4_4_REV,
     2,
     false,
     {R, G, B, ONE},
     true,
     false,
     false},
    {D3DFMT_R3G3B2,
     GL_R3_G3_B2,
     GL_RGB,
     GL_UNSIGNED_BYTE_3_3_2,
     1,
     false,
     {R, G, B, ONE},
     false,
     false,
     false},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, false, {ZERO, ZERO, ZERO, R}, false, false, false},
    {D3DFMT_A2B10G10R10,
     GL_RGB10_A2,
     GL_RGBA,
     GL_UNSIGNED_INT_2_10_10_10_REV,
     4,
     false,
     {R, G, B, A},
     true,
     false,
     false},
    {D3DFMT_A8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, A}, true, false, false},
    {D3DFMT_X8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 4, false, {R, G, B, ONE}, true, false, false},
    {D3DFMT_G16R16, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4, false, {R, G, ONE, ONE}, true, false, false},
    {D3DFMT_A2R10G10B10,
     GL_RGB10_A2,
     GL_BGRA,
     GL_UNSIGNED_INT_2_10_10_10_REV,
     4,
     false,
     {R, G, B, A},
     true,
     false,
     false},
    {D3DFMT_A16B16G16R16, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 8, false, {R, G, B, A}, true, false, false},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, false, {R, R, R, ONE}, false, false, false},
    {D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2, false, {R, R, R, G}, false, false, false},
    {D3DFMT_L16, GL_R16, GL_RED, GL_UNSIGNED_SHORT, 2, false, {R, R, R, ONE}, false, false, false},
    {D3DFMT_V8U8, GL_RG8_SNORM, GL_RG, GL_BYTE, 2, false, {R, G, ONE, ONE}, false, false, false},
    {D3DFMT_Q8W8V8U8, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, 4, false, {R, G, B, A}, false, false, false},
    {D3DFMT_V16U16, GL_RG16_SNORM, GL_RG, GL_SHORT, 4, false, {R, G, ONE, ONE}, false, false, false},
    {D3DFMT_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, 2, false, {R, ONE, ONE, ONE}, true, false, false},
    {D3DFMT_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, false, {R, G, ONE, ONE}, true, false, false},
    {D3DFMT_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, false, {R, G, B, A}, true, false, false},
    {D3DFMT_R32F, GL_R32F, GL_RED, GL_FLOAT, 4, false, {R, ONE, ONE, ONE}, true, false, false},
    {D3DFMT_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, 8, false, {R, G, ONE, ONE}, true, false, false},
    {D3DFMT_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, false, {R, G, B, A}, true, false, false},
    // DXT2 and DXT4 hold premultiplied colours; the blocks decode exactly like DXT3 and DXT5.
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8, true, {R, G, B, A}, false, false, false},
    {D3DFMT_DXT2, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, true, {R, G, B, A}, false, false, false},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, true, {R, G, B, A}, false, false, false},
    {D3DFMT_DXT4, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, true, {R, G, B, A}, false, false, false},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, true, {R, G, B, A}, false, false, false},
    {D3DFMT_D16,
     GL_DEPTH_COMPONENT16,
     GL_DEPTH_COMPONENT,
     GL_UNSIGNED_SHORT,
     2,
     false,
     {R, R, R, ONE},
     false,
     true,
     false},
    {D3DFMT_D16_LOCKABLE,
     GL_DEPTH_COMPONENT16,
     GL_DEPTH_COMPONENT,
     GL_UNSIGNED_SHORT,
     2,
     false,
     {R, R, R, ONE},
     false,
     true,
     false},
    {D3DFMT_D24X8,
     GL_DEPTH_COMPONENT24,
     GL_DEPTH_COMPONENT,
     GL_UNSIGNED_INT,
     4,
     false,
     {R, R, R, ONE},
     false,
     true,
     false},
    {D3DFMT_D32,
     GL_DEPTH_COMPONENT24,
     GL_DEPTH_COMPONENT,
     GL_UNSIGNED_INT,
     4,
     false,
     {R, R, R, ONE},
     false,
     true,
     false},
    {D3DFMT_D24S8,
     GL_DEPTH24_STENCIL8,
     GL_DEPTH_STENCIL,
     GL_UNSIGNED_INT_24_8,
     4,
     false,
     {R, R, R, ONE},
     false,
     true,
     true},
}};

// Expanded on upload (see ExpanderOf): the GL layout and type are those of the expanded bytes.
const FormatInfo expanded[] = {
    {D3DFMT_A8R3G3B2, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 2, false, {R, G, B, A}, false, false, false},
    {D3DFMT_A4L4, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 1, false, {R, G, B, A}, false, false, false},
};

void ExpandA8R3G3B2(const unsigned char* in, unsigned char* out, size_t count) {
    for (size_t i = 0; i < count; ++i, in += 2, out += 4) {
        unsigned v = unsigned(in[0]) | unsigned(in[1]) << 8;
        out[0] = static_cast<unsigned char>(((v >> 5) & 7) * 255 / 7);
        out[1] = static_cast<unsigned char>(((v >> 2) & 7) * 255 / 7);
        out[2] = static_cast<unsigned char>((v & 3) * 255 / 3);
        out[3] = static_cast<unsigned char>(v >> 8);
    }
}

void ExpandA4L4(const unsigned char* in, unsigned char* out, size_t count) {
    for (size_t i = 0; i < count; ++i, ++in, out += 4) {
        unsigned char l = static_cast<unsigned char>((*in & 15) * 17);
        out[0] = out[1] = out[2] = l;
        out[3] = static_cast<unsigned char>((*in >> 4) * 17);
    }
}

const FormatInfo extraDepth[] = {
    {D3DFMT_D24FS8,
     GL_DEPTH24_STENCIL8,
     GL_DEPTH_STENCIL,
     GL_UNSIGNED_INT_24_8,
     4,
     false,
     {R, R, R, ONE},
     false,
     true,
     true},
    {D3DFMT_D32F_LOCKABLE,
     GL_DEPTH_COMPONENT32F,
     GL_DEPTH_COMPONENT,
     GL_FLOAT,
     4,
     false,
     {R, R, R, ONE},
     false,
     true,
     false},
};

} // namespace

const FormatInfo* FindFormat(D3DFORMAT format) {
    for (const FormatInfo& f : formats)
        if (f.format == format)
            return &f;
    for (const FormatInfo& f : extraDepth)
        if (f.format == format)
            return &f;
    for (const FormatInfo& f : expanded)
        if (f.format == format)
            return &f;
    return nullptr;
}

Expander ExpanderOf(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R3G3B2:
        return ExpandA8R3G3B2;
    case D3DFMT_A4L4:
        return ExpandA4L4;
    default:
        return nullptr;
    }
}

size_t RowPitch(const FormatInfo& info, unsigned width) {
    if (info.compressed)
        return size_t((width + 3) / 4) * info.bytes;
    return size_t(width) * info.bytes;
}

unsigned RowCount(const FormatInfo& info, unsigned height) {
    return info.compressed ? (height + 3) / 4 : height;
}

} // namespace D3D9
