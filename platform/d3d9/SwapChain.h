// An additional swap chain: a back buffer of its own that Present shows in another window, drawn by the
// device's one GL context (made current on that window for the copy).
#pragma once

#include "platform/d3d9/Object.h"
#include "platform/d3d9/Surface.h"

#include <SDL.h>

#include <memory>

namespace D3D9 {

class Device;

class SwapChain final : public Object<IDirect3DSwapChain9> {
public:
    SwapChain(Device* device, SDL_Window* window, const D3DPRESENT_PARAMETERS& parameters,
              std::unique_ptr<Surface> backBuffer);
    ~SwapChain() override;

    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty,
                    DWORD flags) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
    HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* parameters) override;

    SDL_Window* Window() const { return window_; }
    Surface* BackBuffer() const { return backBuffer_.get(); }

private:
    SDL_Window* window_;
    D3DPRESENT_PARAMETERS parameters_;
    std::unique_ptr<Surface> backBuffer_;
};

} // namespace D3D9
