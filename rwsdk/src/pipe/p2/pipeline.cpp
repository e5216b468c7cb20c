// The pipeline system: node graphs edited while locked, checked, ordered and given cluster slots when
// unlocked, and executed by calling the entry node's body.
#include "rwsdk/src/pipe/p2/pipeline.h"

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/memory.h"

#include <cstdarg>
#include <cstring>

namespace {

constexpr RwUInt32 maxNodesPerPipeline = 64;
constexpr RwUInt32 heapSize = 4096;
constexpr RwInt32 pipelinesPerBlock = 64;
constexpr RwUInt32 hintFreeList = rwMEMHINTDUR_GLOBAL | rwID_PIPEMODULE;
constexpr RwUInt32 hintPipeline = rwMEMHINTDUR_EVENT | rwID_PIPEMODULE;
constexpr RwUInt32 hintStorage = rwMEMHINTFLAG_RESIZABLE | rwMEMHINTDUR_EVENT | rwID_PIPEMODULE;
constexpr RwUInt32 noSlot = ~0u;

struct PipelineSystem {
    RwBool open = FALSE;
    RwFreeList* pipelineFreeList = nullptr;
    RwPipelineRenderStateDefaults renderStateDefaults = {};
    RwUInt32 maxNodes = 0;
    RwUInt32 reserved[2] = {0, 0};
    RwPipelineHeap* heap = nullptr;
    RwPipeline* current = nullptr; // executing now
    const RwPipelineNodeParam* currentParams = nullptr;
};
PipelineSystem pipes;

RwModuleInfo pipeModule;

constexpr RwPipelineRenderStateDefaults initialRenderStateDefaults = {
    {7, 2, 5, 6, 0, 1, 1, 2, 0xFFFFFFFF, 0, 0xFFFFFFFF}};

void* ObjectAlloc(RwUInt32 hint) {
    return RwFreeListEntryAlloc(pipes.pipelineFreeList, hint);
}

RwClusterRequirement RequirementOf(const RwNodeDefinition* def, RwUInt32 cluster) {
    return def->io.inputRequirements ? def->io.inputRequirements[cluster] : rwCLUSTERREQUIRED;
}

// Whether output `output` of `node` hands cluster `cluster` on to the node it feeds.
bool PassesOn(const RwPipelineNode* node, RwUInt32 output, const RwClusterDefinition* cluster) {
    const RwNodeDefinition* def = node->nodeDef;
    const RwNodeOutput* out =
        output < def->io.numOutputs && def->io.outputs ? &def->io.outputs[output] : nullptr;
    for (RwUInt32 i = 0; i < def->io.numClustersOfInterest; i++) {
        if (def->io.clustersOfInterest[i] == cluster) {
            return !out || !out->outputClusters || out->outputClusters[i] == rwCLUSTERVALID;
        }
    }
    return !out || out->allOtherClusters == rwCLUSTERVALID;
}

// A node stops running (the pipeline is locked) or goes: its callbacks are told. Only a node that goes
// may take a run-time definition with it; a locked node still points at its definition, which unlock
// reads again.
void ReleaseDefinition(RwPipelineNode* node, bool nodeGoes) {
    RwNodeDefinition* def = node->nodeDef;
    if (!def) {
        return;
    }
    if (def->nodeMethods.pipelineNodeTerm) {
        def->nodeMethods.pipelineNodeTerm(node);
    }
    if (--def->inPipes <= 0) {
        def->inPipes = 0;
        if (def->nodeMethods.nodeTerm) {
            def->nodeMethods.nodeTerm(def);
        }
        if (nodeGoes && def->editable) {
            node->nodeDef = nullptr;
            RwFree(def);
        }
    }
}

bool AllocateStorage(RwPipeline* pipeline) {
    if (pipeline->superBlock) {
        return true;
    }
    const RwUInt32 size = sizeof(RwPipelineNode) * pipes.maxNodes;
    void* block = RwMalloc(size, hintStorage);
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    std::memset(block, 0, size);
    pipeline->superBlock = block;
    pipeline->superBlockSize = size;
    pipeline->nodes = static_cast<RwPipelineNode*>(block);
    return true;
}

// Swaps the nodes at two positions, with every output index that names either.
void SwapNodes(RwPipeline* pipeline, RwUInt32 a, RwUInt32 b, RwUInt32* placedInputs) {
    if (a == b) {
        return;
    }
    RwPipelineNode temp = pipeline->nodes[a];
    pipeline->nodes[a] = pipeline->nodes[b];
    pipeline->nodes[b] = temp;
    const RwUInt32 count = placedInputs[a];
    placedInputs[a] = placedInputs[b];
    placedInputs[b] = count;
    for (RwUInt32 n = 0; n < pipeline->numNodes; n++) {
        RwPipelineNode& node = pipeline->nodes[n];
        for (RwUInt32 o = 0; o < node.numOutputs; o++) {
            if (node.outputs[o] == static_cast<RwInt32>(a)) {
                node.outputs[o] = static_cast<RwInt32>(b);
            } else if (node.outputs[o] == static_cast<RwInt32>(b)) {
                node.outputs[o] = static_cast<RwInt32>(a);
            }
        }
    }
}

// Depth first from a node: it moves to the next free position, and each target whose inputs are all placed
// follows it.
void Place(RwPipeline* pipeline, RwUInt32 index, RwUInt32& placed, RwUInt32* placedInputs) {
    const RwUInt32 position = placed++;
    SwapNodes(pipeline, index, position, placedInputs);
    for (RwUInt32 o = 0; o < pipeline->nodes[position].numOutputs; o++) {
        const RwInt32 target = pipeline->nodes[position].outputs[o];
        if (target == rwPIPELINEOUTPUTUNUSED) {
            continue;
        }
        if (++placedInputs[target] == pipeline->nodes[target].numInputs) {
            Place(pipeline, static_cast<RwUInt32>(target), placed, placedInputs);
        }
    }
}

// Clusters of interest checked, given packet slots, and checked against what the upstream nodes pass on.
bool ResolveClusters(RwPipeline* pipeline, RwClusterDefinition** slots, RwUInt32& numSlots) {
    numSlots = 0;
    for (RwUInt32 n = pipeline->numNodes; n-- > 0;) {
        RwPipelineNode& node = pipeline->nodes[n];
        const RwNodeDefinition* def = node.nodeDef;
        for (RwUInt32 i = 0; i < def->io.numClustersOfInterest; i++) {
            RwClusterDefinition* cluster = def->io.clustersOfInterest[i];
            if (!cluster) {
                RwErrorSetCode(E_RX_NULLCLUSTER);
                return false;
            }
            for (RwUInt32 j = 0; j < i; j++) {
                if (def->io.clustersOfInterest[j] == cluster) {
                    RwErrorSetCode(E_RX_DUPLICATECLUSTER);
                    return false;
                }
            }
            RwUInt32 slot = 0;
            while (slot < numSlots && slots[slot] != cluster) {
                slot++;
            }
            if (slot == numSlots) {
                slots[numSlots++] = cluster;
            }
            node.slotClusterRefs[i] = slot;
            if (RequirementOf(def, i) != rwCLUSTERREQUIRED) {
                continue;
            }
            for (RwUInt32 u = 0; u < pipeline->numNodes; u++) {
                const RwPipelineNode& upstream = pipeline->nodes[u];
                for (RwUInt32 o = 0; o < upstream.numOutputs; o++) {
                    if (upstream.outputs[o] == static_cast<RwInt32>(n) && !PassesOn(&upstream, o, cluster)) {
                        RwErrorSetCode(E_RX_CLUSTERNOTPASSED);
                        return false;
                    }
                }
            }
        }
    }
    return true;
}

bool SizeEmbeddedPacket(RwPipeline* pipeline, RwClusterDefinition** slots, RwUInt32 numSlots) {
    if (numSlots > pipeline->embeddedPacket.numClusters || !pipeline->embeddedPacket.clusters) {
        auto* clusters = static_cast<RwPipelineCluster*>(
            RwRealloc(pipeline->embeddedPacket.clusters,
                      sizeof(RwPipelineCluster) * (numSlots ? numSlots : 1), hintStorage));
        if (!clusters) {
            RwErrorSetCode(E_RW_NOMEM);
            return false;
        }
        pipeline->embeddedPacket.clusters = clusters;
    }
    pipeline->embeddedPacket.numClusters = numSlots;
    for (RwUInt32 s = 0; s < numSlots; s++) {
        pipeline->embeddedPacket.clusters[s] = {slots[s], nullptr, slots[s]->defaultStride, 0};
    }
    pipeline->packetNumClusterSlots = numSlots;
    return true;
}

// Runs the definitions' initialisers for every node; on a failure the ones done are undone.
bool InitNodes(RwPipeline* pipeline) {
    for (RwUInt32 n = 0; n < pipeline->numNodes; n++) {
        RwPipelineNode* node = &pipeline->nodes[n];
        RwNodeDefinition* def = node->nodeDef;
        bool ok = true;
        if (def->inPipes++ == 0 && def->nodeMethods.nodeInit) {
            ok = def->nodeMethods.nodeInit(def);
        }
        if (ok && def->nodeMethods.pipelineNodeInit) {
            ok = def->nodeMethods.pipelineNodeInit(node);
        }
        if (ok && def->nodeMethods.pipelineNodeConfig) {
            ok = def->nodeMethods.pipelineNodeConfig(node, pipeline);
        }
        if (!ok) {
            if (--def->inPipes == 0 && def->nodeMethods.nodeTerm) {
                def->nodeMethods.nodeTerm(def);
            }
            for (RwUInt32 m = n; m-- > 0;) {
                ReleaseDefinition(&pipeline->nodes[m], false);
            }
            return false;
        }
    }
    return true;
}

void* PipeModuleOpen(void* instance, RwInt32 offset, RwInt32) {
    if (!RwPipelineSystemOpen()) {
        return nullptr;
    }
    pipeModule.globalsOffset = offset;
    pipeModule.numInstances++;
    return instance;
}

void* PipeModuleClose(void* instance, RwInt32, RwInt32) {
    RwPipelineSystemClose();
    pipeModule.numInstances--;
    return instance;
}

} // namespace

