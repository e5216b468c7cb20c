// Lights: frame-placed objects with a type, a colour, a radius and a cone.
#pragma once

#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/color.h"
#include "rwsdk/src/plcore/plugin.h"
#include "rwsdk/src/plcore/types.h"

struct RwStream;

constexpr RwUInt32 rwID_LIGHTMODULE = 0x505;

// Types of 128 and above are local lights, placed in a world's sectors.
enum RpLightType : RwInt32 {
    rpNALIGHTTYPE = 0,
    rpLIGHTDIRECTIONAL = 1,
    rpLIGHTAMBIENT = 2,
    rpLIGHTPOINT = 0x80,
    rpLIGHTSPOT = 0x81,
    rpLIGHTSPOTSOFT = 0x82,
};

enum RpLightFlag : RwUInt8 {
    rpLIGHTLIGHTATOMICS = 0x01,
    rpLIGHTLIGHTWORLD = 0x02,
};

struct RpLight {
    RwObjectHasFrame object; // type 3, subtype the light type
    RwReal radius;
    RwRGBAReal color;
    RwReal minusCosAngle; // minus the cosine of the cone angle
    RwLinkList WorldSectorsInLight;
    RwLLLink inWorld;
    RwUInt16 lightFrame;
    RwUInt16 pad;
};

RpLight* RpLightCreate(RwInt32 type);
RwBool RpLightDestroy(RpLight* light);
RpLight* RpLightSetRadius(RpLight* light, RwReal radius);
RpLight* RpLightSetColor(RpLight* light, const RwRGBAReal* color);
RwReal RpLightGetConeAngle(const RpLight* light);
// Stores minus the cosine of the angle (radians).
RpLight* RpLightSetConeAngle(RpLight* light, RwReal angle);
// The engine's own arc cosine, a rational approximation accurate to f32 precision.
RwReal _rpLightArcCos(RwReal x);

inline RwInt32 RpLightGetType(const RpLight* light) {
    return light->object.object.subType;
}
inline RwReal RpLightGetRadius(const RpLight* light) {
    return light->radius;
}
inline const RwRGBAReal* RpLightGetColor(const RpLight* light) {
    return &light->color;
}
inline RwUInt8 RpLightGetFlags(const RpLight* light) {
    return light->object.object.flags;
}
inline RpLight* RpLightSetFlags(RpLight* light, RwUInt8 flags) {
    light->object.object.flags = flags;
    return light;
}
inline RpLight* RpLightSetFrame(RpLight* light, RwFrame* frame) {
    RwObjectSetFrame(&light->object, frame);
    return light;
}
inline RwFrame* RpLightGetFrame(const RpLight* light) {
    return RwObjectGetFrame(&light->object);
}

RwInt32 RpLightRegisterPlugin(RwInt32 size, RwUInt32 pluginID, RwPluginObjectConstructor constructCB,
                              RwPluginObjectDestructor destructCB, RwPluginObjectCopy copyCB);
RwInt32 RpLightRegisterPluginStream(RwUInt32 pluginID, RwPluginDataChunkReadCallBack readCB,
                                    RwPluginDataChunkWriteCallBack writeCB,
                                    RwPluginDataChunkGetSizeCallBack getSizeCB);
RwInt32 RpLightGetPluginOffset(RwUInt32 pluginID);
const RwPluginRegistry* RpLightGetRegistry();

// The stream stands after the light chunk's header.
RpLight* RpLightStreamRead(RwStream* stream);
RwUInt32 RpLightStreamGetSize(const RpLight* light);
const RpLight* RpLightStreamWrite(const RpLight* light, RwStream* stream);

// Engine module 0x505 (registered by the world plugin).
RwInt32 _rpLightModuleAttach();
// The engine's light-update counter, beside the render-frame counter.
RwUInt16* _rpLightUpdateCounter();
