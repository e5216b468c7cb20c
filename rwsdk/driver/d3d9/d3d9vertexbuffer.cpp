#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"

#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/src/plcore/freelist.h"

#include <initializer_list>

namespace {

constexpr RwUInt32 listHint = 0x40411;
constexpr RwUInt32 defaultSharedSize = 0x20000;
constexpr RwUInt32 rotatingSize = 0x40000;
constexpr RwInt32 rotatingCount = 4;

struct FreeArea {
    RwUInt32 offset;
    RwUInt32 size;
    IDirect3DVertexBuffer9* buffer;
    FreeArea* next;
    FreeArea* previous;
};

struct CreatedBuffer {
    IDirect3DVertexBuffer9* buffer;
    CreatedBuffer* next;
};

struct StrideRecord {
    RwUInt32 stride;
    FreeArea* freeAreas;
    CreatedBuffer* created;
    StrideRecord* next;
};

struct DynamicEntry {
    RwUInt32 size;
    RwUInt32 inUse;
    IDirect3DVertexBuffer9* buffer;
    void** owner;
    DynamicEntry* next;
};

struct RotatingSlot {
    RwUInt32 offset;
    RwUInt32 size;
    IDirect3DVertexBuffer9* buffer;
};

RwFreeList* strideList = nullptr;
RwFreeList* areaList = nullptr;
RwFreeList* createdList = nullptr;
RwFreeList* dynamicList = nullptr;
StrideRecord* strides = nullptr;
DynamicEntry* dynamics = nullptr;
RotatingSlot slots[rotatingCount];
RwInt32 currentSlot = 0;

StrideRecord* FindStride(RwUInt32 stride) {
    for (StrideRecord* r = strides; r; r = r->next)
        if (r->stride == stride)
            return r;
    return nullptr;
}

void LinkArea(StrideRecord* record, FreeArea* area) {
    area->previous = nullptr;
    area->next = record->freeAreas;
    if (record->freeAreas)
        record->freeAreas->previous = area;
    record->freeAreas = area;
}

void UnlinkArea(StrideRecord* record, FreeArea* area) {
    if (area->previous)
        area->previous->next = area->next;
    else
        record->freeAreas = area->next;
    if (area->next)
        area->next->previous = area->previous;
    RwFreeListEntryFree(areaList, area);
}

D3DPOOL DynamicPool() {
    return RwD3D9HasHardwareTnL() ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
}

IDirect3DVertexBuffer9* NewDynamic(RwUInt32 size, D3DPOOL pool) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    if (FAILED(RwD3D9Device->CreateVertexBuffer(size, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, 0, pool, &buffer,
                                                nullptr)))
        return nullptr;
    return buffer;
}

bool CreateRotating() {
    const RwInt32 count = RwD3D9HasHardwareTnL() ? rotatingCount : 1;
    currentSlot = 0;
    for (RwInt32 i = 0; i < rotatingCount; ++i) {
        slots[i] = {0, 0, nullptr};
        if (i >= count)
            continue;
        slots[i].size = rotatingSize;
        if (!RwD3D9CreateDynamicVertexBuffer(rotatingSize, reinterpret_cast<void**>(&slots[i].buffer)))
            return false;
    }
    return true;
}

DynamicEntry* EntryOf(void* buffer) {
    for (DynamicEntry* e = dynamics; e; e = e->next)
        if (e->buffer == buffer && buffer)
            return e;
    return nullptr;
}

} // namespace

RwBool RwD3D9CreateVertexBuffer(RwUInt32 stride, RwUInt32 size, void** vertexBuffer, RwUInt32* offset) {
    StrideRecord* record = FindStride(stride);
    if (!record) {
        record = static_cast<StrideRecord*>(RwFreeListEntryAlloc(strideList, listHint));
        if (!record)
            return FALSE;
        *record = {stride, nullptr, nullptr, strides};
        strides = record;
    }
    FreeArea* area = record->freeAreas;
    while (area && area->size < size)
        area = area->next;
    if (!area) {
        RwUInt32 length = stride ? (defaultSharedSize + stride - 1) / stride * stride : defaultSharedSize;
        if (size > length)
            length = size;
        IDirect3DVertexBuffer9* buffer = nullptr;
        if (FAILED(RwD3D9Device->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &buffer,
                                                    nullptr)))
            return FALSE;
        area = static_cast<FreeArea*>(RwFreeListEntryAlloc(areaList, listHint));
        auto* created = static_cast<CreatedBuffer*>(RwFreeListEntryAlloc(createdList, listHint));
        if (!area || !created) {
            if (area)
                RwFreeListEntryFree(areaList, area);
            if (created)
                RwFreeListEntryFree(createdList, created);
            buffer->Release();
            return FALSE;
        }
        *area = {0, length, buffer, nullptr, nullptr};
        LinkArea(record, area);
        *created = {buffer, record->created};
        record->created = created;
    }
    *vertexBuffer = area->buffer;
    *offset = area->offset;
    area->offset += size;
    area->size -= size;
    if (area->size == 0)
        UnlinkArea(record, area);
    return TRUE;
}

