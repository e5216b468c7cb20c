// Starts and stops the rendering engine on the game window, picks and applies the display mode, owns the
// main camera's frame-buffer and depth rasters, and puts the default device states back every frame.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <cstdint>
#include <string>

struct RwRaster;
typedef RwRaster RtCharset;
struct RwTexture;
struct RwTextureDictionary;
struct RpAtomic;

namespace Rw {

extern HWND MainWindow;
extern IDirect3DDevice9* Direct3DDevice;
// The main camera's frame buffer and depth buffer, the size of the display.
extern RwRaster* ColourRaster;
extern RwRaster* DepthRaster;
// The engine's debug character set: opaque black on a clear background.
extern RtCharset* DebugCharset;
extern bool EngineStarted;
// Why the last StartEngine failed, as a sentence for the player; empty after a start that worked.
extern std::string StartFailure;
extern bool ImageFormatsRegistered;
// A black triangle collapsed to the origin on its own frame, for the clouds and the terrain.
extern RpAtomic* DummyAtomic;

// The engine video mode with that size and depth (any size or depth below 1 asks for the windowed mode), -1
// when the adapter has none or the engine cannot even be opened to look.
int FindVideoMode(HWND window, int subsystem, int width, int height, int depth);
// The full-screen mode of that depth nearest in size (its size in the last two), or 0, the windowed mode,
// when there is none.
int NearestVideoMode(HWND window, int subsystem, int width, int height, int depth, int& foundWidth,
                     int& foundHeight);
bool StartEngine(uint32_t resourceArenaKB, int subsystem, HWND window, int videoMode, uint32_t refreshRate);
// Nothing when the engine is not running.
void StopEngine();
// Nothing before the engine has started.
void ResizeDisplay(int width, int height);
// The default render, texture-stage and sampler states, through the engine's caches.
void ResetRenderStates();
// Gamma ramp of the display: entry i of channel c is i * rgb[c] * factor, within 0..65535.
void SetGammaRamp(const uint8_t rgb[3], float factor);
// Returns at the start of a vertical blank (at once when the device cannot tell, after 50 ms at most).
void WaitForVerticalBlank();

// The value in force of a render, texture-stage or sampler state: the engine cache's, or, where the cache
// does not know it (a state nobody has set since the device started), the device's own. Saving the cache's
// unknown marker and putting it back would send 0xFFFFFFFF to the device.
uint32_t RenderStateInForce(uint32_t state);
uint32_t TextureStageStateInForce(uint32_t stage, uint32_t type);
uint32_t SamplerStateInForce(uint32_t sampler, uint32_t type);

// Device states a drawing routine changes, saved once each and put back by Restore. Render states are saved
// by the user into the same record (RwD3D9GetRenderState, then set the flag) or with SetRenderState.
struct SavedRenderStates {
    // Direct3D 9's state numbers below these; the first four stages.
    static constexpr uint32_t RenderStates = 210, Stages = 4, SamplerStates = 14, StageStates = 33;

    uint8_t renderStateChanged[RenderStates] = {};
    uint32_t renderStateValue[RenderStates] = {};
    uint8_t samplerStateChanged[Stages][SamplerStates] = {};
    uint32_t samplerStateValue[Stages][SamplerStates] = {};
    uint8_t textureStageStateChanged[Stages][StageStates] = {};
    uint32_t textureStageStateValue[Stages][StageStates] = {};

    void SetRenderState(uint32_t state, uint32_t value);
    void SetSamplerState(uint32_t sampler, uint32_t state, uint32_t value);
    void SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value);
    // The flags stay set: a second Restore puts the same values back.
    void Restore() const;
};

// The image formats, mipmapping, and the DDS-first texture reader in place of the engine's (kept in
// DefaultTextureRead); once, after the engine has started.
void RegisterImageFormats();
extern RwTexture* (*DefaultTextureRead)(const char* name, const char* maskName);
// A texture that neither reader finds is said on stderr, once a name.
RwTexture* TextureReadCallback(const char* name, const char* maskName);
// For a walk over every dictionary: destroys the dictionary with its textures, however many references they
// hold, and goes on to the next.
RwTextureDictionary* DestroyTextureDictionary(RwTextureDictionary* dictionary, void* data);

} // namespace Rw
