#include "scene/AtomicData.h"

#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"

#include <strings.h>

namespace Rw {

namespace {

RwInt32 lodOffset = -1;
bool lodOpen = false;

// The one string of an array of that name, or null.
template <class Object, class Count, class Get>
const char* NamedString(Object* object, Count count, Get get, const char* const* names, int nameCount) {
    const RwInt32 arrays = count(object);
    for (RwInt32 i = 0; i < arrays; ++i) {
        const RpUserDataArray* array = get(object, i);
        if (!array || !array->name)
            continue;
        for (int n = 0; n < nameCount; ++n) {
            if (strcasecmp(array->name, names[n]) == 0 && array->format == rpSTRINGUSERDATA &&
                array->numElements == 1) {
                const char* text = static_cast<char* const*>(array->data)[0];
                if (text)
                    return text;
            }
        }
    }
    return nullptr;
}

void* ConstructEngine(void* instance, RwInt32, RwInt32) {
    lodOpen = true;
    return instance;
}
void* DestructEngine(void* instance, RwInt32, RwInt32) {
    lodOpen = false;
    return instance;
}
void* Construct(void* object, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(AtomicLodData, object, offset);
    data->index = 0;
    for (RpGeometry*& slot : data->geometries)
        slot = nullptr;
    data->savedRenderCallback = nullptr;
    return object;
}
void* Destruct(void* object, RwInt32 offset, RwInt32) {
    auto* data = RWPLUGINOFFSET(AtomicLodData, object, offset);
    for (RpGeometry*& slot : data->geometries) {
        if (slot)
            RpGeometryDestroy(slot);
        slot = nullptr;
    }
    return object;
}
void* Copy(void* dst, const void* src, RwInt32 offset, RwInt32) {
    auto* to = RWPLUGINOFFSET(AtomicLodData, dst, offset);
    const auto* from = RWPLUGINOFFSET(const AtomicLodData, src, offset);
    to->index = from->index;
    to->savedRenderCallback = from->savedRenderCallback;
    for (int i = 0; i < AtomicLodData::Levels; ++i) {
        to->geometries[i] = from->geometries[i];
        if (to->geometries[i])
            RpGeometryAddReference(to->geometries[i]);
    }
    return dst;
}

} // namespace

namespace {
const char* const frameNames[] = {"1.blindName", "3dsmax User Properties"};
} // namespace

const char* GetFrameName(const RwFrame* frame) {
    if (frame)
        if (const char* name = NamedString(const_cast<RwFrame*>(frame), RpUserDataFrameGetArrayCount,
                                           RpUserDataFrameGetArray, frameNames, 2))
            return name;
    return "";
}

RwFrame* FindNamedFrame(RwFrame* root, const char* name) {
    if (!root || !name)
        return nullptr;
    if (strcasecmp(GetFrameName(root), name) == 0)
        return root;
    for (RwFrame* child = root->child; child; child = child->next)
        if (RwFrame* found = FindNamedFrame(child, name))
            return found;
    return nullptr;
}

const char* GetAtomicName(const RpAtomic* atomic) {
    static const char* const geometryNames[] = {"Name"};
    if (RwFrame* frame = RpAtomicGetFrame(atomic))
        if (const char* name =
                NamedString(frame, RpUserDataFrameGetArrayCount, RpUserDataFrameGetArray, frameNames, 2))
            return name;
    if (RpGeometry* geometry = RpAtomicGetGeometry(atomic))
        if (const char* name = NamedString(geometry, RpUserDataGeometryGetArrayCount,
                                           RpUserDataGeometryGetArray, geometryNames, 1))
            return name;
    return "";
}

RpAtomic* MatchAtomicName(RpAtomic* atomic, void* data) {
    auto* name = static_cast<const char**>(data);
    const char* own = GetAtomicName(atomic);
    if (strcasecmp(own, *name) != 0)
        return atomic;
    *name = own;
    return nullptr;
}

bool AtomicLodData::RegisterPlugin() {
    // A second engine slot tells whether the offset belongs to an open engine.
    if (RwEngineRegisterPlugin(sizeof(RwInt32), PluginId, ConstructEngine, DestructEngine) < 0)
        return false;
    lodOffset = RpAtomicRegisterPlugin(sizeof(AtomicLodData), PluginId, Construct, Destruct, Copy);
    return lodOffset >= 0;
}

AtomicLodData* AtomicLodData::Get(const RpAtomic* atomic) {
    if (!atomic || !lodOpen || lodOffset < 0)
        return nullptr;
    return RWPLUGINOFFSET(AtomicLodData, const_cast<RpAtomic*>(atomic), lodOffset);
}

void AtomicLodData::SetGeometry(RpAtomic* atomic, int slot, RpGeometry* geometry) {
    AtomicLodData* data = Get(atomic);
    if (!data || slot < 0 || slot >= Levels)
        return;
    if (geometry)
        RpGeometryAddReference(geometry);
    if (data->geometries[slot])
        RpGeometryDestroy(data->geometries[slot]);
    data->geometries[slot] = geometry;
}

RpAtomic* AtomicLodData::RenderCallback(RpAtomic* atomic) {
    AtomicLodData* data = Get(atomic);
    if (!data || data->index >= uint32_t(Levels))
        return atomic;
    RpGeometry* level = data->geometries[data->index];
    if (!level || !data->savedRenderCallback)
        return atomic;
    // The geometry is swapped in place, without the reference and sphere work of RpAtomicSetGeometry.
    RpGeometry* own = atomic->geometry;
    atomic->geometry = level;
    RpAtomic* result = data->savedRenderCallback(atomic);
    atomic->geometry = own;
    return result;
}

} // namespace Rw