void RwD3D9DestroyVertexBuffer(RwUInt32 stride, RwUInt32 size, void* vertexBuffer, RwUInt32 offset) {
    StrideRecord* record = FindStride(stride);
    if (!record)
        return;
    FreeArea* grown = nullptr;
    for (FreeArea* a = record->freeAreas; a; a = a->next) {
        if (a->buffer != vertexBuffer)
            continue;
        if (a->offset + a->size == offset) {
            a->size += size;
            grown = a;
            break;
        }
        if (offset + size == a->offset) {
            a->offset = offset;
            a->size += size;
            grown = a;
            break;
        }
    }
    if (!grown) {
        auto* area = static_cast<FreeArea*>(RwFreeListEntryAlloc(areaList, listHint));
        if (!area)
            return;
        *area = {offset, size, static_cast<IDirect3DVertexBuffer9*>(vertexBuffer), nullptr, nullptr};
        LinkArea(record, area);
        return;
    }
    for (bool merged = true; merged;) {
        merged = false;
        for (FreeArea* a = record->freeAreas; a; a = a->next) {
            if (a == grown || a->buffer != grown->buffer)
                continue;
            if (a->offset + a->size == grown->offset) {
                grown->offset = a->offset;
                grown->size += a->size;
            } else if (grown->offset + grown->size == a->offset) {
                grown->size += a->size;
            } else {
                continue;
            }
            UnlinkArea(record, a);
            merged = true;
            break;
        }
    }
}

RwBool RwD3D9CreateDynamicVertexBuffer(RwUInt32 size, void** vertexBuffer) {
    DynamicEntry* chosen = nullptr;
    for (DynamicEntry* e = dynamics; e; e = e->next) {
        if (!e->inUse && e->size == size && e->buffer) {
            e->inUse = 1;
            e->owner = vertexBuffer;
            *vertexBuffer = e->buffer;
            return TRUE;
        }
    }
    for (DynamicEntry* e = dynamics; e; e = e->next) {
        if (!e->inUse && (!chosen || e->size > chosen->size))
            chosen = e;
    }
    if (chosen) {
        if (chosen->buffer)
            chosen->buffer->Release();
        chosen->buffer = nullptr;
    } else {
        chosen = static_cast<DynamicEntry*>(RwFreeListEntryAlloc(dynamicList, listHint));
        if (!chosen)
            return FALSE;
        *chosen = {0, 0, nullptr, nullptr, dynamics};
        dynamics = chosen;
    }
    IDirect3DVertexBuffer9* buffer = NewDynamic(size, DynamicPool());
    if (!buffer) {
        chosen->size = 0;
        return FALSE;
    }
    chosen->size = size;
    chosen->inUse = 1;
    chosen->buffer = buffer;
    chosen->owner = vertexBuffer;
    *vertexBuffer = buffer;
    return TRUE;
}

void RwD3D9DestroyDynamicVertexBuffer(void* vertexBuffer) {
    if (DynamicEntry* e = EntryOf(vertexBuffer)) {
        e->inUse = 0;
        e->owner = nullptr;
    }
}

