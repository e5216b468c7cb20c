// Writers of engine vertex data into Direct3D 9 vertex-declaration element types, the matching readers,
// the prelit-colour writer and the per-vertex tangent generator.
#pragma once

#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/types.h"
#include "rwsdk/src/plcore/vector.h"
#include "rwsdk/world/bageomet.h"

// Bytes of one element of the D3DDECLTYPE (0 for an unknown type).
RwUInt32 _rpD3D9VertexDeclarationGetSize(RwUInt32 type);

// Each writer writes one element per vertex, stepping dst by stride, and returns the element size. The
// half-float types write nothing.
RwUInt32 _rpD3D9VertexDeclarationInstV3d(RwUInt32 type, void* dst, const RwV3d* src, RwInt32 numVerts,
                                         RwUInt32 stride);
// Source: 4 signed bytes per vertex (x, y, z, unused) in 1/128 steps.
RwUInt32 _rpD3D9VertexDeclarationInstV3dComp(RwUInt32 type, void* dst, const RwInt8* src, RwInt32 numVerts,
                                             RwUInt32 stride);
// start + (end - start) * t per component.
RwUInt32 _rpD3D9VertexDeclarationInstV3dMorph(RwUInt32 type, void* dst, const RwV3d* start, const RwV3d* end,
                                              RwReal t, RwInt32 numVerts, RwUInt32 stride);
RwUInt32 _rpD3D9VertexDeclarationInstV2d(RwUInt32 type, void* dst, const RwTexCoords* src, RwInt32 numVerts,
                                         RwUInt32 stride);
// RGBA bytes to D3DCOLOR (A << 24 | R << 16 | G << 8 | B); true when some alpha is not 255.
RwBool _rpD3D9VertexDeclarationInstColor(RwUInt8* dst, const RwRGBA* src, RwInt32 numVerts, RwUInt32 stride);

// One element back to floats; missing components are 0.
void _rpD3D9VertexDeclarationUnpackV3d(RwUInt32 type, RwV3d* out, const void* element);
void _rpD3D9VertexDeclarationUnpackV2d(RwUInt32 type, RwTexCoords* out, const void* element);

// One run of indices for the tangent generator: a triangle list, or a strip whose triangles alternate
// winding (triangles with two equal indices are skipped). Indices are relative to base.
struct RpD3D9TangentMesh {
    const RwUInt16* indices;
    RwUInt32 numIndices;
    RwBool strip;
    RwInt32 base;
};
// Accumulates the per-triangle tangents of every mesh on its vertices and normalises them (a vertex no
// triangle reached stays 0); out holds numVerts vectors.
void _rpD3D9ComputeTangents(RwV3d* out, const RwV3d* positions, const RwTexCoords* texCoords,
                            RwInt32 numVerts, const RpD3D9TangentMesh* meshes, RwInt32 numMeshes);
// Computes the tangents and writes them with the vector writer; the element size, or 0 on failure.
RwUInt32 _rpD3D9VertexDeclarationInstTangent(RwUInt32 type, void* dst, const RwV3d* positions,
                                             const RwTexCoords* texCoords, RwInt32 numVerts,
                                             const RpD3D9TangentMesh* meshes, RwInt32 numMeshes,
                                             RwUInt32 stride);
