#include "rwsdk/src/plcore/memory.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/freelist.h"

#include <cstdlib>

// The standard library's allocation functions ignore the hint.
void* _rwStdMalloc(size_t size, RwUInt32) {
    return std::malloc(size);
}
void _rwStdFree(void* block) {
    std::free(block);
}
void* _rwStdRealloc(void* block, size_t size, RwUInt32) {
    return std::realloc(block, size);
}
void* _rwStdCalloc(size_t count, size_t size, RwUInt32) {
    return std::calloc(count, size);
}

RwBool RwMemoryModuleOpen(const RwMemoryFunctions* functions) {
    RWSRCGLOBAL(memoryFuncs) =
        functions ? *functions : RwMemoryFunctions{_rwStdMalloc, _rwStdFree, _rwStdRealloc, _rwStdCalloc};
    return _rwFreeListModuleOpen();
}

void RwMemoryModuleClose() {
    _rwFreeListModuleClose();
}

void* RwMalloc(size_t size, RwUInt32 hint) {
    return RWSRCGLOBAL(memoryFuncs).rwmalloc(size, hint);
}
void RwFree(void* block) {
    RWSRCGLOBAL(memoryFuncs).rwfree(block);
}
void* RwRealloc(void* block, size_t newSize, RwUInt32 hint) {
    return RWSRCGLOBAL(memoryFuncs).rwrealloc(block, newSize, hint);
}
void* RwCalloc(size_t count, size_t size, RwUInt32 hint) {
    return RWSRCGLOBAL(memoryFuncs).rwcalloc(count, size, hint);
}
