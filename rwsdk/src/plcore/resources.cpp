// The resource arena: one block given to the engine at init, a first-fit heap over it, and two lists of
// entries (this frame's and the frames' before) so that the least recently used entry goes first.
#include "rwsdk/src/plcore/resources.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"

namespace {

constexpr RwUInt32 hintArena = rwMEMHINTDUR_GLOBAL | rwID_RESOURCESMODULE;
constexpr size_t granule = 32;
constexpr RwUInt32 blockUsed = 1;

// Every heap block starts with this 32-byte header.
struct HeapBlock {
    RwResourceHeap* heap;
    HeapBlock* next;
    HeapBlock* prev;
    RwUInt32 size; // payload, a multiple of 32
    RwUInt32 flags;
};
static_assert(sizeof(HeapBlock) == granule, "heap block headers are one granule");

struct ResourcesGlobals {
    RwUInt32 arenaSize;
    RwUInt32 bytesInUse;
    RwUInt32 takenBackThisFrame;
    RwResourceHeap* heap;
    RwLinkList lists[2];
    RwLinkList* current;
    RwLinkList* previous;
    void* block;
};

RwModuleInfo resourcesModule;

ResourcesGlobals* Globals() {
    return RWMODULEDATA(ResourcesGlobals, resourcesModule);
}

size_t RoundUp(size_t value) {
    return (value + granule - 1) & ~(granule - 1);
}

void Absorb(HeapBlock* block, HeapBlock* next) {
    block->size += next->size + static_cast<RwUInt32>(granule);
    block->next = next->next;
    if (next->next) {
        next->next->prev = block;
    }
}

// Destroy-notify, owner's reference cleared, out of its list, memory back.
void TakeBack(ResourcesGlobals* globals, RwResourceEntry* entry) {
    if (entry->destroyNotify) {
        entry->destroyNotify(entry);
    }
    if (entry->ownerRef) {
        *entry->ownerRef = nullptr;
    }
    if (!entry->link.next) {
        // Made by hand outside the arena (instancing for conversion only).
        RwFree(entry);
        return;
    }
    rwLLLinkRemove(&entry->link);
    globals->bytesInUse -= static_cast<RwUInt32>(entry->size);
    RwResourceHeapFree(entry);
}

RwResourceEntry* Tail(RwLinkList* list) {
    return rwLinkListEmpty(list) ? nullptr : rwLLLinkGetData(list->link.prev, RwResourceEntry, link);
}

void EmptyList(ResourcesGlobals* globals, RwLinkList* list) {
    while (RwResourceEntry* entry = Tail(list)) {
        TakeBack(globals, entry);
    }
}

void* ResourcesOpen(void* instance, RwInt32 offset, RwInt32) {
    resourcesModule.globalsOffset = offset;
    auto* globals = RWPLUGINOFFSET(ResourcesGlobals, instance, offset);
    globals->arenaSize = RwEngineInstance->resArenaInitSize;
    globals->bytesInUse = 0;
    globals->takenBackThisFrame = 0;
    globals->heap = nullptr;
    globals->block = nullptr;
    rwLinkListInitialize(&globals->lists[0]);
    rwLinkListInitialize(&globals->lists[1]);
    globals->current = &globals->lists[0];
    globals->previous = &globals->lists[1];
    if (globals->arenaSize > 0) {
        globals->block = RwMalloc(globals->arenaSize, hintArena);
        if (!globals->block) {
            RwErrorSetCode(E_RW_NOMEM);
            return nullptr;
        }
        auto* heap = static_cast<RwResourceHeap*>(globals->block);
        if (!RwResourceHeapInit(heap, globals->block, globals->arenaSize)) {
            RwErrorSetCode(E_RW_RESOURCEARENA);
            RwFree(globals->block);
            globals->block = nullptr;
            return nullptr;
        }
        globals->heap = heap;
    }
    resourcesModule.numInstances++;
    return instance;
}

void* ResourcesClose(void* instance, RwInt32 offset, RwInt32) {
    auto* globals = RWPLUGINOFFSET(ResourcesGlobals, instance, offset);
    RwResourcesEmptyArena();
    if (globals->block) {
        RwFree(globals->block);
        globals->block = nullptr;
        globals->heap = nullptr;
    }
    resourcesModule.numInstances--;
    return instance;
}

} // namespace

RwInt32 _rwResourcesModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(ResourcesGlobals), rwID_RESOURCESMODULE, ResourcesOpen,
                                  ResourcesClose);
}

RwBool RwResourceHeapInit(RwResourceHeap* heap, void* block, size_t size) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + sizeof(RwResourceHeap) + granule - 1) & ~(granule - 1);
    const uintptr_t end = (start + size) & ~(granule - 1);
    if (end <= first || end - first < 2 * granule) {
        return FALSE;
    }
    auto* whole = reinterpret_cast<HeapBlock*>(first);
    whole->heap = heap;
    whole->next = nullptr;
    whole->prev = nullptr;
    whole->size = static_cast<RwUInt32>(end - first - granule);
    whole->flags = 0;
    heap->firstBlock = whole;
    heap->freeBlocks = whole;
    return TRUE;
}

