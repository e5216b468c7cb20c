#include "rwsdk/src/plcore/color.h"

#include "rwsdk/src/engine.h"

namespace {

RwModuleInfo colorModule;

void* ColorModuleOpen(void* instance, RwInt32 offset, RwInt32) {
    colorModule.globalsOffset = offset;
    ++colorModule.numInstances;
    return instance;
}

void* ColorModuleClose(void* instance, RwInt32, RwInt32) {
    --colorModule.numInstances;
    return instance;
}

} // namespace

RwInt32 _rwColorModuleAttach() {
    return RwEngineRegisterPlugin(0, rwID_COLORMODULE, ColorModuleOpen, ColorModuleClose);
}
