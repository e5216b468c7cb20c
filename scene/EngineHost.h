// Starts and stops the rendering engine on the game window, picks and applies the display mode, owns the
// main camera's frame-buffer and depth rasters, and puts the default device states back every frame.
#pragma once

#include <d3d9.h>
#include <windows.h>

#include <cstdint>

struct RwRaster;
struct RwTexture;
struct RwTextureDictionary;

namespace Rw {

extern HWND MainWindow;
extern IDirect3DDevice9* Direct3DDevice;
// The main camera's frame buffer and depth buffer, the size of the display.
extern RwRaster* ColourRaster;
extern RwRaster* DepthRaster;
extern bool EngineStarted;
extern bool ImageFormatsRegistered;

// The engine video mode with that size and depth (any size or depth below 1 asks for the windowed mode), -1
// when the adapter has none, 0 when the engine cannot even be opened to look.
int FindVideoMode(HWND window, int subsystem, int width, int height, int depth);
bool StartEngine(uint32_t resourceArenaKB, int subsystem, HWND window, int videoMode, uint32_t refreshRate);
// Nothing when the engine is not running.
void StopEngine();
// Nothing before the engine has started.
void ResizeDisplay(int width, int height);
// The default render, texture-stage and sampler states, through the engine's caches.
void ResetRenderStates();
// The image formats, mipmapping, and the DDS-first texture reader in place of the engine's (kept in
// DefaultTextureRead); once, after the engine has started.
void RegisterImageFormats();
extern RwTexture* (*DefaultTextureRead)(const char* name, const char* maskName);
RwTexture* TextureReadCallback(const char* name, const char* maskName);
// For a walk over every dictionary: destroys the dictionary with its textures, however many references they
// hold, and goes on to the next.
RwTextureDictionary* DestroyTextureDictionary(RwTextureDictionary* dictionary, void* data);

} // namespace Rw
