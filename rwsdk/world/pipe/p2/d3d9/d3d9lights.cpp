#include "rwsdk/world/pipe/p2/d3d9/d3d9lights.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9device.h"
#include "rwsdk/driver/d3d9/d3d9rendst.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/world/baclump.h"
#include "rwsdk/world/baworobj.h"
#include "rwsdk/world/bawrld.h"

#include <d3d9.h>

#include <algorithm>
#include <vector>

namespace {

constexpr RwUInt32 rwID_D3D9LIGHTPLUGIN = 0x505;

RwInt32 lightDataOffset = -1;

struct LightsState {
    RwUInt32 maxActive = 0xFFFFFFFF;
    std::vector<RwInt32> freeIndices;
    RwInt32 nextIndex = 0;
    std::vector<RwInt32> enabled;  // this object's
    std::vector<RwInt32> previous; // the previous object's
    D3DLIGHT9 directional = {};
    D3DLIGHT9 local = {};
};
LightsState state;

void ResetRecords() {
    state.directional = {};
    state.directional.Type = D3DLIGHT_DIRECTIONAL;
    state.directional.Diffuse.a = 1.0f;
    state.directional.Specular = {0, 0, 0, 1.0f};
    state.directional.Ambient = {0, 0, 0, 1.0f};
    state.local = {};
    state.local.Diffuse.a = 1.0f;
    state.local.Specular.a = 1.0f;
    state.local.Ambient.a = 1.0f;
    state.local.Falloff = 1.0f;
}

RwInt32 AssignIndex(RpD3D9LightData* data) {
    if (data->index < 0) {
        if (!state.freeIndices.empty()) {
            data->index = state.freeIndices.back();
            state.freeIndices.pop_back();
        } else {
            data->index = state.nextIndex++;
        }
    }
    return data->index;
}

void ReleaseIndex(RwInt32 index) {
    // A light that never got an index has nothing to give back.
    if (index < 0)
        return;
    if (RwInt32(state.freeIndices.size()) == state.nextIndex - 1) {
        state.freeIndices.clear();
        state.freeIndices.shrink_to_fit();
        state.nextIndex = 0;
        return;
    }
    state.freeIndices.push_back(index);
}

void* LightDataConstruct(void* object, RwInt32 offset, RwInt32) {
    *reinterpret_cast<RpD3D9LightData*>(static_cast<RwUInt8*>(object) + offset) = {-1, 1.0f, 0.0f, 5.0f};
    return object;
}

void* LightDataDestruct(void* object, RwInt32 offset, RwInt32) {
    auto* data = reinterpret_cast<RpD3D9LightData*>(static_cast<RwUInt8*>(object) + offset);
    ReleaseIndex(data->index);
    data->index = -1;
    return object;
}

void* LightDataCopy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    const auto* from = reinterpret_cast<const RpD3D9LightData*>(static_cast<const RwUInt8*>(src) + offset);
    auto* to = reinterpret_cast<RpD3D9LightData*>(static_cast<RwUInt8*>(dst) + offset);
    // The copy gets a Direct3D slot of its own when it is first used: sharing one would hand it out twice.
    *to = {-1, from->constant, from->linear, from->quadratic};
    return dst;
}

const RwMatrix* LightMatrix(RpLight* light) {
    RwFrame* frame = RpLightGetFrame(light);
    return frame ? RwFrameGetWorldMatrix(frame) : nullptr;
}

D3DVECTOR Vec(const RwV3d& v) {
    return {v.x, v.y, v.z};
}

