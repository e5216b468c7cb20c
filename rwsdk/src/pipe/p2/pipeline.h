// The pipeline system: pipelines are small graphs of nodes, each an instance of a static node definition
// whose body processes a packet and passes it on through its outputs. A pipeline is edited while locked and
// compiled (checked, ordered, given cluster slots) when unlocked; executing it calls its entry node's body.
#pragma once

#include "rwsdk/src/pipe/p2/pipeheap.h"
#include "rwsdk/src/plcore/types.h"

#define rwPIPELINEMAXOUTPUTS 32
#define rwPIPELINEMAXCLUSTERS 32
#define rwPIPELINEOUTPUTUNUSED (-1)

// Pipeline error codes (reported with plugin id 1).
enum RwPipelineError : RwUInt32 {
    E_RX_CYCLICPIPELINE = 28,
    E_RX_CLUSTERNOTPASSED = 29,
    E_RX_DUPLICATECLUSTER = 30,
    E_RX_NULLCLUSTER = 31,
    E_RX_REQUIREMENTRECORD = 32,
    E_RX_NODEWITHOUTINPUT = 34,
    E_RX_INVALIDENTRYPOINT = 36,
    E_RX_TOOMANYREQUIREMENTS = 40,
    E_RX_TOOMANYOUTPUTS = 41,
    E_RX_TOOMANYNODES = 42,
    E_RX_UNLOCKEDPIPE = 52,
};

struct RwPipeline;
struct RwPipelineNode;
struct RwNodeDefinition;

// A named kind of data that travels in packets.
struct RwClusterDefinition {
    const RwChar* name;
    RwUInt32 defaultStride;
};

// How a node wants a cluster of interest.
enum RwClusterRequirement : RwInt32 {
    rwCLUSTERREQUIRED = 0, // every input must bring it
    rwCLUSTEROPTIONAL = 1,
    rwCLUSTERDONTWANT = 2,
};

// Whether an output passes a cluster on.
enum RwClusterValidity : RwInt32 {
    rwCLUSTERVALID = 0,
    rwCLUSTERINVALID = 1,
};

struct RwNodeOutput {
    const RwChar* name;
    const RwClusterValidity* outputClusters; // per cluster of interest; null: all valid
    RwClusterValidity allOtherClusters;      // clusters the node does not know of
};

struct RwNodeIo {
    RwUInt32 numClustersOfInterest;
    RwClusterDefinition* const* clustersOfInterest;
    const RwClusterRequirement* inputRequirements; // per cluster of interest; null: all required
    RwUInt32 numOutputs;
    const RwNodeOutput* outputs;
};

// The context of one execution: the caller's data and the heap nodes take per-execution memory from.
struct RwPipelineNodeParam {
    void* dataParam;
    RwPipelineHeap* heap;
    RwPipeline* pipeline;
};

typedef RwBool (*RwNodeBodyFunction)(RwPipelineNode* self, const RwPipelineNodeParam* params);
typedef RwBool (*RwNodeInitFunction)(RwNodeDefinition* self);
typedef void (*RwNodeTermFunction)(RwNodeDefinition* self);
typedef RwBool (*RwPipelineNodeInitFunction)(RwPipelineNode* self);
typedef void (*RwPipelineNodeTermFunction)(RwPipelineNode* self);
typedef RwBool (*RwPipelineNodeConfigFunction)(RwPipelineNode* self, RwPipeline* pipeline);

struct RwNodeMethods {
    RwNodeBodyFunction nodeBody;
    RwNodeInitFunction nodeInit;                 // when the first node of an unlocked pipeline uses it
    RwNodeTermFunction nodeTerm;                 // when the last one stops using it
    RwPipelineNodeInitFunction pipelineNodeInit; // per node, when its pipeline is unlocked
    RwPipelineNodeTermFunction pipelineNodeTerm; // per node, when its pipeline is locked or destroyed
    RwPipelineNodeConfigFunction pipelineNodeConfig;
};