RwInt32 _rwPipeModuleAttach() {
    return RwEngineRegisterPlugin(0, rwID_PIPEMODULE, PipeModuleOpen, PipeModuleClose);
}

RwBool RwPipelineSystemOpen() {
    if (pipes.open) {
        return FALSE;
    }
    pipes.heap = RwPipelineHeapCreate(heapSize);
    if (!pipes.heap) {
        return FALSE;
    }
    pipes.pipelineFreeList = RwFreeListCreate(sizeof(RwPipeline), pipelinesPerBlock, 0, hintFreeList);
    if (!pipes.pipelineFreeList) {
        RwPipelineHeapDestroy(pipes.heap);
        pipes.heap = nullptr;
        RwErrorSetCode(E_RW_NOMEM);
        return FALSE;
    }
    pipes.renderStateDefaults = initialRenderStateDefaults;
    pipes.maxNodes = maxNodesPerPipeline;
    pipes.reserved[0] = pipes.reserved[1] = 0;
    pipes.current = nullptr;
    pipes.open = TRUE;
    return TRUE;
}

RwBool RwPipelineSystemClose() {
    if (pipes.pipelineFreeList) {
        RwFreeListDestroy(pipes.pipelineFreeList);
        pipes.pipelineFreeList = nullptr;
    }
    if (pipes.heap) {
        RwPipelineHeapDestroy(pipes.heap);
        pipes.heap = nullptr;
    }
    pipes.open = FALSE;
    return TRUE;
}

