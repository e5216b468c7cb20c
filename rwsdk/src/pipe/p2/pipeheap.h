// The pipeline heap: per-execution memory of pipeline nodes, made free again in one go by a reset.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwPipelineHeapBlockHeader;
struct RwPipelineHeapSuperBlock;

struct RwPipelineHeap {
    RwUInt32 superBlockSize;
    RwPipelineHeapSuperBlock* superBlocks;
    RwPipelineHeapBlockHeader** freeBlocks; // table of free blocks
    RwUInt32 entriesAlloced;
    RwUInt32 entriesUsed;
    RwBool dirty; // something was allocated since the last reset
};

RwPipelineHeap* RwPipelineHeapCreate(RwUInt32 size);
void RwPipelineHeapDestroy(RwPipelineHeap* heap);
void* RwPipelineHeapAlloc(RwPipelineHeap* heap, RwUInt32 size);
void RwPipelineHeapFree(RwPipelineHeap* heap, void* block);
RwBool RwPipelineHeapReset(RwPipelineHeap* heap);