RwBool RwD3D9LockDynamicVertexBuffer(RwUInt32 vertexSize, RwUInt32 numVertices, void** vertexBuffer,
                                     void** vertexData, RwUInt32* baseIndex) {
    const RwUInt32 bytes = vertexSize * numVertices;
    RwUInt32 offset = 0;
    if (RwD3D9HasHardwareTnL()) {
        auto rounded = [&](RwInt32 s) {
            return (slots[s].offset + vertexSize - 1) / vertexSize * vertexSize;
        };
        offset = rounded(currentSlot);
        if (offset + bytes > slots[currentSlot].size) {
            bool found = false;
            for (RwInt32 s = 0; s < rotatingCount; ++s) {
                if (s == currentSlot)
                    continue;
                const RwUInt32 candidate = rounded(s);
                if (candidate + bytes <= slots[s].size) {
                    currentSlot = s;
                    offset = candidate;
                    found = true;
                    break;
                }
            }
            if (!found) {
                currentSlot = (currentSlot + 1) % rotatingCount;
                offset = 0;
            }
        }
    }
    RotatingSlot& slot = slots[currentSlot];
    if (bytes > slot.size || !slot.buffer) {
        if (slot.buffer)
            RwD3D9DestroyDynamicVertexBuffer(slot.buffer);
        if (bytes > slot.size)
            slot.size = bytes;
        slot.buffer = nullptr;
        if (!RwD3D9CreateDynamicVertexBuffer(slot.size, reinterpret_cast<void**>(&slot.buffer)))
            return FALSE;
        offset = 0;
    }
    HRESULT hr;
    if (offset == 0) {
        hr = slot.buffer->Lock(0, bytes, vertexData, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
        slot.offset = bytes;
        *baseIndex = 0;
    } else {
        hr = slot.buffer->Lock(offset, bytes, vertexData, D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
        slot.offset = offset + bytes;
        *baseIndex = offset / vertexSize;
    }
    *vertexBuffer = slot.buffer;
    return SUCCEEDED(hr) ? TRUE : FALSE;
}

RwBool RwD3D9UnlockVertexBuffer(void* vertexBuffer) {
    return SUCCEEDED(static_cast<IDirect3DVertexBuffer9*>(vertexBuffer)->Unlock()) ? TRUE : FALSE;
}

RwBool RwD3D9VertexBufferManagerOpen() {
    RwD3D9VertexBufferManagerClose();
    strideList = RwFreeListCreate(sizeof(StrideRecord), 16, 4, listHint);
    areaList = RwFreeListCreate(sizeof(FreeArea), 100, 4, listHint);
    createdList = RwFreeListCreate(sizeof(CreatedBuffer), 100, 4, listHint);
    dynamicList = RwFreeListCreate(sizeof(DynamicEntry), 42, 4, listHint);
    CreateRotating();
    return TRUE;
}

void RwD3D9VertexBufferManagerClose() {
    for (RotatingSlot& slot : slots)
        slot = {0, 0, nullptr};
    // Each entry goes back one by one: with free lists off they are separate allocations.
    for (DynamicEntry* e = dynamics; e;) {
        if (e->buffer)
            e->buffer->Release();
        DynamicEntry* next = e->next;
        RwFreeListEntryFree(dynamicList, e);
        e = next;
    }
    dynamics = nullptr;
    for (StrideRecord* r = strides; r;) {
        for (CreatedBuffer* c = r->created; c;) {
            c->buffer->Release();
            CreatedBuffer* next = c->next;
            RwFreeListEntryFree(createdList, c);
            c = next;
        }
        for (FreeArea* a = r->freeAreas; a;) {
            FreeArea* next = a->next;
            RwFreeListEntryFree(areaList, a);
            a = next;
        }
        StrideRecord* next = r->next;
        RwFreeListEntryFree(strideList, r);
        r = next;
    }
    strides = nullptr;
    for (RwFreeList** list : {&strideList, &areaList, &createdList, &dynamicList}) {
        if (*list)
            RwFreeListDestroy(*list);
        *list = nullptr;
    }
}

void RwD3D9DynamicVertexBuffersRelease() {
    currentSlot = 0;
    for (RotatingSlot& slot : slots) {
        if (slot.buffer)
            RwD3D9DestroyDynamicVertexBuffer(slot.buffer);
        slot = {0, 0, nullptr};
    }
    if (!RwD3D9HasHardwareTnL())
        return;
    for (DynamicEntry* e = dynamics; e; e = e->next) {
        if (e->buffer)
            e->buffer->Release();
        e->buffer = nullptr;
        if (e->owner)
            *e->owner = nullptr;
    }
}

RwBool RwD3D9DynamicVertexBuffersRestore() {
    if (RwD3D9HasHardwareTnL()) {
        for (DynamicEntry* e = dynamics; e; e = e->next) {
            if (e->buffer || e->size == 0)
                continue;
            e->buffer = NewDynamic(e->size, D3DPOOL_DEFAULT);
            if (!e->buffer)
                return FALSE;
            if (e->owner)
                *e->owner = e->buffer;
        }
    }
    return CreateRotating() ? TRUE : FALSE;
}

void RwD3D9DynamicVertexBuffersNextFrame() {
    for (RotatingSlot& slot : slots)
        slot.offset = 0;
    currentSlot = (currentSlot + 1) % rotatingCount;
}

RwInt32 RwD3D9GetFreeAreas(RwUInt32 stride, RwD3D9FreeArea* out, RwInt32 max) {
    StrideRecord* record = FindStride(stride);
    RwInt32 n = 0;
    for (FreeArea* a = record ? record->freeAreas : nullptr; a && n < max; a = a->next)
        out[n++] = {a->buffer, a->offset, a->size};
    return n;
}

RwD3D9RotatingSlot RwD3D9GetRotatingSlot(RwInt32 slot) {
    return {slots[slot].offset, slots[slot].size, slots[slot].buffer};
}

RwInt32 RwD3D9GetCurrentRotatingSlot() {
    return currentSlot;
}