RwPipelineHeap* RwPipelineGetHeap() {
    return pipes.heap;
}
RwPipeline* RwPipelineGetCurrent() {
    return pipes.current;
}

RwPipelineRenderStateDefaults* RwPipelineGetRenderStateDefaults(RwPipelineRenderStateDefaults* defaults) {
    if (!pipes.open) {
        RwErrorSetCode(E_RW_DEFAULTPIPELINECREATION);
        return nullptr;
    }
    *defaults = pipes.renderStateDefaults;
    return defaults;
}

RwPipeline* RwPipelineCreate() {
    auto* pipeline = static_cast<RwPipeline*>(pipes.pipelineFreeList ? ObjectAlloc(hintPipeline) : nullptr);
    if (!pipeline) {
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }
    std::memset(pipeline, 0, sizeof(*pipeline));
    return pipeline;
}

void RwPipelineDestroy(RwPipeline* pipeline) {
    if (!pipeline) {
        return;
    }
    while (pipeline->numNodes > 0) {
        RwPipelineNodeDestroy(&pipeline->nodes[pipeline->numNodes - 1], pipeline);
    }
    RwFree(pipeline->superBlock);
    RwFree(pipeline->embeddedPacket.clusters);
    RwFreeListEntryFree(pipes.pipelineFreeList, pipeline);
}

