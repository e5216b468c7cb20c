// A device on a hidden window, and reading its pixels back.
#pragma once

#include "platform/d3d9/Control.h"
#include "tests/support/GlDriver.h"
#include "tests/support/HiddenWindow.h"
#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <dlfcn.h>
#include <vector>

struct Pixels {
    unsigned width = 0, height = 0;
    std::vector<uint32_t> argb;
    uint32_t At(unsigned x, unsigned y) const { return argb[size_t(y) * width + x]; }
};

inline int Red(uint32_t c) {
    return int((c >> 16) & 0xFF);
}
inline int Green(uint32_t c) {
    return int((c >> 8) & 0xFF);
}
inline int Blue(uint32_t c) {
    return int(c & 0xFF);
}
inline int Alpha(uint32_t c) {
    return int(c >> 24);
}

class DeviceTest : public ::testing::Test {
protected:
    static constexpr unsigned Width = 64, Height = 64;

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TestSupport::OpenHiddenWindow("d3d9", int(Width), int(Height), window, hwnd));
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        parameters = {};
        parameters.BackBufferWidth = Width;
        parameters.BackBufferHeight = Height;
        parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
        parameters.BackBufferCount = 1;
        parameters.SwapEffect = D3DSWAPEFFECT_COPY;
        parameters.hDeviceWindow = hwnd;
        parameters.Windowed = TRUE;
        parameters.EnableAutoDepthStencil = TRUE;
        parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                    &device),
                  D3D_OK);
        PinGlDriver();
    }

    // The GL driver's own leaks are suppressed by library name; keep its libraries loaded to the end so that
    // the names are still known when the leak check runs.
    static void PinGlDriver() { TestSupport::PinGlDriver(); }

    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d)
            d3d->Release();
        if (hwnd)
            Win32::DetachSdlWindow(hwnd);
        if (window)
            SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    // The pixels of a render target (the back buffer by default) as A8R8G8B8 words.
    Pixels ReadTarget(IDirect3DSurface9* target = nullptr) {
        IDirect3DSurface9* source = target;
        if (!source)
            device->GetRenderTarget(0, &source);
        D3DSURFACE_DESC desc{};
        source->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(source, copy), D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        Pixels p;
        p.width = desc.Width;
        p.height = desc.Height;
        for (unsigned y = 0; y < desc.Height; ++y) {
            auto* row =
                reinterpret_cast<const uint32_t*>(static_cast<const char*>(locked.pBits) + y * locked.Pitch);
            p.argb.insert(p.argb.end(), row, row + desc.Width);
        }
        copy->UnlockRect();
        copy->Release();
        if (!target)
            source->Release();
        return p;
    }

    // Plain states for drawing unlit coloured geometry.
    void Unlit() {
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    }

    struct ScreenVertex {
        float x, y, z, rhw;
        D3DCOLOR color;
    };
    static constexpr DWORD ScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;

    // A rectangle in pixels, drawn as a two-triangle strip of pre-transformed vertices.
    void ScreenRect(float left, float top, float right, float bottom, D3DCOLOR color, float z = 0.5f) {
        ScreenVertex v[4] = {{left, top, z, 1.0f, color},
                             {right, top, z, 1.0f, color},
                             {left, bottom, z, 1.0f, color},
                             {right, bottom, z, 1.0f, color}};
        device->SetFVF(ScreenFvf);
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(ScreenVertex)), D3D_OK);
    }

    SDL_Window* window = nullptr;
    HWND hwnd = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS parameters{};
};
