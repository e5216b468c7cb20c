// Cached device state: transforms, stream sources, vertex formats and declarations, index buffer, shaders,
// lights, render targets and depth surface. A change reaches the device only when the value differs. Also
// the draw calls, which flush the render-state queue first.
#pragma once

#include "rwsdk/src/baraster.h"
#include "rwsdk/src/camera.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/matrix.h"

#include <d3d9.h>

RwBool RwD3D9SetTransform(RwUInt32 state, const void* matrix);
void RwD3D9GetTransform(RwUInt32 state, void* matrix);
RwBool RwD3D9SetTransformWorld(const RwMatrix* matrix);

void RwD3D9SetStreamSource(RwUInt32 stream, void* vertexBuffer, RwUInt32 offset, RwUInt32 stride);
void RwD3D9SetIndices(void* indexBuffer);
void RwD3D9SetFVF(RwUInt32 fvf);
void RwD3D9SetVertexDeclaration(void* declaration);
void RwD3D9SetVertexShader(void* shader);
void RwD3D9SetPixelShader(void* shader);
RwBool RwD3D9SetRenderTarget(RwUInt32 index, IDirect3DSurface9* surface);
RwBool RwD3D9SetRenderTargetRaster(RwUInt32 index, RwRaster* raster);
void RwD3D9SetDepthStencilSurface(IDirect3DSurface9* surface);

RwBool RwD3D9DrawIndexedPrimitive(RwUInt32 primitiveType, RwInt32 baseVertexIndex, RwUInt32 minIndex,
                                  RwUInt32 numVertices, RwUInt32 startIndex, RwUInt32 primitiveCount);
RwBool RwD3D9DrawPrimitive(RwUInt32 primitiveType, RwUInt32 startVertex, RwUInt32 primitiveCount);
RwBool RwD3D9DrawIndexedPrimitiveUP(RwUInt32 primitiveType, RwUInt32 minIndex, RwUInt32 numVertices,
                                    RwUInt32 primitiveCount, const void* indexData,
                                    const void* vertexStreamZeroData, RwUInt32 vertexStreamZeroStride);
RwBool RwD3D9DrawPrimitiveUP(RwUInt32 primitiveType, RwUInt32 primitiveCount,
                             const void* vertexStreamZeroData, RwUInt32 vertexStreamZeroStride);

RwBool RwD3D9SetLight(RwInt32 index, const void* light);
void RwD3D9GetLight(RwInt32 index, void* light);
RwBool RwD3D9EnableLight(RwInt32 index, RwBool enable);
RwBool RwD3D9SetMaterial(const void* material);

// Surface properties, material colour and the geometry flags (0x40 modulate, 0x08 prelit) to a material.
RwBool RwD3D9SetSurfaceProperties(const RwSurfaceProperties* properties, const RwRGBA* color, RwUInt32 flags);
// The ambient light gathered for the object being drawn; the world lighting writes it.
extern RwRGBAReal rwD3D9AmbientLightColor;

// One vertex stream of an instance.
struct RwD3D9VertexStream {
    void* vertexBuffer;
    RwUInt32 offset;
    RwUInt32 stride;
    RwUInt16 geometryFlags;
    RwUInt8 managed;
    RwUInt8 dynamicLock;
};
// Streams 0 and 1; without useOffsets the offsets are taken as 0.
void RwD3D9SetStreams(const RwD3D9VertexStream streams[2], RwBool useOffsets);

RwBool RwD3D9CreateVertexDeclaration(const void* elements, void** declaration);
void RwD3D9DeleteVertexDeclaration(void* declaration);
RwBool RwD3D9CreateIndexBuffer(RwUInt32 numIndices, void** indexBuffer);
RwBool RwD3D9CreateVertexShader(const RwUInt32* function, void** shader);
RwBool RwD3D9CreatePixelShader(const RwUInt32* function, void** shader);
RwUInt32 RwD3D9DeleteShader(void* shader);
// Shader constants are not cached: they go to the device at once (count registers of four floats).
RwBool RwD3D9SetPixelShaderConstant(RwUInt32 registerAddress, const void* constantData,
                                    RwUInt32 constantCount);

void* RwD3D9ResetCachesAndGetDevice();

RwBool RwD3D9CameraIsSphereFullyInsideFrustum(const void* camera, const void* sphere);
RwBool RwD3D9CameraIsBoundingBoxFullyInsideFrustum(const void* camera, const void* boundingBox);

typedef void (*RwD3D9DeviceRestoreCallBack)();
void RwD3D9SetDeviceRestoreCallback(RwD3D9DeviceRestoreCallBack callback);
RwD3D9DeviceRestoreCallBack RwD3D9GetDeviceRestoreCallback();

// The cache's own lifecycle, driven by the device.
void RwD3D9ResetStreamAndShaderCaches(); // streams, FVF, declaration, shaders, index buffer unknown
void RwD3D9ResetTransformCache();        // every slot back to "never set"
void RwD3D9ClearTargetCaches();          // depth surface and the four render targets
void RwD3D9ClearWorldIdentityFlag();     // the next identity world matrix is sent again
void RwD3D9FreeTransformCache();         // at stop
void RwD3D9LightCacheClear();            // empties the light array
void RwD3D9LightCacheFree();
void RwD3D9LightCacheRestore();      // sends every cached light and its enable flag again
void RwD3D9FreeVertexDeclarations(); // at stop
void RwD3D9UnbindEverything();       // textures 0-7, indices, streams 0-3, shaders, declaration
