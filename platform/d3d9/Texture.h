// 2D textures and cube textures: one GL texture each, with their levels as surfaces.
#pragma once

#include "platform/d3d9/Surface.h"

#include <memory>
#include <vector>

namespace D3D9 {

// What the device needs of any texture it binds.
struct TextureBinding {
    TextureImage* image = nullptr;
};

// What 2D and cube textures share: the GL image they own, its automatic mip maps, the level of detail, and
// the device's count of resources in their pool.
template <class Interface> class BaseTexture : public Resource<Interface>, public TextureBinding {
public:
    BaseTexture(IDirect3DDevice9* device, D3DRESOURCETYPE type, std::unique_ptr<TextureImage> image,
                DWORD usage, D3DPOOL pool);
    ~BaseTexture() override;

    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    DWORD GetLevelCount() override;
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return autoGenFilter_; }
    void GenerateMipSubLevels() override;

protected:
    std::unique_ptr<TextureImage> owned_;
    DWORD usage_;
    D3DPOOL pool_;

private:
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};

class Texture final : public BaseTexture<IDirect3DTexture9> {
public:
    Texture(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool);
    ~Texture() override;

    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

    Surface* Level(unsigned level);

private:
    std::vector<std::unique_ptr<Surface>> levels_;
};

class CubeTexture final : public BaseTexture<IDirect3DCubeTexture9> {
public:
    CubeTexture(IDirect3DDevice9* device, std::unique_ptr<TextureImage> image, DWORD usage, D3DPOOL pool);
    ~CubeTexture() override;

    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return D3D_OK; }

    Surface* FaceLevel(unsigned face, unsigned level);

private:
    std::vector<std::unique_ptr<Surface>> surfaces_;
};

// The binding record behind a base texture this layer made, or null.
TextureBinding* BindingOf(IDirect3DBaseTexture9* texture);

} // namespace D3D9
