// The pixels of a texture, surface or render target: a GL texture plus a CPU copy of each level for locks.
#pragma once

#include "platform/d3d9/Formats.h"

#include <memory>
#include <vector>

namespace D3D9 {

class TextureImage {
public:
    // faces is 1 or 6 (a cube); cpuOnly images (system-memory surfaces) have no GL texture.
    TextureImage(const FormatInfo& format, unsigned width, unsigned height, unsigned levels, unsigned faces,
                 bool cpuOnly);
    ~TextureImage();
    TextureImage(const TextureImage&) = delete;
    TextureImage& operator=(const TextureImage&) = delete;

    // Levels for a requested count: 0 means the whole chain down to 1x1.
    static unsigned FullChain(unsigned width, unsigned height);
    // Whether images made from now on keep block-compressed formats decoded in GL (the CPU copy stays
    // compressed): a software rasteriser decodes a compressed texel at every fetch.
    static void DecodeCompressed(bool on);
    static bool DecodesCompressed();

    const FormatInfo& Format() const { return format_; }
    GLenum Target() const { return faces_ == 6 ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D; }
    GLuint Name() const { return name_; }
    unsigned Levels() const { return levels_; }
    unsigned Faces() const { return faces_; }
    unsigned Width(unsigned level) const { return width_ >> level ? width_ >> level : 1; }
    unsigned Height(unsigned level) const { return height_ >> level ? height_ >> level : 1; }
    size_t Pitch(unsigned level) const { return RowPitch(format_, Width(level)); }
    size_t LevelBytes(unsigned level) const { return Pitch(level) * RowCount(format_, Height(level)); }
    bool CpuOnly() const { return cpuOnly_; }

    // The GPU copy of a level was drawn into: the CPU copy is stale until read back, and automatic mip maps
    // are rebuilt before the texture is next sampled.
    void MarkDrawn(unsigned level = 0) {
        drawn_ = true;
        if (autoMips_ && level == 0)
            mipsStale_ = true;
    }
    bool MipsStale() const { return mipsStale_; }
    // The GL face target of a face (GL_TEXTURE_2D for flat images).
    GLenum FaceTarget(unsigned face) const;

    // Locks keep the CPU copy; READONLY locks do not upload again.
    HRESULT Lock(unsigned face, unsigned level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT Unlock(unsigned face, unsigned level);
    bool Locked(unsigned face, unsigned level) const { return slot(face, level).locked; }

    // The CPU copy of a level, brought up to date with the GPU.
    unsigned char* Bytes(unsigned face, unsigned level);
    // Sends a rectangle of the CPU copy to GL (the whole level when rect is null).
    void Upload(unsigned face, unsigned level, const RECT* rect);
    // Rebuilds the mip chain from level 0 (automatic mip maps).
    void GenerateMips();
    bool AutoMips() const { return autoMips_; }
    void SetAutoMips(bool on) { autoMips_ = on; }

private:
    struct Slot {
        unsigned char* bytes = nullptr; // in storage_
        bool locked = false;
        bool readOnly = false;
        RECT rect{};
    };
    Slot& slot(unsigned face, unsigned level) { return slots_[face * levels_ + level]; }
    const Slot& slot(unsigned face, unsigned level) const { return slots_[face * levels_ + level]; }
    void readBack();
    // One block for every level's CPU copy, made (zeroed) on first use: a level at a time would cost an
    // allocation per level of each texture filled.
    void makeStorage();

    const FormatInfo& format_;
    unsigned width_, height_, levels_, faces_;
    bool cpuOnly_;
    bool decoded_; // a compressed format stored decoded in GL
    bool drawn_ = false;
    bool autoMips_ = false;
    bool mipsStale_ = false;
    GLuint name_ = 0;
    std::vector<Slot> slots_;
    std::unique_ptr<unsigned char[]> storage_;
};

// Binds a texture on the unit that the device never samples from, for uploads and read-backs.
void BindScratch(GLenum target, GLuint name);

} // namespace D3D9
