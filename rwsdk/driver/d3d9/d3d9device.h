// The Direct3D 9 device: the engine's only driver. The system routine answers the engine's device requests;
// the module-wide state below is shared by the driver's other files.
#pragma once

#include "rwsdk/src/engine.h"

#include <d3d9.h>

struct RwD3D9DisplayMode {
    RwUInt32 width;
    RwUInt32 height;
    RwUInt32 refreshRate;
    D3DFORMAT format;
    RwUInt32 flags; // bit 0: full screen
    RwUInt32 depth;
};

// One entry of the video-mode list.
struct RwD3D9VideoModeEntry {
    RwUInt32 width;
    RwUInt32 height;
    RwUInt32 refreshRate;
    RwUInt32 format;
    RwUInt32 flags; // 0 windowed, 1 full screen
};
static_assert(sizeof(RwD3D9VideoModeEntry) == 20);

typedef void (*RwD3D9DeviceRestoreCallBack)();

struct RwD3D9DriverState {
    IDirect3D9* d3d;
    RwUInt32 adapter;
    D3DDEVTYPE deviceType;
    HWND window;
    RwUInt32 displayModeCount;
    RwD3D9DisplayMode desktopMode;
    RwD3D9DisplayMode currentMode;
    RwInt32 currentModeIndex;
    RwD3D9VideoModeEntry* videoModes;
    RwInt32 videoModeCount;
    RwUInt32 refreshRateLimit = 0xFFFFFFFF; // no limit
    D3DPRESENT_PARAMETERS present;
    D3DCAPS9 caps;
    IDirect3DSurface9* defaultRenderTarget; // kept without a reference
    IDirect3DSurface9* defaultDepthStencil; // kept without a reference
    RwBool stencil;
    RwBool started;
    RwBool sceneOpen;
    RwBool mmx, sse, sse2, threeDNow;
    RwD3D9DeviceRestoreCallBack restoreCallback;
};

extern RwD3D9DriverState rwD3D9State;

// The device, null until the engine starts. Game code may use it directly (then it must invalidate the caches
// that it disturbs).
extern IDirect3DDevice9* RwD3D9Device;

RwBool RwD3D9System(RwInt32 request, void* pOut, void* pInOut, RwInt32 nIn);
RwDevice* RwD3D9DeviceRecordGet();
RwBool RwD3D9GetStandardFunctions(void* table, void* reserved, RwInt32 count);
void RwD3D9EngineSetRefreshRate(RwUInt32 rate);
const D3DCAPS9* RwD3D9GetCaps();

// Depth of a display or back-buffer format: 32, 16 or 0.
RwUInt32 RwD3D9FormatDepth(D3DFORMAT format);

// Around a device reset: release what the default pool holds, and make it again after a successful reset
// (the restore callback is called at the end).
void RwD3D9ReleaseDeviceResources();
RwBool RwD3D9RestoreDeviceResources();

RwBool RwD3D9HasHardwareTnL();
