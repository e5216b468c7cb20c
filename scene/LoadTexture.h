// Textures by name for the game's objects, read through the engine's texture reader (DDS files first).
#pragma once

struct RwTexture;

namespace Rw {

// The name's extension, if any, is dropped; on success the texture gets the filter mode and the addressing
// (low 4 bits) in u and v. Null when no file gives the texture.
RwTexture* LoadTexture(const char* name, int addressing, int filter);

} // namespace Rw
