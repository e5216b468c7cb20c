// World objects: atomics and local lights tied to the leaf sectors they overlap, global lights listed by
// their world, and each camera's list of visible sectors; rebuilt whenever an object's frame synchronises.
#pragma once

#include "rwsdk/src/camera.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bawrld.h"

// A tie of an object to a leaf sector: in the sector's list and in the object's list.
struct RpTie {
    RwLLLink lWorldSectorInObject; // in the sector's atomic or light list
    RwLLLink lObjectInWorldSector; // in the object's sector list
    RpWorldSector* worldSector;
    void* object; // RpAtomic or RpLight
};

inline RpTie* _rpTieFromSectorLink(RwLLLink* link) {
    return reinterpret_cast<RpTie*>(link);
}
inline RpTie* _rpTieFromObjectLink(RwLLLink* link) {
    return reinterpret_cast<RpTie*>(reinterpret_cast<RwUInt8*>(link) - offsetof(RpTie, lObjectInWorldSector));
}

RpWorld* RpWorldAddClump(RpWorld* world, RpClump* clump);
RpWorld* RpWorldRemoveClump(RpWorld* world, RpClump* clump);
RpWorld* RpWorldAddLight(RpWorld* world, RpLight* light);
RpWorld* RpWorldRemoveLight(RpWorld* world, RpLight* light);
RpWorld* RpWorldAddCamera(RpWorld* world, RwCamera* camera);
RpWorld* RpWorldRemoveCamera(RpWorld* world, RwCamera* camera);
RpWorld* RpAtomicGetWorld(const RpAtomic* atomic);
RpWorld* RpClumpGetWorld(const RpClump* clump);
RpWorld* RpLightGetWorld(const RpLight* light);
RpWorld* RwCameraGetWorld(const RwCamera* camera);

// The camera's visible leaves, in the order of its last synchronisation's walk.
RwInt32 _rpCameraGetNumVisibleSectors(const RwCamera* camera);
RpWorldSector* const* _rpCameraGetVisibleSectors(const RwCamera* camera);
// Walks a (hand-built) world again: the ties of the atomic or light, or the camera's visible sectors.
void _rpAtomicRetie(RpAtomic* atomic);
void _rpLightRetie(RpLight* light);
void _rpCameraFindVisibleSectors(RwCamera* camera);
// Frees every tie of the leaf (at world destruction).
void _rpWorldSectorFreeTies(RpWorldSector* sector);

// The engine's render-frame counter: raised by each camera begin update in a world.
RwUInt16* _rpWorldRenderFrame();

// Engine module 0x509 with its camera, atomic, clump and light data (registered by the world plugin).
RwInt32 _rpWorldObjectsAttach();
