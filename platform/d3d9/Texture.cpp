#include "platform/d3d9/Texture.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

TextureBinding* BindingOf(IDirect3DBaseTexture9* texture) {
    if (!texture)
        return nullptr;
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE)
        return static_cast<CubeTexture*>(texture);
    return static_cast<Texture*>(texture);
}

template <class Interface>
BaseTexture<Interface>::BaseTexture(IDirect3DDevice9* device, D3DRESOURCETYPE type,
                                    std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool)
    : Resource<Interface>(device, true, type), owned_(std::move(image)), usage_(usage), pool_(pool) {
    this->image = owned_.get();
    owned_->SetAutoMips((usage & D3DUSAGE_AUTOGENMIPMAP) != 0);
    static_cast<Device*>(this->device_)->ResourceMade(pool_);
}

// The derived texture's surfaces are gone by now; the image goes after this.
template <class Interface> BaseTexture<Interface>::~BaseTexture() {
    static_cast<Device*>(this->device_)->ResourceGone(pool_);
}

template <class Interface> DWORD BaseTexture<Interface>::SetLOD(DWORD lod) {
    DWORD old = lod_;
    lod_ = lod;
    return old;
}

// Automatic mip maps show one level to the caller; the rest are the GL chain's.
template <class Interface> DWORD BaseTexture<Interface>::GetLevelCount() {
    return owned_->AutoMips() ? 1 : owned_->Levels();
}

template <class Interface> HRESULT BaseTexture<Interface>::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    autoGenFilter_ = filter;
    return D3D_OK;
}

template <class Interface> void BaseTexture<Interface>::GenerateMipSubLevels() {
    owned_->GenerateMips();
}

template class BaseTexture<IDirect3DTexture9>;
template class BaseTexture<IDirect3DCubeTexture9>;

Texture::Texture(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool)
    : BaseTexture(device, D3DRTYPE_TEXTURE, std::move(image), usage, pool) {
    levels_.resize(owned_->Levels());
}

Texture::~Texture() {
    levels_.clear();
}

Surface* Texture::Level(unsigned level) {
    if (level >= GetLevelCount())
        return nullptr;
    if (!levels_[level])
        levels_[level] = std::make_unique<Surface>(device_, static_cast<IDirect3DTexture9*>(this), *owned_, 0,
                                                   level, usage_, pool_);
    return levels_[level].get();
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    Surface* s = Level(level);
    return s ? s->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    Surface* s = Level(level);
    if (!s || !surface)
        return D3DERR_INVALIDCALL;
    s->AddRef();
    *surface = s;
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level >= GetLevelCount())
        return D3DERR_INVALIDCALL;
    static_cast<Device*>(device_)->Log("LockRect(texture)");
    return owned_->Lock(0, level, locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level) {
    return owned_->Unlock(0, level);
}

CubeTexture::CubeTexture(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage,
                         D3DPOOL pool)
    : BaseTexture(device, D3DRTYPE_CUBETEXTURE, std::move(image), usage, pool) {
    surfaces_.resize(size_t(6) * owned_->Levels());
}

CubeTexture::~CubeTexture() {
    surfaces_.clear();
}

Surface* CubeTexture::FaceLevel(unsigned face, unsigned level) {
    if (face >= 6 || level >= GetLevelCount())
        return nullptr;
    auto& s = surfaces_[face * owned_->Levels() + level];
    if (!s)
        s = std::make_unique<Surface>(device_, static_cast<IDirect3DCubeTexture9*>(this), *owned_, face,
                                      level, usage_, pool_);
    return s.get();
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    Surface* s = FaceLevel(0, level);
    return s ? s->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) {
    Surface* s = FaceLevel(face, level);
    if (!s || !surface)
        return D3DERR_INVALIDCALL;
    s->AddRef();
    *surface = s;
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags) {
    if (level >= GetLevelCount())
        return D3DERR_INVALIDCALL;
    return owned_->Lock(face, level, locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    return owned_->Unlock(face, level);
}

} // namespace D3D9
