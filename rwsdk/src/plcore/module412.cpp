#include "rwsdk/src/plcore/module412.h"

#include "rwsdk/src/engine.h"

namespace {

struct Module412Globals {
    RwFreeList* freeList;
};

RwModuleInfo module412;

constexpr RwInt32 entrySize = 33;
constexpr RwInt32 entriesPerBlock = 32;

void* Module412Open(void* instance, RwInt32 offset, RwInt32) {
    auto* globals = RWPLUGINOFFSET(Module412Globals, instance, offset);
    globals->freeList = RwFreeListCreate(entrySize, entriesPerBlock, 0, rwMEMHINTDUR_GLOBAL | rwID_MODULE412);
    if (!globals->freeList) {
        return nullptr;
    }
    module412.globalsOffset = offset;
    ++module412.numInstances;
    return instance;
}

void* Module412Close(void* instance, RwInt32 offset, RwInt32) {
    auto* globals = RWPLUGINOFFSET(Module412Globals, instance, offset);
    if (globals->freeList) {
        RwFreeListDestroy(globals->freeList);
        globals->freeList = nullptr;
    }
    --module412.numInstances;
    return instance;
}

} // namespace

RwInt32 _rwModule412Attach() {
    return RwEngineRegisterPlugin(sizeof(Module412Globals), rwID_MODULE412, Module412Open, Module412Close);
}

RwFreeList* _rwModule412FreeList() {
    return module412.numInstances > 0 ? RWMODULEDATA(Module412Globals, module412)->freeList : nullptr;
}
