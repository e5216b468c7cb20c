// The user-data plugin: named arrays of integers, reals or strings on engine objects, kept through their
// streams.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RpGeometry;
struct RwFrame;
struct RwCamera;
struct RpLight;
struct RpMaterial;
struct RwTexture;

constexpr RwUInt32 rwID_USERDATAPLUGIN = 0x11F;

enum RpUserDataFormat : RwInt32 {
    rpNAUSERDATAFORMAT = 0,
    rpINTUSERDATA = 1,
    rpREALUSERDATA = 2,
    rpSTRINGUSERDATA = 3,
};

struct RpUserDataArray {
    RwChar* name;
    RpUserDataFormat format;
    RwInt32 numElements;
    void* data; // RwInt32, RwReal or RwChar* elements
};

RwBool RpUserDataPluginAttach();

// Per object kind: the number of arrays that have elements; the index-th record (null beyond the records);
// a new array (the index of its record, or -1), its elements zero or null; removal of a record.
RwInt32 RpUserDataGeometryGetArrayCount(const RpGeometry* geometry);
RpUserDataArray* RpUserDataGeometryGetArray(RpGeometry* geometry, RwInt32 index);
RwInt32 RpUserDataGeometryAddArray(RpGeometry* geometry, const RwChar* name, RpUserDataFormat format,
                                   RwInt32 numElements);
void RpUserDataGeometryRemoveArray(RpGeometry* geometry, RwInt32 index);
RwInt32 RpUserDataFrameGetArrayCount(const RwFrame* frame);
RpUserDataArray* RpUserDataFrameGetArray(RwFrame* frame, RwInt32 index);
RwInt32 RpUserDataFrameAddArray(RwFrame* frame, const RwChar* name, RpUserDataFormat format,
                                RwInt32 numElements);
void RpUserDataFrameRemoveArray(RwFrame* frame, RwInt32 index);
RwInt32 RpUserDataCameraGetArrayCount(const RwCamera* camera);
RpUserDataArray* RpUserDataCameraGetArray(RwCamera* camera, RwInt32 index);
RwInt32 RpUserDataCameraAddArray(RwCamera* camera, const RwChar* name, RpUserDataFormat format,
                                 RwInt32 numElements);
void RpUserDataCameraRemoveArray(RwCamera* camera, RwInt32 index);
RwInt32 RpUserDataLightGetArrayCount(const RpLight* light);
RpUserDataArray* RpUserDataLightGetArray(RpLight* light, RwInt32 index);
RwInt32 RpUserDataLightAddArray(RpLight* light, const RwChar* name, RpUserDataFormat format,
                                RwInt32 numElements);
void RpUserDataLightRemoveArray(RpLight* light, RwInt32 index);
RwInt32 RpUserDataMaterialGetArrayCount(const RpMaterial* material);
RpUserDataArray* RpUserDataMaterialGetArray(RpMaterial* material, RwInt32 index);
RwInt32 RpUserDataMaterialAddArray(RpMaterial* material, const RwChar* name, RpUserDataFormat format,
                                   RwInt32 numElements);
void RpUserDataMaterialRemoveArray(RpMaterial* material, RwInt32 index);
RwInt32 RpUserDataTextureGetArrayCount(const RwTexture* texture);
RpUserDataArray* RpUserDataTextureGetArray(RwTexture* texture, RwInt32 index);
RwInt32 RpUserDataTextureAddArray(RwTexture* texture, const RwChar* name, RpUserDataFormat format,
                                  RwInt32 numElements);
void RpUserDataTextureRemoveArray(RwTexture* texture, RwInt32 index);

inline const RwChar* RpUserDataArrayGetName(const RpUserDataArray* array) {
    return array->name;
}
inline RpUserDataFormat RpUserDataArrayGetFormat(const RpUserDataArray* array) {
    return array->format;
}
inline RwInt32 RpUserDataArrayGetElementCount(const RpUserDataArray* array) {
    return array->numElements;
}
// No index is checked.
inline RwInt32 RpUserDataArrayGetInt(const RpUserDataArray* array, RwInt32 index) {
    return static_cast<const RwInt32*>(array->data)[index];
}
inline RwReal RpUserDataArrayGetReal(const RpUserDataArray* array, RwInt32 index) {
    return static_cast<const RwReal*>(array->data)[index];
}
inline RwChar* RpUserDataArrayGetString(const RpUserDataArray* array, RwInt32 index) {
    return static_cast<RwChar* const*>(array->data)[index];
}
inline void RpUserDataArraySetInt(RpUserDataArray* array, RwInt32 index, RwInt32 value) {
    static_cast<RwInt32*>(array->data)[index] = value;
}
inline void RpUserDataArraySetReal(RpUserDataArray* array, RwInt32 index, RwReal value) {
    static_cast<RwReal*>(array->data)[index] = value;
}
// A copy of the string (null stays null); false when it cannot be stored.
RwBool RpUserDataArraySetString(RpUserDataArray* array, RwInt32 index, const RwChar* value);
