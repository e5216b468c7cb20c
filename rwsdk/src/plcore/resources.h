// The resource arena: instanced data lives in entries of one fixed block, taken back least recently used
// first when room is needed. The owner keeps a pointer to its entry, which the arena clears when it takes
// the entry back.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwResourceEntry;
typedef void (*RwResourcesDestroyNotify)(RwResourceEntry* entry);

// The header of an entry; the data follows it (sizeof(RwResourceEntry) bytes from its start).
struct RwResourceEntry {
    RwLLLink link; // in the current or the previous-frames list; null links: in no list
    RwInt32 size;  // of the data
    void* owner;
    RwResourceEntry** ownerRef; // the owner's field that points at this entry
    RwResourcesDestroyNotify destroyNotify;
};

// First-fit heap over the arena block; the record lives at the start of the block.
struct RwResourceHeap {
    void* firstBlock;
    void* freeBlocks; // the lowest free block
};

RwResourceEntry* RwResourcesAllocateResourceEntry(void* owner, RwResourceEntry** ownerRef, RwInt32 size,
                                                  RwResourcesDestroyNotify destroyNotify);
RwBool RwResourcesFreeResourceEntry(RwResourceEntry* entry);
// Marks the entry as used in this frame: it goes to the head of the current list.
RwResourceEntry* RwResourcesUseResourceEntry(RwResourceEntry* entry);
RwBool RwResourcesEmptyArena();
// Called once a frame when the camera's raster is shown.
void RwResourcesNextFrame();

RwUInt32 RwResourcesGetArenaSize();
RwUInt32 RwResourcesGetArenaUsage();
// Bytes taken back from the current frame's list since the last frame change.
RwUInt32 RwResourcesGetArenaThisFrameTakeBack();

RwBool RwResourceHeapInit(RwResourceHeap* heap, void* block, size_t size);
void* RwResourceHeapAlloc(RwResourceHeap* heap, size_t size);
void RwResourceHeapFree(void* data);

// Core module 0x40B.
RwInt32 _rwResourcesModuleAttach();
