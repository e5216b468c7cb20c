// Random-number plugin: 31 words of state, a front and a rear pointer, the same recurrence as the C
// library's degree-31 additive generator.
#include "rwsdk/plugin/random/rprandom.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/memory.h"

namespace {

constexpr RwInt32 stateWords = 31;
constexpr RwInt32 seedDraws = 310;

struct RandomGlobals {
    RwUInt32* state;
    RwUInt32* front;
    RwUInt32* rear;
    RwUInt32* end;
};

RwInt32 globalsOffset = -1;

RandomGlobals* Globals() {
    return RWPLUGINOFFSET(RandomGlobals, RwEngineInstance, globalsOffset);
}

RwUInt32 Draw(RandomGlobals* g) {
    *g->front += *g->rear;
    const RwUInt32 result = *g->front >> 1;
    if (++g->front >= g->end) {
        g->front = g->state;
        ++g->rear;
    } else if (++g->rear >= g->end) {
        g->rear = g->state;
    }
    return result;
}

void* Open(void* instance, RwInt32 offset, RwInt32) {
    auto* g = RWPLUGINOFFSET(RandomGlobals, instance, offset);
    g->state = static_cast<RwUInt32*>(RwMalloc(stateWords * 4, rwMEMHINTDUR_GLOBAL | rwID_RANDOMPLUGIN));
    if (!g->state)
        return nullptr;
    g->state[0] = 0x9A319039u;
    for (RwInt32 i = 1; i < stateWords; ++i)
        g->state[i] = g->state[i - 1] * 1103515245u + 12345u;
    g->front = g->state + 3;
    g->rear = g->state;
    g->end = g->state + stateWords;
    for (RwInt32 i = 0; i < seedDraws; ++i)
        Draw(g);
    return instance;
}

void* Close(void* instance, RwInt32 offset, RwInt32) {
    auto* g = RWPLUGINOFFSET(RandomGlobals, instance, offset);
    if (g->state)
        RwFree(g->state);
    *g = {nullptr, nullptr, nullptr, nullptr};
    return instance;
}

} // namespace

RwBool RpRandomPluginAttach() {
    globalsOffset = RwEngineRegisterPlugin(sizeof(RandomGlobals), rwID_RANDOMPLUGIN, Open, Close);
    return globalsOffset >= 0;
}

RwUInt32 RpRandom() {
    if (globalsOffset < 0 || RwEngineGetStatus() < rwENGINESTATUSOPENED || !Globals()->state)
        return 0;
    return Draw(Globals());
}
