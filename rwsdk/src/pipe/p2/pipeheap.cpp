// The pipeline heap: blocks with 32-byte headers in address order inside one or more super blocks, a table
// of the free ones, and a reset that makes everything free at once.
#include "rwsdk/src/pipe/p2/pipeheap.h"

#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"

struct RwPipelineHeapBlockHeader {
    RwPipelineHeapBlockHeader* prev; // in address order within the super block
    RwPipelineHeapBlockHeader* next;
    size_t size;      // payload bytes
    size_t freeIndex; // position in the free table, or notFree
};

struct RwPipelineHeapSuperBlock {
    RwPipelineHeapSuperBlock* next;
    size_t size; // payload bytes behind this header
    size_t pad[2];
};

namespace {

constexpr RwUInt32 hintHeap = rwMEMHINTDUR_EVENT | rwID_PIPEMODULE;
constexpr RwUInt32 hintTable = rwMEMHINTFLAG_RESIZABLE | rwMEMHINTDUR_EVENT | rwID_PIPEMODULE;
constexpr size_t header = sizeof(RwPipelineHeapBlockHeader);
constexpr size_t notFree = ~static_cast<size_t>(0);
constexpr RwUInt32 tableGrowth = 8;
static_assert(header == 32, "heap block headers are 32 bytes");
static_assert(sizeof(RwPipelineHeapSuperBlock) % 16 == 0, "payloads stay aligned");

size_t RoundUp(size_t size) {
    return (size + 15) & ~static_cast<size_t>(15);
}

bool TableAdd(RwPipelineHeap* heap, RwPipelineHeapBlockHeader* block) {
    if (heap->entriesUsed == heap->entriesAlloced) {
        const RwUInt32 grown = heap->entriesAlloced + tableGrowth;
        auto* table = static_cast<RwPipelineHeapBlockHeader**>(
            RwRealloc(heap->freeBlocks, grown * sizeof(RwPipelineHeapBlockHeader*), hintTable));
        if (!table) {
            RwErrorSetCode(E_RW_NOMEM);
            return false;
        }
        heap->freeBlocks = table;
        heap->entriesAlloced = grown;
    }
    block->freeIndex = heap->entriesUsed;
    heap->freeBlocks[heap->entriesUsed++] = block;
    return true;
}

void TableRemove(RwPipelineHeap* heap, RwPipelineHeapBlockHeader* block) {
    RwPipelineHeapBlockHeader* last = heap->freeBlocks[--heap->entriesUsed];
    heap->freeBlocks[block->freeIndex] = last;
    last->freeIndex = block->freeIndex;
    block->freeIndex = notFree;
}

RwPipelineHeapBlockHeader* FirstBlock(RwPipelineHeapSuperBlock* super) {
    return reinterpret_cast<RwPipelineHeapBlockHeader*>(super + 1);
}

// One free block over the whole super block.
bool ResetSuperBlock(RwPipelineHeap* heap, RwPipelineHeapSuperBlock* super) {
    RwPipelineHeapBlockHeader* block = FirstBlock(super);
    block->prev = nullptr;
    block->next = nullptr;
    block->size = super->size - header;
    block->freeIndex = notFree;
    return TableAdd(heap, block);
}

RwPipelineHeapSuperBlock* AddSuperBlock(RwPipelineHeap* heap, size_t payload) {
    auto* super = static_cast<RwPipelineHeapSuperBlock*>(
        RwMalloc(sizeof(RwPipelineHeapSuperBlock) + payload, hintHeap));
    if (!super) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    super->size = payload;
    super->next = nullptr;
    if (!ResetSuperBlock(heap, super)) {
        RwFree(super);
        return nullptr;
    }
    // Kept in the order made, so that after a reset the first block is handed out first again.
    RwPipelineHeapSuperBlock** link = &heap->superBlocks;
    while (*link) {
        link = &(*link)->next;
    }
    *link = super;
    return super;
}

} // namespace

RwPipelineHeap* RwPipelineHeapCreate(RwUInt32 size) {
    auto* heap = static_cast<RwPipelineHeap*>(RwMalloc(sizeof(RwPipelineHeap), hintHeap));
    if (!heap) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    heap->superBlockSize = static_cast<RwUInt32>(RoundUp(size < 2 * header ? 2 * header : size));
    heap->superBlocks = nullptr;
    heap->freeBlocks = nullptr;
    heap->entriesAlloced = 0;
    heap->entriesUsed = 0;
    heap->dirty = FALSE;
    if (!AddSuperBlock(heap, heap->superBlockSize)) {
        RwFree(heap->freeBlocks);
        RwFree(heap);
        return nullptr;
    }
    return heap;
}

void RwPipelineHeapDestroy(RwPipelineHeap* heap) {
    while (RwPipelineHeapSuperBlock* super = heap->superBlocks) {
        heap->superBlocks = super->next;
        RwFree(super);
    }
    RwFree(heap->freeBlocks);
    RwFree(heap);
}

void* RwPipelineHeapAlloc(RwPipelineHeap* heap, RwUInt32 size) {
    const size_t need = RoundUp(size == 0 ? 1 : size);
    RwPipelineHeapBlockHeader* block = nullptr;
    for (RwUInt32 i = 0; i < heap->entriesUsed; i++) {
        if (heap->freeBlocks[i]->size >= need) {
            block = heap->freeBlocks[i];
            break;
        }
    }
    if (!block) {
        // A request beyond the free room opens another super block rather than failing the node.
        const size_t payload = need + header > heap->superBlockSize ? need + header : heap->superBlockSize;
        RwPipelineHeapSuperBlock* super = AddSuperBlock(heap, payload);
        if (!super) {
            return nullptr;
        }
        block = FirstBlock(super);
    }
    if (block->size >= need + 2 * header) {
        auto* rest =
            reinterpret_cast<RwPipelineHeapBlockHeader*>(reinterpret_cast<RwUInt8*>(block + 1) + need);
        rest->size = block->size - need - header;
        rest->prev = block;
        rest->next = block->next;
        if (block->next) {
            block->next->prev = rest;
        }
        block->next = rest;
        block->size = need;
        // The rest takes the block's place in the table.
        rest->freeIndex = block->freeIndex;
        heap->freeBlocks[rest->freeIndex] = rest;
        block->freeIndex = notFree;
    } else {
        TableRemove(heap, block);
    }
    heap->dirty = TRUE;
    return block + 1;
}

void RwPipelineHeapFree(RwPipelineHeap* heap, void* data) {
    RwPipelineHeapBlockHeader* block = static_cast<RwPipelineHeapBlockHeader*>(data) - 1;
    if (block->freeIndex != notFree) {
        return; // already free
    }
    if (block->next && block->next->freeIndex != notFree) {
        RwPipelineHeapBlockHeader* next = block->next;
        TableRemove(heap, next);
        block->size += next->size + header;
        block->next = next->next;
        if (next->next) {
            next->next->prev = block;
        }
    }
    if (block->prev && block->prev->freeIndex != notFree) {
        RwPipelineHeapBlockHeader* prev = block->prev;
        prev->size += block->size + header;
        prev->next = block->next;
        if (block->next) {
            block->next->prev = prev;
        }
        return; // prev is in the table already
    }
    TableAdd(heap, block);
}

RwBool RwPipelineHeapReset(RwPipelineHeap* heap) {
    heap->entriesUsed = 0;
    for (RwPipelineHeapSuperBlock* super = heap->superBlocks; super; super = super->next) {
        if (!ResetSuperBlock(heap, super)) {
            return FALSE;
        }
    }
    heap->dirty = FALSE;
    return TRUE;
}
