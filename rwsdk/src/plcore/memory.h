// The engine's memory functions and allocation hints.
#pragma once

#include "rwsdk/src/plcore/types.h"

// allocate(size, hint), free(block), resize(block, size, hint), allocate-zeroed(count, size, hint).
struct RwMemoryFunctions {
    void* (*rwmalloc)(size_t size, RwUInt32 hint);
    void (*rwfree)(void* block);
    void* (*rwrealloc)(void* block, size_t newSize, RwUInt32 hint);
    void* (*rwcalloc)(size_t count, size_t size, RwUInt32 hint);
};

// A hint is a duration class OR the id of the asking module or chunk type, plus rwMEMHINTFLAG_RESIZABLE on
// a resize.
constexpr RwUInt32 rwMEMHINTDUR_FUNCTION = 0x10000; // given back before the asking function returns
constexpr RwUInt32 rwMEMHINTDUR_FRAME = 0x20000;    // lives for a frame
constexpr RwUInt32 rwMEMHINTDUR_EVENT = 0x30000;    // lives from one event to another
constexpr RwUInt32 rwMEMHINTDUR_GLOBAL = 0x40000;   // lives as long as the engine
constexpr RwUInt32 rwMEMHINTDUR_MASK = 0xFF0000;
constexpr RwUInt32 rwMEMHINTFLAG_RESIZABLE = 0x1000000;

// The standard library's functions, which ignore the hint.
void* _rwStdMalloc(size_t size, RwUInt32 hint);
void _rwStdFree(void* block);
void* _rwStdRealloc(void* block, size_t newSize, RwUInt32 hint);
void* _rwStdCalloc(size_t count, size_t size, RwUInt32 hint);

// Installs the caller's functions, or the standard library's when null, and makes the free list of
// free-list headers. False when that free list cannot be made.
RwBool RwMemoryModuleOpen(const RwMemoryFunctions* functions);
// Destroys every free list still alive, then the headers' free list.
void RwMemoryModuleClose();

// The engine instance's memory functions.
void* RwMalloc(size_t size, RwUInt32 hint);
void RwFree(void* block);
void* RwRealloc(void* block, size_t newSize, RwUInt32 hint);
void* RwCalloc(size_t count, size_t size, RwUInt32 hint);
