#include "platform/d3d9/TextureImage.h"

#include "platform/d3d9/Blocks.h"

#include <algorithm>
#include <cstring>

namespace D3D9 {
namespace {
bool decodeCompressed = false;
} // namespace

void TextureImage::DecodeCompressed(bool on) {
    decodeCompressed = on;
}

bool TextureImage::DecodesCompressed() {
    return decodeCompressed;
}

void BindScratch(GLenum target, GLuint name) {
    glActiveTexture(GL_TEXTURE0 + D3D9_STAGE_COUNT);
    glBindTexture(target, name);
}

unsigned TextureImage::FullChain(unsigned width, unsigned height) {
    unsigned levels = 1;
    for (unsigned side = std::max(width, height); side > 1; side >>= 1)
        ++levels;
    return levels;
}

TextureImage::TextureImage(const FormatInfo& format, unsigned width, unsigned height, unsigned levels,
                           unsigned faces, bool cpuOnly)
    : format_(format), width_(width), height_(height), levels_(levels), faces_(faces), cpuOnly_(cpuOnly),
      decoded_(format.compressed && decodeCompressed), slots_(size_t(faces) * levels) {
    if (cpuOnly_)
        return;
    glGenTextures(1, &name_);
    GLenum target = Target();
    BindScratch(target, name_);
    glTexParameteri(target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, GLint(levels_) - 1);
    glTexParameteriv(target, GL_TEXTURE_SWIZZLE_RGBA, format_.swizzle);
    for (unsigned face = 0; face < faces_; ++face)
        for (unsigned level = 0; level < levels_; ++level) {
            if (decoded_)
                glTexImage2D(FaceTarget(face), GLint(level), GL_RGBA8, GLsizei(Width(level)),
                             GLsizei(Height(level)), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            else if (format_.compressed)
                glCompressedTexImage2D(FaceTarget(face), GLint(level), format_.internal,
                                       GLsizei(Width(level)), GLsizei(Height(level)), 0,
                                       GLsizei(LevelBytes(level)), nullptr);
            else
                glTexImage2D(FaceTarget(face), GLint(level), GLint(format_.internal), GLsizei(Width(level)),
                             GLsizei(Height(level)), 0, format_.layout, format_.type, nullptr);
        }
}

TextureImage::~TextureImage() {
    if (name_)
        glDeleteTextures(1, &name_);
}

GLenum TextureImage::FaceTarget(unsigned face) const {
    return faces_ == 6 ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : GL_TEXTURE_2D;
}

void TextureImage::readBack() {
    drawn_ = false;
    if (cpuOnly_ || format_.compressed || ExpanderOf(format_.format))
        return;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    BindScratch(Target(), name_);
    for (unsigned face = 0; face < faces_; ++face)
        for (unsigned level = 0; level < levels_; ++level) {
            makeStorage();
            glGetTexImage(FaceTarget(face), GLint(level), format_.layout, format_.type,
                          slot(face, level).bytes);
        }
}

unsigned char* TextureImage::Bytes(unsigned face, unsigned level) {
    if (drawn_)
        readBack();
    makeStorage();
    return slot(face, level).bytes;
}

void TextureImage::makeStorage() {
    if (storage_)
        return;
    size_t total = 0;
    for (unsigned level = 0; level < levels_; ++level)
        total += LevelBytes(level);
    storage_ = std::make_unique<unsigned char[]>(total * faces_);
    unsigned char* next = storage_.get();
    for (unsigned face = 0; face < faces_; ++face)
        for (unsigned level = 0; level < levels_; ++level) {
            slot(face, level).bytes = next;
            next += LevelBytes(level);
        }
}

HRESULT TextureImage::Lock(unsigned face, unsigned level, D3DLOCKED_RECT* locked, const RECT* rect,
                           DWORD flags) {
    if (!locked || face >= faces_ || level >= levels_)
        return D3DERR_INVALIDCALL;
    Slot& s = slot(face, level);
    if (s.locked)
        return D3DERR_INVALIDCALL;
    RECT whole{0, 0, LONG(Width(level)), LONG(Height(level))};
    RECT r = rect ? *rect : whole;
    if (r.left < 0 || r.top < 0 || r.right > whole.right || r.bottom > whole.bottom || r.left >= r.right ||
        r.top >= r.bottom)
        return D3DERR_INVALIDCALL;
    if (format_.compressed && ((r.left | r.top) & 3))
        return D3DERR_INVALIDCALL;
    unsigned char* bytes = Bytes(face, level);
    size_t pitch = Pitch(level);
    size_t x = format_.compressed ? size_t(r.left / 4) * format_.bytes : size_t(r.left) * format_.bytes;
    size_t y = format_.compressed ? size_t(r.top / 4) : size_t(r.top);
    locked->Pitch = INT(pitch);
    locked->pBits = bytes + y * pitch + x;
    s.locked = true;
    s.readOnly = (flags & D3DLOCK_READONLY) != 0;
    s.rect = r;
    return D3D_OK;
}

HRESULT TextureImage::Unlock(unsigned face, unsigned level) {
    if (face >= faces_ || level >= levels_)
        return D3DERR_INVALIDCALL;
    Slot& s = slot(face, level);
    if (!s.locked)
        return D3DERR_INVALIDCALL;
    s.locked = false;
    if (s.readOnly || cpuOnly_)
        return D3D_OK;
    Upload(face, level, &s.rect);
    if (autoMips_ && level == 0)
        GenerateMips();
    return D3D_OK;
}

void TextureImage::Upload(unsigned face, unsigned level, const RECT* rect) {
    if (cpuOnly_)
        return;
    unsigned char* bytes = Bytes(face, level);
    BindScratch(Target(), name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (decoded_) {
        // Whole levels, as below; one buffer kept for every decode (uploads come from the GL thread).
        static std::vector<unsigned char> rgba;
        rgba.resize(size_t(Width(level)) * Height(level) * 4);
        DecodeBlocks(format_.format, bytes, Width(level), Height(level), rgba.data());
        glTexSubImage2D(FaceTarget(face), GLint(level), 0, 0, GLsizei(Width(level)), GLsizei(Height(level)),
                        GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return;
    }
    if (format_.compressed) {
        // Whole levels: sub-rectangles of blocks would need the block-size unpack state of newer GL.
        glCompressedTexSubImage2D(FaceTarget(face), GLint(level), 0, 0, GLsizei(Width(level)),
                                  GLsizei(Height(level)), format_.internal, GLsizei(LevelBytes(level)),
                                  bytes);
        return;
    }
    RECT r = rect ? *rect : RECT{0, 0, LONG(Width(level)), LONG(Height(level))};
    if (Expander expand = ExpanderOf(format_.format)) {
        size_t w = size_t(r.right - r.left);
        std::vector<unsigned char> rgba(w * size_t(r.bottom - r.top) * 4);
        for (LONG y = r.top; y < r.bottom; ++y)
            expand(bytes + size_t(y) * Pitch(level) + size_t(r.left) * format_.bytes,
                   rgba.data() + size_t(y - r.top) * w * 4, w);
        glTexSubImage2D(FaceTarget(face), GLint(level), r.left, r.top, r.right - r.left, r.bottom - r.top,
                        GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return;
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(Width(level)));
    const unsigned char* first = bytes + size_t(r.top) * Pitch(level) + size_t(r.left) * format_.bytes;
    glTexSubImage2D(FaceTarget(face), GLint(level), r.left, r.top, r.right - r.left, r.bottom - r.top,
                    format_.layout, format_.type, first);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void TextureImage::GenerateMips() {
    mipsStale_ = false;
    if (cpuOnly_ || levels_ < 2 || format_.compressed)
        return;
    BindScratch(Target(), name_);
    glGenerateMipmap(Target());
    // The lower levels now differ from their CPU copies; the next lock reads them back.
    drawn_ = true;
}

} // namespace D3D9
