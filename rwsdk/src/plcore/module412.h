// Core module 0x412: a free list of 33-byte entries that lives while the engine is started.
#pragma once

#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/types.h"

RwInt32 _rwModule412Attach();
// The module's free list while the engine is started, else null.
RwFreeList* _rwModule412FreeList();
