#include "platform/d3d9/SwapChain.h"

#include "platform/d3d9/Device.h"

namespace D3D9 {

SwapChain::SwapChain(Device* device, SDL_Window* window, const D3DPRESENT_PARAMETERS& parameters,
                     std::unique_ptr<Surface> backBuffer)
    : Object<IDirect3DSwapChain9>(device, true), window_(window), parameters_(parameters),
      backBuffer_(std::move(backBuffer)) {
    // Like a default-pool resource: a reset is refused while the chain lives.
    device->ResourceMade(D3DPOOL_DEFAULT);
}

SwapChain::~SwapChain() {
    auto* device = static_cast<Device*>(device_);
    device->Forget(backBuffer_.get());
    backBuffer_.reset();
    device->ResourceGone(D3DPOOL_DEFAULT);
}

HRESULT SwapChain::Present(const RECT*, const RECT*, HWND, const RGNDATA*, DWORD) {
    return static_cast<Device*>(device_)->PresentInto(window_, *backBuffer_);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    if (!surface || index != 0)
        return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *surface = backBuffer_.get();
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) {
    if (!parameters)
        return D3DERR_INVALIDCALL;
    *parameters = parameters_;
    return D3D_OK;
}

} // namespace D3D9
