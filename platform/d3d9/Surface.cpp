#include "platform/d3d9/Surface.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

Surface::Surface(IDirect3DDevice9* device, IUnknown* container, TextureImage& image, unsigned face,
                 unsigned level, DWORD usage, D3DPOOL pool)
    : Resource(device, false, D3DRTYPE_SURFACE), container_(container), image_(&image), face_(face),
      level_(level), usage_(usage), pool_(pool) {}

Surface::Surface(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool,
                 bool implicit)
    : Resource(device, !implicit, D3DRTYPE_SURFACE), owned_(std::move(image)), image_(owned_.get()),
      usage_(usage), pool_(pool), implicit_(implicit) {
    if (!implicit_)
        static_cast<Device*>(device_)->ResourceMade(pool_);
}

Surface::~Surface() {
    if (owned_ && !implicit_)
        static_cast<Device*>(device_)->ResourceGone(pool_);
}

ULONG Surface::AddRef() {
    return container_ ? container_->AddRef() : Resource::AddRef();
}

ULONG Surface::Release() {
    return container_ ? container_->Release() : Resource::Release();
}

HRESULT Surface::GetContainer(REFIID, void** container) {
    if (!container)
        return D3DERR_INVALIDCALL;
    IUnknown* owner = container_ ? container_ : static_cast<IUnknown*>(device_);
    owner->AddRef();
    *container = owner;
    return D3D_OK;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = image_->Format().format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = usage_;
    desc->Pool = pool_;
    desc->MultiSampleType = D3DMULTISAMPLE_NONE;
    desc->MultiSampleQuality = 0;
    desc->Width = Width();
    desc->Height = Height();
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (image_->Format().depth)
        return D3DERR_INVALIDCALL;
    if (pool_ == D3DPOOL_DEFAULT && !container_ && (usage_ & D3DUSAGE_DEPTHSTENCIL))
        return D3DERR_INVALIDCALL;
    static_cast<Device*>(device_)->Log("LockRect(surface)");
    static_cast<Device*>(device_)->Touch(this);
    return image_->Lock(face_, level_, locked, rect, flags);
}

HRESULT Surface::UnlockRect() {
    return image_->Unlock(face_, level_);
}

} // namespace D3D9