// Global lights of the current world whose flags meet the mask; directional ones only with normals.
RwBool SetGlobalLights(RwUInt32 mask, bool normals) {
    rwD3D9AmbientLightColor = {0.0f, 0.0f, 0.0f, 1.0f};
    RwBool found = FALSE;
    auto* world = static_cast<RpWorld*>(RWSRCGLOBAL(curWorld));
    if (world) {
        RwLinkList* list = &world->directionalLightList;
        for (RwLLLink* l = rwLinkListGetFirstLLLink(list); l != rwLinkListGetTerminator(list); l = l->next) {
            auto* light =
                reinterpret_cast<RpLight*>(reinterpret_cast<RwUInt8*>(l) - offsetof(RpLight, inWorld));
            if (!(RpLightGetFlags(light) & mask))
                continue;
            if (RpLightGetType(light) == rpLIGHTDIRECTIONAL) {
                if (!normals)
                    continue;
                RpD3D9LightsSetDirectional(light);
            } else {
                rwD3D9AmbientLightColor.red += light->color.red;
                rwD3D9AmbientLightColor.green += light->color.green;
                rwD3D9AmbientLightColor.blue += light->color.blue;
            }
            found = TRUE;
        }
    }
    RwD3D9SetRenderState(D3DRS_AMBIENT, found ? 0xFFFFFFFFu : 0u);
    return found;
}

} // namespace

RwBool RpD3D9LightPluginAttach() {
    lightDataOffset = RpLightRegisterPlugin(sizeof(RpD3D9LightData), rwID_D3D9LIGHTPLUGIN, LightDataConstruct,
                                            LightDataDestruct, LightDataCopy);
    return lightDataOffset >= 0;
}

RpD3D9LightData* RpD3D9LightGetData(RpLight* light) {
    return reinterpret_cast<RpD3D9LightData*>(reinterpret_cast<RwUInt8*>(light) + lightDataOffset);
}

RwBool RpD3D9LightsOpen() {
    state.freeIndices.clear();
    state.nextIndex = 0;
    state.enabled.clear();
    state.previous.clear();
    const D3DCAPS9* caps = RwD3D9GetCaps();
    state.maxActive = caps && caps->MaxActiveLights ? caps->MaxActiveLights : 0xFFFFFFFFu;
    rwD3D9AmbientLightColor = {0.0f, 0.0f, 0.0f, 1.0f};
    ResetRecords();
    return TRUE;
}

void RpD3D9LightsClose() {
    state.freeIndices = {};
    state.enabled = {};
    state.previous = {};
}

RwBool RpD3D9LightsSetGlobal(RwUInt32 flagMask) {
    return SetGlobalLights(flagMask, false);
}

RwBool RpD3D9LightsSetDirectional(RpLight* light) {
    const RwInt32 index = AssignIndex(RpD3D9LightGetData(light));
    state.directional.Diffuse.r = light->color.red;
    state.directional.Diffuse.g = light->color.green;
    state.directional.Diffuse.b = light->color.blue;
    const RwMatrix* m = LightMatrix(light);
    state.directional.Direction = m ? Vec(m->at) : D3DVECTOR{0, 0, 1};
    RwD3D9SetLight(index, &state.directional);
    state.enabled.push_back(index);
    return TRUE;
}

RwBool RpD3D9LightsSetLocal(RpLight* light) {
    const RwInt32 type = RpLightGetType(light);
    if (light->radius == 0.0f || (type != rpLIGHTPOINT && type != rpLIGHTSPOT && type != rpLIGHTSPOTSOFT))
        return FALSE;
    RpD3D9LightData* data = RpD3D9LightGetData(light);
    const RwInt32 index = AssignIndex(data);
    D3DLIGHT9& r = state.local;
    r.Diffuse.r = light->color.red;
    r.Diffuse.g = light->color.green;
    r.Diffuse.b = light->color.blue;
    const RwMatrix* m = LightMatrix(light);
    r.Position = m ? Vec(m->pos) : D3DVECTOR{0, 0, 0};
    r.Range = light->radius;
    r.Attenuation0 = data->constant;
    r.Attenuation1 = data->linear / r.Range;
    r.Attenuation2 = data->quadratic / (r.Range * r.Range);
    if (type == rpLIGHTPOINT) {
        r.Type = D3DLIGHT_POINT;
        r.Direction = {0, 0, 0};
        r.Theta = 0.0f;
        r.Phi = 0.0f;
    } else {
        r.Type = D3DLIGHT_SPOT;
        r.Direction = m ? Vec(m->at) : D3DVECTOR{0, 0, 1};
        r.Phi = 2.0f * RpLightGetConeAngle(light);
        if (type == rpLIGHTSPOT)
            r.Theta = r.Phi >= 3.1415927f ? r.Phi - 0.001f : r.Phi;
        else
            r.Theta = 0.0f;
    }
    RwD3D9SetLight(index, &r);
    state.enabled.push_back(index);
    return TRUE;
}

