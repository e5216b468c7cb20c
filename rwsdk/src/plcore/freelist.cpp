#include "rwsdk/src/plcore/freelist.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/memory.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Every free list made by Create, newest first.
RwLinkList freeListList = {{&freeListList.link, &freeListList.link}};

// Headers of free lists made without caller storage are entries of this one.
RwFreeList headerFreeListStorage;
RwFreeList* headerFreeList = nullptr;

bool freeListsEnabled = true;

// A block: its links in the block list, the used bitmap (bit 7 of byte 0 is entry 0), padding up to the
// alignment, then the entries. The links are sized with sizeof: with 64-bit pointers they take 16 bytes,
// and a size that assumed 8 would make every block short.
struct Block {
    RwLLLink link;
};

inline RwUInt8* BlockBitmap(Block* block) {
    return reinterpret_cast<RwUInt8*>(block + 1);
}

inline RwUInt8* BlockEntries(const RwFreeList* fl, Block* block) {
    uintptr_t p = reinterpret_cast<uintptr_t>(BlockBitmap(block) + fl->heapSize);
    p = (p + fl->alignment - 1) & ~static_cast<uintptr_t>(fl->alignment - 1);
    return reinterpret_cast<RwUInt8*>(p);
}

inline size_t BlockBytes(const RwFreeList* fl) {
    return sizeof(Block) + fl->heapSize + (fl->alignment - 1) + size_t(fl->entriesPerBlock) * fl->entrySize;
}

inline Block* BlockFromLink(RwLLLink* link) {
    return rwLLLinkGetData(link, Block, link);
}

Block* NewBlock(RwFreeList* fl, RwUInt32 hint) {
    auto* block = static_cast<Block*>(RwMalloc(BlockBytes(fl), hint));
    if (!block) {
        return nullptr;
    }
    std::memset(BlockBitmap(block), 0, fl->heapSize);
    rwLinkListAddLLLink(&fl->blockList, &block->link);
    return block;
}

void FreeBlock(Block* block) {
    rwLLLinkRemove(&block->link);
    RwFree(block);
}

void FreeAllBlocks(RwFreeList* fl) {
    while (!rwLinkListEmpty(&fl->blockList)) {
        FreeBlock(BlockFromLink(rwLinkListGetFirstLLLink(&fl->blockList)));
    }
}

void GiveHeaderBack(RwFreeList* fl) {
    if (fl->flags & rwFREELISTFLAG_STATIC) {
        return;
    }
    if (headerFreeList && fl != headerFreeList && RwFreeListFree(headerFreeList, fl)) {
        return;
    }
    RwFree(fl);
}