RwPipeline* RwPipelineLock(RwPipeline* pipeline) {
    if (!pipeline) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    if (pipeline->locked) {
        return pipeline;
    }
    if (!AllocateStorage(pipeline)) {
        return nullptr;
    }
    for (RwUInt32 n = 0; n < pipeline->numNodes; n++) {
        RwPipelineNode* node = &pipeline->nodes[n];
        ReleaseDefinition(node, false);
        for (RwUInt32& slot : node->slotClusterRefs) {
            slot = noSlot;
        }
    }
    pipeline->locked = TRUE;
    return pipeline;
}

RwPipeline* RwPipelineLockedAddFragment(RwPipeline* pipeline, RwUInt32* firstIndex, RwNodeDefinition* nodeDef,
                                        ...) {
    RwNodeDefinition* defs[maxNodesPerPipeline + 1];
    RwUInt32 count = 0;
    va_list args;
    va_start(args, nodeDef);
    for (RwNodeDefinition* def = nodeDef; def; def = va_arg(args, RwNodeDefinition*)) {
        if (count > maxNodesPerPipeline) {
            break; // too many in any case
        }
        defs[count++] = def;
    }
    va_end(args);
    return RwPipelineLockedAddFragmentArray(pipeline, firstIndex, defs, count);
}

RwPipeline* RwPipelineLockedAddFragmentArray(RwPipeline* pipeline, RwUInt32* firstIndex,
                                             RwNodeDefinition* const* nodeDefs, RwUInt32 count) {
    if (!pipeline) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    if (!pipeline->locked) {
        RwErrorSetCode(E_RX_UNLOCKEDPIPE);
        return nullptr;
    }
    if (pipeline->numNodes + count > pipes.maxNodes) {
        RwErrorSetCode(E_RX_TOOMANYNODES);
        return nullptr;
    }
    for (RwUInt32 i = 0; i < count; i++) {
        if (nodeDefs[i]->io.numOutputs > rwPIPELINEMAXOUTPUTS) {
            RwErrorSetCode(E_RX_TOOMANYOUTPUTS);
            return nullptr;
        }
        if (nodeDefs[i]->io.numClustersOfInterest > rwPIPELINEMAXCLUSTERS) {
            RwErrorSetCode(E_RX_TOOMANYREQUIREMENTS);
            return nullptr;
        }
        // A node that has no output cannot lead on to the next one of the fragment.
        if (i + 1 < count && nodeDefs[i]->io.numOutputs == 0) {
            RwErrorSetCode(E_RX_TOOMANYOUTPUTS);
            return nullptr;
        }
    }
    const RwUInt32 first = pipeline->numNodes;
    for (RwUInt32 i = 0; i < count; i++) {
        RwNodeDefinition* def = nodeDefs[i];
        RwPipelineNode* node = &pipeline->nodes[pipeline->numNodes];
        std::memset(node, 0, sizeof(*node));
        node->nodeDef = def;
        node->numOutputs = def->io.numOutputs;
        for (RwInt32& output : node->outputs) {
            output = rwPIPELINEOUTPUTUNUSED;
        }
        for (RwUInt32& slot : node->slotClusterRefs) {
            slot = noSlot;
        }
        if (def->pipelineNodePrivateDataSize > 0) {
            node->privateData = RwCalloc(1, def->pipelineNodePrivateDataSize, hintPipeline);
            if (!node->privateData) {
                RwErrorSetCode(E_RW_NOMEM);
                while (pipeline->numNodes > first) {
                    RwPipelineNodeDestroy(&pipeline->nodes[pipeline->numNodes - 1], pipeline);
                }
                return nullptr;
            }
            node->privateDataSize = def->pipelineNodePrivateDataSize;
        }
        pipeline->numNodes++;
        if (i > 0) {
            pipeline->nodes[pipeline->numNodes - 2].outputs[0] = static_cast<RwInt32>(pipeline->numNodes - 1);
        }
    }
    if (firstIndex) {
        *firstIndex = first;
    }
    return pipeline;
}

