// Model files: the clump of a *.dff file, and the clump cache's reader, cloner and destroyer.
#pragma once

struct RpClump;

namespace Rw {

// A new clump read from the model file (engine path), or null when the file cannot be opened, holds no
// clump chunk or the clump cannot be read. Each atomic's geometry sphere is computed again from its first
// morph target, and every atomic is set to render and collide.
RpClump* ReadClumpFile(const char* path);
// Lets Base::ClumpCache read models with ReadClumpFile and hand out clones of its masters.
void InstallClumpCache();

} // namespace Rw
