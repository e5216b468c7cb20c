// What the game keeps on every atomic: its name from the model file's user data, and the level-of-detail
// geometries with which one atomic draws a simpler shape far away.
#pragma once

#include "rwsdk/world/baclump.h"

#include <cstdint>

namespace Rw {

// The name of the atomic's frame user data ("1.blindName" or "3dsmax User Properties"), else of its
// geometry's ("Name"), else ""; never null.
const char* GetAtomicName(const RpAtomic* atomic);
// The name of a frame's user data ("1.blindName" or "3dsmax User Properties"), or ""; never null.
const char* GetFrameName(const RwFrame* frame);
// The first frame of the hierarchy below root (root included, depth first) with that name, ignoring case;
// null when there is none.
RwFrame* FindNamedFrame(RwFrame* root, const char* name);
// For RpClumpForAllAtomics: data points at a const char* holding a name; the first atomic with that name
// (ignoring case) replaces it with its own name and stops the walk.
RpAtomic* MatchAtomicName(RpAtomic* atomic, void* data);

struct AtomicLodData {
    static constexpr RwUInt32 PluginId = 0x169D90A;
    static constexpr int Levels = 10;

    uint32_t index;
    RpGeometry* geometries[Levels];
    RpAtomicCallBackRender savedRenderCallback;

    // Between the engine's initialisation and its opening. False when the registration fails.
    static bool RegisterPlugin();
    // Null when the plugin is not registered.
    static AtomicLodData* Get(const RpAtomic* atomic);
    // Releases the slot's geometry, stores the new one (or none) with a reference of its own.
    static void SetGeometry(RpAtomic* atomic, int slot, RpGeometry* geometry);
    // Draws the geometry of the chosen level (nothing when its slot is empty) with the saved callback; the
    // atomic's own geometry is back in place afterwards.
    static RpAtomic* RenderCallback(RpAtomic* atomic);
};

} // namespace Rw