void* RwResourceHeapAlloc(RwResourceHeap* heap, size_t size) {
    size = RoundUp(size);
    auto* block = static_cast<HeapBlock*>(heap->freeBlocks);
    while (block && ((block->flags & blockUsed) || block->size < size)) {
        block = block->next;
    }
    if (!block) {
        return nullptr;
    }
    if (block->size > size + 2 * granule) {
        auto* rest = reinterpret_cast<HeapBlock*>(reinterpret_cast<RwUInt8*>(block + 1) + size);
        rest->heap = heap;
        rest->size = block->size - static_cast<RwUInt32>(size + granule);
        rest->flags = 0;
        rest->prev = block;
        rest->next = block->next;
        if (block->next) {
            block->next->prev = rest;
        }
        block->next = rest;
        block->size = static_cast<RwUInt32>(size);
        if (rest->next && !(rest->next->flags & blockUsed)) {
            Absorb(rest, rest->next);
        }
    }
    if (block == heap->freeBlocks) {
        HeapBlock* next = block->next;
        while (next && (next->flags & blockUsed)) {
            next = next->next;
        }
        heap->freeBlocks = next;
    }
    block->flags |= blockUsed;
    return block + 1;
}

void RwResourceHeapFree(void* data) {
    HeapBlock* block = static_cast<HeapBlock*>(data) - 1;
    RwResourceHeap* heap = block->heap;
    block->flags &= ~blockUsed;
    if (!heap->freeBlocks || block < heap->freeBlocks) {
        heap->freeBlocks = block;
    }
    if (block->prev && !(block->prev->flags & blockUsed)) {
        HeapBlock* prev = block->prev;
        Absorb(prev, block);
        if (heap->freeBlocks == block) {
            heap->freeBlocks = prev;
        }
        block = prev;
    }
    if (block->next && !(block->next->flags & blockUsed)) {
        Absorb(block, block->next);
    }
}

RwResourceEntry* RwResourcesAllocateResourceEntry(void* owner, RwResourceEntry** ownerRef, RwInt32 size,
                                                  RwResourcesDestroyNotify destroyNotify) {
    ResourcesGlobals* globals = Globals();
    if (size < 0 || !globals->heap) {
        if (ownerRef) {
            *ownerRef = nullptr;
        }
        RwErrorSetCode(E_RW_RESOURCEARENA);
        return nullptr;
    }
    for (;;) {
        void* memory =
            RwResourceHeapAlloc(globals->heap, sizeof(RwResourceEntry) + static_cast<size_t>(size));
        if (memory) {
            auto* entry = static_cast<RwResourceEntry*>(memory);
            rwLinkListAddLLLink(globals->current, &entry->link);
            entry->size = size;
            entry->owner = owner;
            entry->ownerRef = ownerRef;
            entry->destroyNotify = destroyNotify;
            globals->bytesInUse += static_cast<RwUInt32>(size);
            if (ownerRef) {
                *ownerRef = entry;
            }
            return entry;
        }
        // No room: the oldest entry of the frames before goes first, this frame's only when none is left.
        RwResourceEntry* victim = Tail(globals->previous);
        if (!victim) {
            victim = Tail(globals->current);
            if (victim) {
                globals->takenBackThisFrame += static_cast<RwUInt32>(victim->size);
            }
        }
        if (!victim) {
            if (ownerRef) {
                *ownerRef = nullptr;
            }
            RwErrorSetCode(E_RW_RESOURCEARENA);
            return nullptr;
        }
        TakeBack(globals, victim);
    }
}

RwBool RwResourcesFreeResourceEntry(RwResourceEntry* entry) {
    TakeBack(Globals(), entry);
    return TRUE;
}

RwResourceEntry* RwResourcesUseResourceEntry(RwResourceEntry* entry) {
    if (entry->link.next) {
        rwLLLinkRemove(&entry->link);
        rwLinkListAddLLLink(Globals()->current, &entry->link);
    }
    return entry;
}

RwBool RwResourcesEmptyArena() {
    ResourcesGlobals* globals = Globals();
    EmptyList(globals, globals->previous);
    EmptyList(globals, globals->current);
    rwLinkListInitialize(globals->current);
    rwLinkListInitialize(globals->previous);
    globals->takenBackThisFrame = 0;
    return TRUE;
}

void RwResourcesNextFrame() {
    ResourcesGlobals* globals = Globals();
    RwLinkList* current = globals->current;
    RwLinkList* previous = globals->previous;
    // The frames before are older than this one: they join behind this frame's entries.
    if (!rwLinkListEmpty(previous)) {
        RwLLLink* first = previous->link.next;
        RwLLLink* last = previous->link.prev;
        RwLLLink* tail = current->link.prev;
        tail->next = first;
        first->prev = tail;
        last->next = &current->link;
        current->link.prev = last;
        rwLinkListInitialize(previous);
    }
    globals->previous = current;
    globals->current = previous;
    globals->takenBackThisFrame = 0;
}

RwUInt32 RwResourcesGetArenaSize() {
    return Globals()->arenaSize;
}
RwUInt32 RwResourcesGetArenaUsage() {
    return Globals()->bytesInUse;
}
RwUInt32 RwResourcesGetArenaThisFrameTakeBack() {
    return Globals()->takenBackThisFrame;
}
