// Draws an immediate-mode 3D batch unlit with the fixed-function pipeline.
#pragma once

#include "rwsdk/src/pipe/p2/im3d.h"

// The index buffer and the three declarations; made by the immediate-mode module's open and released by its
// close.
RwBool RwD3D9SubmitNoLightOpen();
void RwD3D9SubmitNoLightClose();
// Around a device reset: only while the module is open.
void RwD3D9Im3DBuffersRelease();
RwBool RwD3D9Im3DBuffersRestore();

// The submit node's body: draws the record's vertices with the request's primitive type and indices.
RwBool RwD3D9Im3DSubmit(const RwIm3DTransformRecord* batch, const RwIm3DRenderRecord* request);

struct RwNodeDefinition;
// "ImmInstance.csl": keeps the batch the transform pipeline was run with for the submit node.
RwNodeDefinition* RxNodeDefinitionGetD3D9ImmInstance();
// "nodeD3D9SubmitNoLight.csl": draws the kept batch with the render request it is run with.
RwNodeDefinition* RxNodeDefinitionGetD3D9SubmitNoLight();

// Hands the open, close and the two nodes above to the immediate-mode module. Run by the driver's attach.
void RwD3D9Im3DInstall();