bool BlockEmpty(const RwFreeList* fl, Block* block) {
    const RwUInt8* bitmap = BlockBitmap(block);
    for (RwUInt32 i = 0; i < fl->heapSize; ++i) {
        if (bitmap[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

RwFreeList* RwFreeListCreateAndPreallocateSpace(RwInt32 entrySize, RwInt32 entriesPerBlock, RwInt32 alignment,
                                                RwInt32 numBlocksToPreallocate, RwFreeList* fl,
                                                RwUInt32 hint) {
    if (!freeListsEnabled) {
        numBlocksToPreallocate = 0;
    }
    if (alignment == 0) {
        alignment = 4;
    }
    if (entrySize <= 0 || entriesPerBlock <= 0 || alignment < 0 ||
        !std::has_single_bit(RwUInt32(alignment)) || numBlocksToPreallocate < 0) {
        return nullptr;
    }
    // Entries hold pointers, and pointers are 8 bytes here: no entry is aligned below a pointer's alignment.
    alignment = std::max<RwInt32>(alignment, alignof(void*));

    RwUInt32 flags = rwFREELISTFLAG_FREEBLOCKS;
    if (fl) {
        flags |= rwFREELISTFLAG_STATIC;
    } else {
        RwUInt32 headerHint = hint & rwMEMHINTDUR_MASK;
        fl = static_cast<RwFreeList*>(headerFreeList ? RwFreeListAlloc(headerFreeList, headerHint)
                                                     : RwMalloc(sizeof(RwFreeList), headerHint));
        if (!fl) {
            return nullptr;
        }
    }
    fl->flags = flags;
    fl->alignment = RwUInt32(alignment);
    fl->entrySize = (RwUInt32(entrySize) + fl->alignment - 1) & ~(fl->alignment - 1);
    fl->entriesPerBlock = RwUInt32(entriesPerBlock);
    fl->heapSize = (RwUInt32(entriesPerBlock) + 7) / 8;
    fl->hint = hint;
    rwLinkListInitialize(&fl->blockList);

    for (RwInt32 i = 0; i < numBlocksToPreallocate; ++i) {
        if (!NewBlock(fl, hint)) {
            FreeAllBlocks(fl);
            GiveHeaderBack(fl);
            return nullptr;
        }
    }
    rwLinkListAddLLLink(&freeListList, &fl->link);
    return fl;
}

RwFreeList* RwFreeListCreate(RwInt32 entrySize, RwInt32 entriesPerBlock, RwInt32 alignment, RwUInt32 hint) {
    return RwFreeListCreateAndPreallocateSpace(entrySize, entriesPerBlock, alignment, 1, nullptr, hint);
}

RwBool RwFreeListDestroy(RwFreeList* fl) {
    rwLLLinkRemove(&fl->link);
    FreeAllBlocks(fl);
    GiveHeaderBack(fl);
    return TRUE;
}

void* RwFreeListAlloc(RwFreeList* fl, RwUInt32 hint) {
    RwLLLink* end = rwLinkListGetTerminator(&fl->blockList);
    for (RwLLLink* cur = rwLinkListGetFirstLLLink(&fl->blockList); cur != end; cur = cur->next) {
        Block* block = BlockFromLink(cur);
        RwUInt8* bitmap = BlockBitmap(block);
        // Eight bitmap bytes at a time, the first byte's bit 7 first. The block goes on for at least eight
        // bytes behind its bitmap (padding up to the alignment of 8 or more, then the entries), so whole
        // words can be read; bytes past the bitmap count as used.
        for (RwUInt32 i = 0; i < fl->heapSize; i += 8) {
            RwUInt64 word;
            std::memcpy(&word, bitmap + i, sizeof(word));
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word); // byte 0 into the top bits
            if (fl->heapSize - i < 8) {
                word |= ~RwUInt64(0) >> (8 * (fl->heapSize - i));
            }
            if (word == ~RwUInt64(0)) {
                continue;
            }
            RwUInt32 bit = RwUInt32(std::countl_one(word));
            RwUInt32 index = i * 8 + bit;
            if (index >= fl->entriesPerBlock) {
                break; // bits past the count are never handed out
            }
            bitmap[i + bit / 8] |= RwUInt8(0x80u >> (bit % 8));
            return BlockEntries(fl, block) + size_t(index) * fl->entrySize;
        }
    }
    Block* block = NewBlock(fl, hint);
    if (!block) {
        return nullptr;
    }
    BlockBitmap(block)[0] = 0x80;
    return BlockEntries(fl, block);
}

RwFreeList* RwFreeListFree(RwFreeList* fl, void* entry) {
    auto* address = static_cast<RwUInt8*>(entry);
    const size_t areaBytes = size_t(fl->entriesPerBlock) * fl->entrySize;
    RwLLLink* end = rwLinkListGetTerminator(&fl->blockList);
    for (RwLLLink* cur = rwLinkListGetFirstLLLink(&fl->blockList); cur != end; cur = cur->next) {
        Block* block = BlockFromLink(cur);
        RwUInt8* start = BlockEntries(fl, block);
        if (address < start || address >= start + areaBytes) {
            continue;
        }
        // An address inside an entry, or an entry not in use, is refused rather than corrupting the bitmap.
        size_t offset = size_t(address - start);
        if (offset % fl->entrySize != 0) {
            return nullptr;
        }
        size_t index = offset / fl->entrySize;
        RwUInt8* bitmap = BlockBitmap(block);
        RwUInt8 mask = RwUInt8(0x80u >> (index & 7));
        if (!(bitmap[index >> 3] & mask)) {
            return nullptr;
        }
        bitmap[index >> 3] &= RwUInt8(~mask);
        if ((fl->flags & rwFREELISTFLAG_FREEBLOCKS) && BlockEmpty(fl, block)) {
            FreeBlock(block);
        }
        return fl;
    }
    return nullptr;
}

RwInt32 RwFreeListPurge(RwFreeList* fl) {
    RwInt32 freed = 0;
    RwLLLink* end = rwLinkListGetTerminator(&fl->blockList);
    RwLLLink* cur = rwLinkListGetFirstLLLink(&fl->blockList);
    while (cur != end) {
        RwLLLink* next = cur->next;
        Block* block = BlockFromLink(cur);
        if (BlockEmpty(fl, block)) {
            FreeBlock(block);
            ++freed;
        } else {
            rwLLLinkRemove(cur);
            rwLinkListAddLLLink(&fl->blockList, cur);
        }
        cur = next;
    }
    return RwInt32(fl->entrySize) * freed;
}

RwInt32 RwFreeListPurgeAllFreeLists() {
    RwInt32 total = 0;
    RwLLLink* end = rwLinkListGetTerminator(&freeListList);
    for (RwLLLink* cur = rwLinkListGetFirstLLLink(&freeListList); cur != end; cur = cur->next) {
        total += RwFreeListPurge(rwLLLinkGetData(cur, RwFreeList, link));
    }
    return total;
}

RwFreeList* RwFreeListForAllUsed(RwFreeList* fl, RwFreeListCallBack fpCallBack, void* pData) {
    auto* scratch = static_cast<RwUInt8*>(RwMalloc(fl->heapSize, rwMEMHINTDUR_FUNCTION));
    if (!scratch) {
        return nullptr;
    }
    RwLLLink* end = rwLinkListGetTerminator(&fl->blockList);
    RwLLLink* cur = rwLinkListGetFirstLLLink(&fl->blockList);
    while (cur != end) {
        // The callback may free entries and so this block: step on before calling it.
        RwLLLink* next = cur->next;
        Block* block = BlockFromLink(cur);
        RwUInt8* entries = BlockEntries(fl, block);
        std::memcpy(scratch, BlockBitmap(block), fl->heapSize);
        for (RwUInt32 i = 0; i < fl->heapSize; ++i) {
            for (RwUInt32 bit = 0; bit < 8; ++bit) {
                if (scratch[i] & (0x80u >> bit)) {
                    fpCallBack(entries + size_t(i * 8 + bit) * fl->entrySize, pData);
                }
            }
        }
        cur = next;
    }
    RwFree(scratch);
    return fl;
}

void RwFreeListSetEnabled(RwBool enabled) {
    freeListsEnabled = enabled != FALSE;
}
RwBool RwFreeListGetEnabled() {
    return freeListsEnabled;
}

void* RwFreeListEntryAlloc(RwFreeList* fl, RwUInt32 hint) {
    return RWSRCGLOBAL(memoryAlloc)(fl, hint);
}
RwFreeList* RwFreeListEntryFree(RwFreeList* fl, void* entry) {
    return RWSRCGLOBAL(memoryFree)(fl, entry);
}

void* _rwFreeListAllocSeparate(RwFreeList* fl, RwUInt32 hint) {
    return RwMalloc(fl->entrySize, hint);
}
RwFreeList* _rwFreeListFreeSeparate(RwFreeList* fl, void* entry) {
    RwFree(entry);
    return fl;
}

RwBool _rwFreeListModuleOpen() {
    rwLinkListInitialize(&freeListList);
    headerFreeList = RwFreeListCreateAndPreallocateSpace(sizeof(RwFreeList), 16, 4, 0, &headerFreeListStorage,
                                                         rwMEMHINTDUR_GLOBAL);
    if (!headerFreeList) {
        return FALSE;
    }
    rwLLLinkRemove(&headerFreeList->link);
    return TRUE;
}

void _rwFreeListModuleClose() {
    while (!rwLinkListEmpty(&freeListList)) {
        RwFreeListDestroy(rwLLLinkGetData(rwLinkListGetFirstLLLink(&freeListList), RwFreeList, link));
    }
    if (headerFreeList) {
        RwFreeList* headers = headerFreeList;
        headerFreeList = nullptr;
        FreeAllBlocks(headers);
    }
}