void RpD3D9LightsEnable(RwBool any) {
    if (!any) {
        RwD3D9SetRenderState(D3DRS_LIGHTING, FALSE);
        return;
    }
    if (state.enabled.size() > state.maxActive)
        state.enabled.resize(state.maxActive);
    for (RwInt32 index : state.previous)
        if (std::find(state.enabled.begin(), state.enabled.end(), index) == state.enabled.end())
            RwD3D9EnableLight(index, FALSE);
    if (state.enabled.empty()) {
        state.previous.clear();
    } else {
        for (RwInt32 index : state.enabled)
            RwD3D9EnableLight(index, TRUE);
        std::swap(state.enabled, state.previous);
    }
    state.enabled.clear();
    RwD3D9SetRenderState(D3DRS_LIGHTING, TRUE);
}

void RpD3D9AtomicDefaultLightingCallback(void* object) {
    auto* atomic = static_cast<RpAtomic*>(object);
    const RpGeometry* geometry = atomic->geometry;
    if (!(geometry->flags & rpGEOMETRYLIGHT) || !RWSRCGLOBAL(curWorld)) {
        RpD3D9LightsEnable(FALSE);
        return;
    }
    const bool normals = (geometry->flags & rpGEOMETRYNORMALS) != 0;
    RwBool found = SetGlobalLights(rpLIGHTLIGHTATOMICS, normals);
    if (normals) {
        RwUInt16& counter = *_rpLightUpdateCounter();
        ++counter;
        const RwSphere* sphere = RpAtomicGetWorldBoundingSphere(atomic);
        RwLinkList* ties = &atomic->llWorldSectorsInAtomic;
        for (RwLLLink* t = rwLinkListGetFirstLLLink(ties); t != rwLinkListGetTerminator(ties); t = t->next) {
            RpWorldSector* sector = _rpTieFromObjectLink(t)->worldSector;
            RwLinkList* lights = &sector->lightsInWorldSector;
            for (RwLLLink* l = rwLinkListGetFirstLLLink(lights); l != rwLinkListGetTerminator(lights);
                 l = l->next) {
                auto* light = static_cast<RpLight*>(_rpTieFromSectorLink(l)->object);
                if (light->lightFrame == counter || !(RpLightGetFlags(light) & rpLIGHTLIGHTATOMICS))
                    continue;
                light->lightFrame = counter;
                const RwMatrix* m = LightMatrix(light);
                if (!m)
                    continue;
                const RwReal dx = m->pos.x - sphere->center.x, dy = m->pos.y - sphere->center.y,
                             dz = m->pos.z - sphere->center.z;
                const RwReal reach = light->radius + sphere->radius;
                if (dx * dx + dy * dy + dz * dz < reach * reach && RpD3D9LightsSetLocal(light))
                    found = TRUE;
            }
        }
    }
    RpD3D9LightsEnable(found);
}

RwInt32 _rpD3D9LightsGetNextIndex() {
    return state.nextIndex;
}

RwInt32 _rpD3D9LightsGetNumFree() {
    return RwInt32(state.freeIndices.size());
}

RwInt32 _rpD3D9LightsGetEnabled(const RwInt32** indices) {
    *indices = state.previous.data();
    return RwInt32(state.previous.size());
}