RwPipelineNode* RwPipelineFindNamedNode(RwPipeline* pipeline, const RwChar* name, RwPipelineNode* start,
                                        RwInt32* nodeIndex) {
    if (nodeIndex) {
        *nodeIndex = -1;
    }
    if (!pipeline || !name) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    RwUInt32 n = start ? static_cast<RwUInt32>(start - pipeline->nodes) + 1 : 0;
    for (; n < pipeline->numNodes; n++) {
        const RwNodeDefinition* def = pipeline->nodes[n].nodeDef;
        if (def && def->name && std::strcmp(def->name, name) == 0) {
            if (nodeIndex) {
                *nodeIndex = static_cast<RwInt32>(n);
            }
            return &pipeline->nodes[n];
        }
    }
    return nullptr;
}

RwPipeline* RwPipelineUnlock(RwPipeline* pipeline) {
    if (!pipeline) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    if (!pipeline->locked) {
        RwErrorSetCode(E_RX_UNLOCKEDPIPE);
        return nullptr;
    }
    if (pipeline->numNodes == 0) {
        pipeline->locked = FALSE;
        return pipeline;
    }
    const RwUInt32 numNodes = pipeline->numNodes;
    if (pipeline->entryPoint >= numNodes || !pipeline->nodes[pipeline->entryPoint].nodeDef) {
        RwErrorSetCode(E_RX_INVALIDENTRYPOINT);
        return nullptr;
    }

    // Inputs counted from every output.
    for (RwUInt32 n = 0; n < numNodes; n++) {
        pipeline->nodes[n].numInputs = 0;
    }
    for (RwUInt32 n = 0; n < numNodes; n++) {
        const RwPipelineNode& node = pipeline->nodes[n];
        for (RwUInt32 o = 0; o < node.numOutputs; o++) {
            const RwInt32 target = node.outputs[o];
            if (target == rwPIPELINEOUTPUTUNUSED) {
                continue;
            }
            if (target < 0 || static_cast<RwUInt32>(target) >= numNodes) {
                RwErrorSetCode(E_RX_NODEWITHOUTINPUT);
                return nullptr;
            }
            pipeline->nodes[target].numInputs++;
        }
    }
    for (RwUInt32 n = 0; n < numNodes; n++) {
        const bool entry = n == pipeline->entryPoint;
        if (entry && pipeline->nodes[n].numInputs != 0) {
            RwErrorSetCode(E_RX_INVALIDENTRYPOINT);
            return nullptr;
        }
        if (!entry && pipeline->nodes[n].numInputs == 0) {
            RwErrorSetCode(E_RX_NODEWITHOUTINPUT);
            return nullptr;
        }
    }

    // Ordered so that the entry node is node 0 and every node follows all of its inputs.
    RwUInt32 placedInputs[maxNodesPerPipeline] = {};
    RwUInt32 placed = 0;
    Place(pipeline, pipeline->entryPoint, placed, placedInputs);
    pipeline->entryPoint = 0;
    if (placed < numNodes) {
        RwErrorSetCode(E_RX_CYCLICPIPELINE);
        return nullptr;
    }

    static RwClusterDefinition* slots[maxNodesPerPipeline * rwPIPELINEMAXCLUSTERS];
    RwUInt32 numSlots = 0;
    if (!ResolveClusters(pipeline, slots, numSlots) || !SizeEmbeddedPacket(pipeline, slots, numSlots)) {
        return nullptr;
    }
    pipeline->numInputRequirements = 0;
    for (RwUInt32 i = 0; i < pipeline->nodes[0].nodeDef->io.numClustersOfInterest; i++) {
        if (RequirementOf(pipeline->nodes[0].nodeDef, i) == rwCLUSTERREQUIRED) {
            pipeline->numInputRequirements++;
        }
    }
    if (!InitNodes(pipeline)) {
        return nullptr;
    }
    pipeline->locked = FALSE;
    return pipeline;
}

