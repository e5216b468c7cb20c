// What tests and tools may ask of a device beyond Direct3D itself.
#pragma once

#include <d3d9.h>

#include <string>
#include <vector>

namespace D3D9 {

// Records every state, resource and draw call that reaches the device, one line each, redundant ones
// included: "SetRenderState(7, 1)". Objects appear by kind ("buffer", "texture", ...) or as "null".
void SetCallLogging(IDirect3DDevice9* device, bool on);
std::vector<std::string> TakeCallLog(IDirect3DDevice9* device);

// Makes the device lost: TestCooperativeLevel answers D3DERR_DEVICENOTRESET and Present D3DERR_DEVICELOST
// until a Reset, which fails while any default-pool resource is alive, as on a real lost device.
void LoseDevice(IDirect3DDevice9* device);

// For tests: formats that CheckDeviceFormat answers differently from the layer (accepted formats pass every
// check although resources of them cannot be made), until the profile is set again. An empty profile is the
// layer's own answer.
struct FormatProfile {
    std::vector<D3DFORMAT> refused;
    std::vector<D3DFORMAT> accepted;
};
void SetFormatProfile(const FormatProfile& profile);

// For tests: devices created while shader support is off report no shader versions and refuse shaders, as
// a device without them does; on by default.
void SetShaderSupport(bool on);

// Whether the back buffer is being drawn straight into the window's own frame buffer (a frame that began by
// clearing it all, in a window of its size and formats) rather than into its texture.
bool BackBufferInWindow(IDirect3DDevice9* device);

// Whether Present hands finished frames to a thread of their own that shows them (a rasteriser on the CPU
// under X11), and, for tests, waiting until every frame handed over is in the window.
bool PresentsFromItsOwnThread(IDirect3DDevice9* device);
void WaitForPresentedFrames(IDirect3DDevice9* device);

// Fixed-function programs built so far.
size_t ProgramCount(IDirect3DDevice9* device);

// Indexed draws so far whose indices fall outside the vertices they declare (MinVertexIndex and
// NumVertices): a caller's fault, which Direct3D's own runtime does not catch either.
size_t IndexRangeFaults(IDirect3DDevice9* device);

} // namespace D3D9
