// The hierarchical animation plugin: a tree of frames driven by one animation interpolator.
#pragma once

#include "rwsdk/plugin/hanim/stdkey.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/tool/anim/rtanim.h"

struct RwFrame;

constexpr RwUInt32 rwID_HANIMPLUGIN = 0x11E;
constexpr RwUInt32 rpHANIMSTREAMCURRENTVERSION = 0x100;
// Depth of the matrix stack in an update, and so of the hierarchies that can be played.
constexpr RwInt32 rpHANIMSTACKDEPTH = 64;
// The largest keyframe size a hierarchy read from a stream may ask for.
constexpr RwInt32 rpHANIMMAXKEYFRAMESIZE = 1024;

enum RpHAnimHierarchyFlag : RwUInt32 {
    rpHANIMHIERARCHYSUBHIERARCHY = 0x1,
    rpHANIMHIERARCHYNOMATRICES = 0x2,
    rpHANIMHIERARCHYUPDATEMODELLINGMATRICES = 0x1000,
    rpHANIMHIERARCHYUPDATELTMS = 0x2000,
    rpHANIMHIERARCHYLOCALSPACEMATRICES = 0x4000,
};

enum RpHAnimNodeFlag : RwUInt32 {
    rpHANIMPOPPARENTMATRIX = 0x1,
    rpHANIMPUSHPARENTMATRIX = 0x2,
};

struct RpHAnimNodeInfo {
    RwInt32 nodeID;
    RwInt32 nodeIndex;
    RwInt32 flags;
    RwFrame* pFrame;
};

struct RpHAnimHierarchy {
    RwUInt32 flags;
    RwInt32 numNodes;
    RwMatrix* pMatrixArray;      // 16-byte aligned; null with no matrices
    void* pMatrixArrayUnaligned; // the block it is cut from; null when not owned
    RpHAnimNodeInfo* pNodeInfo;
    RwFrame* parentFrame; // the root frame that carries the hierarchy
    RpHAnimHierarchy* parentHierarchy;
    RwInt32 rootParentOffset; // sub-hierarchies: the parent's node above the start node, or -1
    RtAnimInterpolator* currentAnim;
    RwInt32 maxKeyFrameSize; // as given and as stored in streams
};

RwBool RpHAnimPluginAttach();

RpHAnimHierarchy* RpHAnimHierarchyCreate(RwInt32 numNodes, const RwUInt32* nodeFlags, const RwInt32* nodeIDs,
                                         RwUInt32 flags, RwInt32 maxKeyFrameSize);
RpHAnimHierarchy* RpHAnimHierarchyCreateSubHierarchy(RpHAnimHierarchy* parentHierarchy, RwInt32 startNode,
                                                     RwUInt32 flags, RwInt32 maxKeyFrameSize);
// Frees what the hierarchy owns and clears its root frame's link to it.
RwBool RpHAnimHierarchyDestroy(RpHAnimHierarchy* hierarchy);
RpHAnimHierarchy* RpHAnimHierarchyAttach(RpHAnimHierarchy* hierarchy);
// False when the tree is deeper than the matrix stack; the nodes up to there are updated.
RwBool RpHAnimHierarchyUpdateMatrices(RpHAnimHierarchy* hierarchy);
RwBool RpHAnimHierarchySetCurrentAnim(RpHAnimHierarchy* hierarchy, RtAnimAnimation* animation);
RwBool RpHAnimHierarchyAddAnimTime(RpHAnimHierarchy* hierarchy, RwReal time);
RwBool RpHAnimHierarchySetCurrentAnimTime(RpHAnimHierarchy* hierarchy, RwReal time);

RpHAnimHierarchy* RpHAnimFrameGetHierarchy(RwFrame* frame);
// Makes the frame the hierarchy's root frame (a null hierarchy unlinks the frame).
RwBool RpHAnimFrameSetHierarchy(RwFrame* frame, RpHAnimHierarchy* hierarchy);
RwInt32 RpHAnimFrameGetId(RwFrame* frame);
RwBool RpHAnimFrameSetId(RwFrame* frame, RwInt32 id);
RwInt32 RpHAnimIdGetIndex(const RpHAnimHierarchy* hierarchy, RwInt32 id);
// A hierarchy's node matrix, or null.
RwMatrix* RpHAnimHierarchyGetMatrixArray(RpHAnimHierarchy* hierarchy);
