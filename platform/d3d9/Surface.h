// One face and level of a texture, or a render target, depth buffer or system-memory surface of its own.
#pragma once

#include "platform/d3d9/Object.h"
#include "platform/d3d9/TextureImage.h"

#include <memory>

namespace D3D9 {

class Surface final : public Resource<IDirect3DSurface9> {
public:
    // A level of a texture: counts go to the texture, which owns the pixels.
    Surface(IDirect3DDevice9* device, IUnknown* container, TextureImage& image, unsigned face, unsigned level,
            DWORD usage, D3DPOOL pool);
    // A surface with pixels of its own; implicit ones belong to the device and do not hold it.
    Surface(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool,
            bool implicit);
    ~Surface() override;

    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetContainer(REFIID iid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    TextureImage& Image() { return *image_; }
    unsigned Face() const { return face_; }
    unsigned Level() const { return level_; }
    unsigned Width() const { return image_->Width(level_); }
    unsigned Height() const { return image_->Height(level_); }
    D3DPOOL Pool() const { return pool_; }
    DWORD Usage() const { return usage_; }
    bool Implicit() const { return implicit_; }

private:
    IUnknown* container_ = nullptr;
    std::unique_ptr<TextureImage> owned_;
    TextureImage* image_;
    unsigned face_ = 0, level_ = 0;
    DWORD usage_;
    D3DPOOL pool_;
    bool implicit_ = false;
};

} // namespace D3D9
