// Native geometry and sector data: the instanced Direct3D 9 form saved in the object's extension chunk
// (plugin 0x510), for objects flagged native. The instance header is written in a fixed layout of 32-bit
// words of its own (no pointers), and every size is checked against the chunk before anything is made.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RpGeometry;
struct RpWorldSector;
struct RwStream;

constexpr RwUInt32 rwID_NATIVEDATAPLUGIN = 0x510;
constexpr RwUInt32 rpNATIVEHEADERBYTES = 28; // before the mesh records
constexpr RwUInt32 rpNATIVEMESHBYTES = 32;   // per mesh
constexpr RwUInt32 rpNATIVEMAXELEMENTS = 65; // a declaration's elements with its end element

// Bytes of the extension's payload (0 without the native flag or without instance data).
RwInt32 _rpD3D9NativeDataGeometryGetSize(const RpGeometry* geometry);
RwStream* _rpD3D9NativeDataGeometryWrite(RwStream* stream, const RpGeometry* geometry);
// The stream stands at the payload; length is the payload's. Null on failure, with nothing left made.
RwStream* _rpD3D9NativeDataGeometryRead(RwStream* stream, RwInt32 length, RpGeometry* geometry);

// Registers the extension on geometries and world sectors.
RwBool _rpD3D9NativeDataPluginAttach();
