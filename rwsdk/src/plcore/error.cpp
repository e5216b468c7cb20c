#include "rwsdk/src/plcore/error.h"

#include "rwsdk/src/engine.h"

namespace {

RwModuleInfo errorModule;

// Until the errors module opens on a started engine (and after it closes) the pending error lives here,
// so that failures of Init, Open and plugin registration can be read too.
RwError staticError = {0, RwInt32(E_RW_NOERROR)};
// The text of a pending plugin error, or null.
const RwChar* pluginMessage = nullptr;

RwError* PendingError() {
    if (errorModule.numInstances > 0) {
        return RWMODULEDATA(RwError, errorModule);
    }
    return &staticError;
}

void Clear(RwError* error) {
    error->pluginID = 0;
    error->errorCode = RwInt32(E_RW_NOERROR);
}

} // namespace

RwError* RwErrorSet(const RwError* code) {
    RwError* pending = PendingError();
    if (pending->pluginID != 0 || pending->errorCode != RwInt32(E_RW_NOERROR)) {
        return const_cast<RwError*>(code);
    }
    pending->errorCode = code->errorCode;
    pending->pluginID = code->errorCode < 0 ? 0 : code->pluginID;
    return const_cast<RwError*>(code);
}

RwError* RwErrorGet(RwError* code) {
    RwError* pending = PendingError();
    *code = *pending;
    Clear(pending);
    pluginMessage = nullptr;
    return code;
}

void RwErrorSetCode(RwUInt32 code) {
    RwErrorSetPlugin(1, code);
}

void RwErrorSetPlugin(RwInt32 pluginID, RwUInt32 code) {
    RwError error = {pluginID, RwInt32(code)};
    RwErrorSet(&error);
}

void RwErrorSetPluginMessage(const RwChar* message) {
    // Only the error that is kept keeps its text.
    RwError pending = *PendingError();
    RwErrorSetCode(E_RW_PLUGINERROR);
    if (pending.pluginID == 0 && pending.errorCode == RwInt32(E_RW_NOERROR))
        pluginMessage = message;
}

const RwChar* RwErrorPluginMessage() {
    return pluginMessage;
}

void* RwErrorModuleOpen(void* instance, RwInt32 offset, RwInt32) {
    errorModule.globalsOffset = offset;
    ++errorModule.numInstances;
    Clear(RWPLUGINOFFSET(RwError, instance, offset));
    Clear(&staticError);
    return instance;
}

void* RwErrorModuleClose(void* instance, RwInt32 offset, RwInt32) {
    // A pending error outlives the module: when a later module fails to open, the start unwinds through
    // this close, and the caller still reads why.
    const RwError* pending = RWPLUGINOFFSET(RwError, instance, offset);
    if (staticError.pluginID == 0 && staticError.errorCode == RwInt32(E_RW_NOERROR))
        staticError = *pending;
    --errorModule.numInstances;
    return instance;
}

RwInt32 _rwErrorModuleAttach() {
    return RwEngineRegisterPlugin(sizeof(RwError), rwID_ERRORMODULE, RwErrorModuleOpen, RwErrorModuleClose);
}