RwPipeline* RwPipelineExecute(RwPipeline* pipeline, void* data, RwBool heapReset) {
    if (!pipeline) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    // A locked pipeline is being edited: its order and slots are not valid.
    if (pipeline->locked) {
        RwErrorSetCode(E_RX_UNLOCKEDPIPE);
        return nullptr;
    }
    if (pipeline->numNodes == 0) {
        return nullptr;
    }
    if (heapReset && pipes.heap->dirty) {
        RwPipelineHeapReset(pipes.heap);
    }
    for (RwUInt32 s = 0; s < pipeline->embeddedPacket.numClusters; s++) {
        RwPipelineCluster& cluster = pipeline->embeddedPacket.clusters[s];
        cluster.data = nullptr;
        cluster.numUsed = 0;
    }
    RwPipeline* outer = pipes.current;
    const RwPipelineNodeParam* outerParams = pipes.currentParams;
    const RwPipelineNodeParam params = {data, pipes.heap, pipeline};
    pipes.current = pipeline;
    pipes.currentParams = &params;
    RwPipelineNode* entry = &pipeline->nodes[pipeline->entryPoint];
    const RwBool ok =
        entry->nodeDef->nodeMethods.nodeBody ? entry->nodeDef->nodeMethods.nodeBody(entry, &params) : TRUE;
    pipes.current = outer;
    pipes.currentParams = outerParams;
    return ok ? pipeline : nullptr;
}

RwBool RwPipelineNodeDispatch(RwPipelineNode* self, RwUInt32 output, const RwPipelineNodeParam* params) {
    if (output >= self->numOutputs || self->outputs[output] == rwPIPELINEOUTPUTUNUSED) {
        return TRUE;
    }
    RwPipelineNode* next = &params->pipeline->nodes[self->outputs[output]];
    return next->nodeDef->nodeMethods.nodeBody ? next->nodeDef->nodeMethods.nodeBody(next, params) : TRUE;
}

RwPipelineCluster* RwPipelineNodeGetCluster(RwPipelineNode* self, const RwPipelineNodeParam* params,
                                            RwUInt32 clusterOfInterest) {
    if (clusterOfInterest >= rwPIPELINEMAXCLUSTERS) {
        return nullptr;
    }
    const RwUInt32 slot = self->slotClusterRefs[clusterOfInterest];
    RwPipelinePacket& packet = params->pipeline->embeddedPacket;
    return slot < packet.numClusters ? &packet.clusters[slot] : nullptr;
}

void RwPipelineNodeDestroy(RwPipelineNode* node, RwPipeline* pipeline) {
    const RwUInt32 index = static_cast<RwUInt32>(node - pipeline->nodes);
    if (index >= pipeline->numNodes) {
        return;
    }
    if (!pipeline->locked) {
        ReleaseDefinition(node, true);
    }
    RwFree(node->privateData);
    // The nodes behind it move down one place, and the outputs follow them.
    std::memmove(node, node + 1, sizeof(RwPipelineNode) * (pipeline->numNodes - index - 1));
    pipeline->numNodes--;
    for (RwUInt32 n = 0; n < pipeline->numNodes; n++) {
        RwPipelineNode& other = pipeline->nodes[n];
        for (RwUInt32 o = 0; o < other.numOutputs; o++) {
            if (other.outputs[o] == static_cast<RwInt32>(index)) {
                other.outputs[o] = rwPIPELINEOUTPUTUNUSED;
            } else if (other.outputs[o] > static_cast<RwInt32>(index)) {
                other.outputs[o]--;
            }
        }
    }
    if (pipeline->entryPoint > index) {
        pipeline->entryPoint--;
    }
}
