// Free lists: blocks of equal-sized entries with a used-bitmap per block.
#pragma once

#include "rwsdk/src/plcore/types.h"

enum RwFreeListFlag : RwUInt32 {
    rwFREELISTFLAG_STATIC = 1,     // the header's storage belongs to the caller
    rwFREELISTFLAG_FREEBLOCKS = 2, // a block is given back as soon as its last entry is freed
};

struct RwFreeList {
    RwUInt32 entrySize; // requested size rounded up to the alignment
    RwUInt32 entriesPerBlock;
    RwUInt32 heapSize; // used-bitmap bytes per block
    RwUInt32 alignment;
    RwLinkList blockList;
    RwUInt32 flags;
    RwLLLink link; // in the global list of free lists
    RwUInt32 hint; // for the blocks
};

typedef void (*RwFreeListCallBack)(void* entry, void* data);

RwFreeList* RwFreeListCreate(RwInt32 entrySize, RwInt32 entriesPerBlock, RwInt32 alignment, RwUInt32 hint);
RwFreeList* RwFreeListCreateAndPreallocateSpace(RwInt32 entrySize, RwInt32 entriesPerBlock, RwInt32 alignment,
                                                RwInt32 numBlocksToPreallocate, RwFreeList* fl,
                                                RwUInt32 hint);
RwBool RwFreeListDestroy(RwFreeList* freeList);
void* RwFreeListAlloc(RwFreeList* freeList, RwUInt32 hint);
// Null when the entry lies in none of the free list's blocks or is not in use.
RwFreeList* RwFreeListFree(RwFreeList* freeList, void* entry);
RwInt32 RwFreeListPurge(RwFreeList* freeList);
RwInt32 RwFreeListPurgeAllFreeLists();
// The callback may free the entry it is given.
RwFreeList* RwFreeListForAllUsed(RwFreeList* freeList, RwFreeListCallBack fpCallBack, void* pData);

// Whether free lists hand out their own entries; off, Create preallocates nothing and the engine's entry
// functions give separate allocations of the entry size.
void RwFreeListSetEnabled(RwBool enabled);
RwBool RwFreeListGetEnabled();

// Entries as the engine's own code takes and gives them: through the engine instance's entry functions,
// so that the free-lists-off mode applies everywhere.
void* RwFreeListEntryAlloc(RwFreeList* freeList, RwUInt32 hint);
RwFreeList* RwFreeListEntryFree(RwFreeList* freeList, void* entry);

// The entry functions installed with free lists off.
void* _rwFreeListAllocSeparate(RwFreeList* freeList, RwUInt32 hint);
RwFreeList* _rwFreeListFreeSeparate(RwFreeList* freeList, void* entry);

// The headers' free list, made and destroyed by the memory module.
RwBool _rwFreeListModuleOpen();
void _rwFreeListModuleClose();