struct RwNodeDefinition {
    const RwChar* name;
    RwNodeMethods nodeMethods;
    RwNodeIo io;
    RwUInt32 pipelineNodePrivateDataSize;
    RwBool editable; // allocated at run time: freed when no node uses it any more
    RwInt32 inPipes; // nodes of unlocked pipelines that use it
};

// A definition whose only method is its body: no per-node data, no clusters of interest, no outputs.
constexpr RwNodeDefinition _rwNodeDefinitionBody(const RwChar* name, RwNodeBodyFunction body) {
    return {name,
            {body, nullptr, nullptr, nullptr, nullptr, nullptr},
            {0, nullptr, nullptr, 0, nullptr},
            0,
            FALSE,
            0};
}

struct RwPipelineNode {
    RwNodeDefinition* nodeDef;
    RwUInt32 numOutputs;
    RwInt32 outputs[rwPIPELINEMAXOUTPUTS]; // node index per output, rwPIPELINEOUTPUTUNUSED when unconnected
    RwUInt32 numInputs;
    void* privateData;
    RwUInt32 privateDataSize;
    RwUInt32 slotClusterRefs[rwPIPELINEMAXCLUSTERS]; // packet slot per cluster of interest
    void* initializationData;
};

struct RwPipelineCluster {
    RwClusterDefinition* clusterDef;
    void* data;
    RwUInt32 stride;
    RwUInt32 numUsed;
};

struct RwPipelinePacket {
    RwUInt32 numClusters;
    RwPipelineCluster* clusters;
};

struct RwPipeline {
    RwBool locked;
    RwUInt32 numNodes;
    RwPipelineNode* nodes;
    RwUInt32 packetNumClusterSlots;
    RwPipelinePacket embeddedPacket;
    RwUInt32 numInputRequirements;
    RwUInt32 entryPoint;
    void* superBlock; // node storage
    RwUInt32 superBlockSize;
    RwUInt32 pluginId;
    void* pluginData;
};

// The render-state defaults of the pipelines module.
struct RwPipelineRenderStateDefaults {
    RwUInt32 words[11];
};

RwPipeline* RwPipelineCreate();
void RwPipelineDestroy(RwPipeline* pipeline);
RwPipeline* RwPipelineLock(RwPipeline* pipeline);
RwPipeline* RwPipelineUnlock(RwPipeline* pipeline);
// Node definitions up to a null; each new node is connected to output 0 of the one before it.
RwPipeline* RwPipelineLockedAddFragment(RwPipeline* pipeline, RwUInt32* firstIndex, RwNodeDefinition* nodeDef,
                                        ...);
RwPipeline* RwPipelineLockedAddFragmentArray(RwPipeline* pipeline, RwUInt32* firstIndex,
                                             RwNodeDefinition* const* nodeDefs, RwUInt32 count);
RwPipelineNode* RwPipelineFindNamedNode(RwPipeline* pipeline, const RwChar* name, RwPipelineNode* start,
                                        RwInt32* nodeIndex);
RwPipeline* RwPipelineExecute(RwPipeline* pipeline, void* data, RwBool heapReset);
void RwPipelineNodeDestroy(RwPipelineNode* node, RwPipeline* pipeline);
// Runs the body of the node connected to the given output (nothing when it is unconnected).
RwBool RwPipelineNodeDispatch(RwPipelineNode* self, RwUInt32 output, const RwPipelineNodeParam* params);
// The packet cluster of one of the node's clusters of interest during an execution.
RwPipelineCluster* RwPipelineNodeGetCluster(RwPipelineNode* self, const RwPipelineNodeParam* params,
                                            RwUInt32 clusterOfInterest);

RwBool RwPipelineSystemOpen();
RwBool RwPipelineSystemClose();
RwPipelineHeap* RwPipelineGetHeap();
// The pipeline executing now, or null.
RwPipeline* RwPipelineGetCurrent();
RwPipelineRenderStateDefaults* RwPipelineGetRenderStateDefaults(RwPipelineRenderStateDefaults* defaults);

// Core module 0x409.
RwInt32 _rwPipeModuleAttach();
