// User-data plugin: named arrays on geometries, frames, cameras, lights, materials and textures.
#include "rwsdk/plugin/userdata/rpusrdat.h"

#include "rwsdk/src/camera.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bamateri.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The plugin's data in each object. An object read from a memory stream holds its arrays, names and
// elements in one allocation (block); pieces added or replaced later are allocated on their own, and only
// those are freed one by one. Frames have room for a small block behind the list (models name most of
// their frames with one short string), so that reading a name allocates nothing.
struct UserDataList {
    RwInt32 numElements;
    RpUserDataArray* data;
    RwUInt8* block;
    size_t blockSize;
    size_t roomSize; // bytes of room behind the list, 0 for objects without
};

constexpr size_t frameRoomSize = 80;
static_assert(sizeof(UserDataList) % alignof(RwChar*) == 0);

RwUInt8* RoomOf(UserDataList* list) {
    return reinterpret_cast<RwUInt8*>(list + 1);
}

// String elements are preceded by the bounds of the block their texts may lie in (empty when they own
// every text), so that a string can be replaced knowing only its array.
struct StringsHeader {
    const RwUInt8* begin;
    const RwUInt8* end;
};
static_assert(sizeof(StringsHeader) % alignof(RwChar*) == 0);

bool Within(const void* p, const RwUInt8* begin, size_t size) {
    const auto at = reinterpret_cast<std::uintptr_t>(p), from = reinterpret_cast<std::uintptr_t>(begin);
    return at >= from && at - from < size;
}

bool InBlock(const UserDataList* list, const void* p) {
    return list && p && Within(p, list->block, list->blockSize);
}

StringsHeader* HeaderOf(void* strings) {
    return reinterpret_cast<StringsHeader*>(static_cast<RwUInt8*>(strings) - sizeof(StringsHeader));
}

bool OwnsString(void* strings, const RwChar* text) {
    const StringsHeader* header = HeaderOf(strings);
    return text && !Within(text, header->begin, size_t(header->end - header->begin));
}

constexpr RwUInt32 userDataHint = rwMEMHINTDUR_EVENT | rwID_USERDATAPLUGIN;

RwInt32 engineUsers = 0;
RwInt32 geometryOffset = -1, frameOffset = -1, cameraOffset = -1, lightOffset = -1, materialOffset = -1,
        textureOffset = -1;

UserDataList* ListOf(const void* object, RwInt32 offset) {
    return RWPLUGINOFFSET(UserDataList, const_cast<void*>(object), offset);
}

RwChar* Duplicate(const RwChar* text) {
    if (!text)
        return nullptr;
    const size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<RwChar*>(RwMalloc(size, userDataHint));
    if (copy)
        std::memcpy(copy, text, size);
    return copy;
}

// Frees what the array owns outside the list's block (list may be null: then it owns everything).
void FreeArrayContents(const UserDataList* list, RpUserDataArray* array) {
    if (array->name && !InBlock(list, array->name))
        RwFree(array->name);
    if (array->format == rpSTRINGUSERDATA && array->data) {
        auto** strings = static_cast<RwChar**>(array->data);
        for (RwInt32 i = 0; i < array->numElements; ++i)
            if (OwnsString(strings, strings[i]))
                RwFree(strings[i]);
    }
    if (array->data && !InBlock(list, array->data))
        RwFree(array->format == rpSTRINGUSERDATA ? static_cast<void*>(HeaderOf(array->data)) : array->data);
    *array = {nullptr, rpNAUSERDATAFORMAT, 0, nullptr};
}

void DestroyList(UserDataList* list) {
    for (RwInt32 i = 0; i < list->numElements; ++i)
        FreeArrayContents(list, &list->data[i]);
    if (list->data && !InBlock(list, list->data))
        RwFree(list->data);
    if (list->block && list->block != RoomOf(list))
        RwFree(list->block);
    *list = {0, nullptr, nullptr, 0, list->roomSize};
}

void* Construct(void* object, RwInt32 offset, RwInt32) {
    *ListOf(object, offset) = {0, nullptr, nullptr, 0, 0};
    return object;
}

void* ConstructFrame(void* object, RwInt32 offset, RwInt32) {
    *ListOf(object, offset) = {0, nullptr, nullptr, 0, frameRoomSize};
    return object;
}

void* Destruct(void* object, RwInt32 offset, RwInt32) {
    DestroyList(ListOf(object, offset));
    return object;
}

// Elements of a new array of the format, zero or null: integers and reals take 4 bytes each, strings a
// pointer each (wider than 4 bytes on this platform).
void* AllocElements(RpUserDataFormat format, RwInt32 count) {
    if (count <= 0 || format < rpINTUSERDATA || format > rpSTRINGUSERDATA)
        return nullptr;
    if (format != rpSTRINGUSERDATA)
        return RwCalloc(size_t(count), 4, userDataHint);
    auto* header = static_cast<RwUInt8*>(
        RwCalloc(1, sizeof(StringsHeader) + size_t(count) * sizeof(RwChar*), userDataHint));
    return header ? header + sizeof(StringsHeader) : nullptr;
}

bool CopyArray(RpUserDataArray* dst, const RpUserDataArray* src) {
    *dst = {nullptr, src->format, src->numElements, nullptr};
    if (src->name && !(dst->name = Duplicate(src->name)))
        return false;
    if (!src->data)
        return true;
    dst->data = AllocElements(src->format, src->numElements);
    if (!dst->data)
        return src->format < rpINTUSERDATA || src->format > rpSTRINGUSERDATA;
    if (src->format != rpSTRINGUSERDATA) {
        std::memcpy(dst->data, src->data, 4 * size_t(src->numElements));
        return true;
    }
    auto* const* from = static_cast<RwChar* const*>(src->data);
    auto** to = static_cast<RwChar**>(dst->data);
    for (RwInt32 i = 0; i < src->numElements; ++i)
        if (from[i] && !(to[i] = Duplicate(from[i])))
            return false;
    return true;
}

void* Copy(void* dstObject, const void* srcObject, RwInt32 offset, RwInt32) {
    UserDataList* dst = ListOf(dstObject, offset);
    const UserDataList* src = ListOf(srcObject, offset);
    DestroyList(dst);
    if (src->numElements == 0)
        return dstObject;
    dst->data = static_cast<RpUserDataArray*>(
        RwCalloc(size_t(src->numElements), sizeof(RpUserDataArray), userDataHint));
    if (!dst->data)
        return dstObject;
    dst->numElements = src->numElements;
    for (RwInt32 i = 0; i < src->numElements; ++i) {
        if (!CopyArray(&dst->data[i], &src->data[i])) {
            DestroyList(dst); // a partial copy would be no copy
            RwErrorSetCode(E_RW_NOMEM);
            break;
        }
    }
    return dstObject;
}

// Reads within the sub-chunk's bytes only.
struct BoundedReader : _rwBoundedRead {
    bool Int(RwInt32* out) {
        RwUInt32 word;
        if (!U32(&word))
            return false;
        *out = RwInt32(word);
        return true;
    }
    // A NUL-terminated string of the stored length (length + 1 with the NUL), null for 0.
    bool String(RwChar** out) {
        RwInt32 length;
        *out = nullptr;
        if (!Int(&length) || length < 0 || RwUInt32(length) > left)
            return false;
        if (length == 0)
            return true;
        *out = static_cast<RwChar*>(RwMalloc(size_t(length), userDataHint));
        if (!*out || !Bytes(*out, RwUInt32(length)))
            return false;
        (*out)[length - 1] = '\0';
        return true;
    }
};

bool ReadArray(BoundedReader& in, RpUserDataArray* array) {
    RwInt32 format, count;
    if (!in.String(&array->name) || !in.Int(&format) || !in.Int(&count))
        return false;
    // Every element takes at least 4 bytes.
    if (format < rpINTUSERDATA || format > rpSTRINGUSERDATA || count < 0 || RwUInt32(count) > in.left / 4)
        return false;
    array->format = RpUserDataFormat(format);
    array->data = AllocElements(array->format, count);
    if (count > 0 && !array->data)
        return false;
    array->numElements = count;
    if (format != rpSTRINGUSERDATA)
        return in.Bytes(array->data, 4 * RwUInt32(count));
    auto** strings = static_cast<RwChar**>(array->data);
    for (RwInt32 i = 0; i < count; ++i)
        if (!in.String(&strings[i]))
            return false;
    return true;
}

// Stored words from bytes in place, within a bound.
struct Cursor {
    const RwUInt8* at;
    RwUInt32 left;

    bool Int(RwInt32* out) {
        if (left < 4)
            return false;
        std::memcpy(out, at, 4);
        at += 4;
        left -= 4;
        return true;
    }
    // A stored length (0 or more) and as many bytes after it.
    bool Text(RwInt32* length, const RwUInt8** text) {
        if (!Int(length) || *length < 0 || RwUInt32(*length) > left)
            return false;
        *text = at;
        at += *length;
        left -= RwUInt32(*length);
        return true;
    }
};

constexpr size_t AlignUp(size_t size) {
    return (size + alignof(RwChar*) - 1) & ~(alignof(RwChar*) - 1);
}

// Copies a stored text of length bytes (with its NUL) to out, null for 0.
RwChar* PlaceText(RwUInt8** out, const RwUInt8* text, RwInt32 length) {
    if (length == 0)
        return nullptr;
    auto* copy = reinterpret_cast<RwChar*>(*out);
    std::memcpy(copy, text, size_t(length));
    copy[length - 1] = '\0';
    *out += length;
    return copy;
}

// Reads the arrays from bytes in place into one block: a first walk checks them as the stream reader
// does and sizes the block, the second fills it. False leaves the list empty.
bool ReadBlock(const RwUInt8* bytes, RwUInt32 length, UserDataList* list) {
    Cursor in = {bytes, length};
    RwInt32 count, textLength;
    const RwUInt8* text;
    if (!in.Int(&count) || count < 0 || RwUInt32(count) > in.left / 12) // 12 bytes at least per array
        return false;
    if (count == 0)
        return true;
    size_t fixed = sizeof(RpUserDataArray) * size_t(count), texts = 0;
    for (RwInt32 i = 0; i < count; ++i) {
        RwInt32 format, elements;
        if (!in.Text(&textLength, &text) || !in.Int(&format) || !in.Int(&elements))
            return false;
        texts += size_t(textLength);
        // Every element takes at least 4 bytes.
        if (format < rpINTUSERDATA || format > rpSTRINGUSERDATA || elements < 0 ||
            RwUInt32(elements) > in.left / 4)
            return false;
        if (format != rpSTRINGUSERDATA) {
            fixed += AlignUp(4 * size_t(elements));
            in.at += 4 * RwUInt32(elements);
            in.left -= 4 * RwUInt32(elements);
            continue;
        }
        fixed += elements > 0 ? sizeof(StringsHeader) + sizeof(RwChar*) * size_t(elements) : 0;
        for (RwInt32 e = 0; e < elements; ++e) {
            if (!in.Text(&textLength, &text))
                return false;
            texts += size_t(textLength);
        }
    }
    auto* block = fixed + texts <= list->roomSize
                      ? RoomOf(list)
                      : static_cast<RwUInt8*>(RwMalloc(fixed + texts, userDataHint));
    if (!block)
        return false;
    list->block = block;
    list->blockSize = fixed + texts;
    list->data = reinterpret_cast<RpUserDataArray*>(block);
    list->numElements = count;
    RwUInt8* elementsAt = block + sizeof(RpUserDataArray) * size_t(count);
    RwUInt8* textsAt = block + fixed;
    in = {bytes + 4, length - 4};
    for (RwInt32 i = 0; i < count; ++i) {
        RpUserDataArray& array = list->data[i];
        RwInt32 format = 0, elements = 0;
        in.Text(&textLength, &text);
        in.Int(&format);
        in.Int(&elements);
        array = {PlaceText(&textsAt, text, textLength), RpUserDataFormat(format), elements, nullptr};
        if (elements == 0)
            continue;
        if (format != rpSTRINGUSERDATA) {
            array.data = elementsAt;
            std::memcpy(elementsAt, in.at, 4 * size_t(elements));
            elementsAt += AlignUp(4 * size_t(elements));
            in.at += 4 * RwUInt32(elements);
            in.left -= 4 * RwUInt32(elements);
            continue;
        }
        *reinterpret_cast<StringsHeader*>(elementsAt) = {block + fixed, block + fixed + texts};
        auto** strings = reinterpret_cast<RwChar**>(elementsAt + sizeof(StringsHeader));
        array.data = strings;
        elementsAt += sizeof(StringsHeader) + sizeof(RwChar*) * size_t(elements);
        for (RwInt32 e = 0; e < elements; ++e) {
            in.Text(&textLength, &text);
            strings[e] = PlaceText(&textsAt, text, textLength);
        }
    }
    return true;
}

RwStream* Read(RwStream* stream, RwInt32 length, void* object, RwInt32 offset, RwInt32) {
    UserDataList* list = ListOf(object, offset);
    if (list->numElements != 0 || list->data || list->block) // a new object has nothing to destroy
        DestroyList(list);
    // Declared lengths are weighed against the bytes the stream still holds.
    BoundedReader in = {{stream, std::min(RwUInt32(length), RwStreamBytesLeft(stream))}};
    // From a memory stream the bytes are read in place, into one block; the sub-chunk's reader steps the
    // stream past them.
    if (const RwUInt8* bytes = _rwStreamBytesInPlace(stream, in.left)) {
        if (!ReadBlock(bytes, in.left, list))
            DestroyList(list);
        return stream;
    }
    RwInt32 count;
    bool ok = in.Int(&count) && count >= 0 && RwUInt32(count) <= in.left / 12; // 12 bytes at least per array
    if (ok && count > 0) {
        list->data =
            static_cast<RpUserDataArray*>(RwCalloc(size_t(count), sizeof(RpUserDataArray), userDataHint));
        ok = list->data != nullptr;
        if (ok)
            list->numElements = count;
    }
    for (RwInt32 i = 0; ok && i < count; ++i)
        ok = ReadArray(in, &list->data[i]);
    // Half-read arrays are not kept: the object loads without user data, and the extension reader steps
    // to the end of this sub-chunk, so the stream stays in step.
    if (!ok)
        DestroyList(list);
    return stream;
}

bool WriteString(RwStream* stream, const RwChar* text) {
    const RwInt32 length = text ? RwInt32(std::strlen(text) + 1) : 0;
    return RwStreamWriteInt32(stream, &length, 4) &&
           (length == 0 || RwStreamWrite(stream, text, RwUInt32(length)));
}

RwStream* Write(RwStream* stream, RwInt32, const void* object, RwInt32 offset, RwInt32) {
    const UserDataList* list = ListOf(object, offset);
    RwInt32 used = 0;
    for (RwInt32 i = 0; i < list->numElements; ++i)
        used += list->data[i].format != rpNAUSERDATAFORMAT ? 1 : 0;
    if (!RwStreamWriteInt32(stream, &used, 4))
        return stream;
    for (RwInt32 i = 0; i < list->numElements; ++i) {
        const RpUserDataArray& array = list->data[i];
        if (array.format == rpNAUSERDATAFORMAT)
            continue;
        const RwInt32 head[2] = {array.format, array.numElements};
        if (!WriteString(stream, array.name) || !RwStreamWriteInt32(stream, head, sizeof(head)))
            return stream;
        if (array.format == rpSTRINGUSERDATA) {
            for (RwInt32 e = 0; e < array.numElements; ++e)
                if (!WriteString(stream, static_cast<RwChar* const*>(array.data)[e]))
                    return stream;
        } else if (array.numElements > 0) {
            const RwStream* done = array.format == rpREALUSERDATA
                                       ? RwStreamWriteReal(stream, static_cast<const RwReal*>(array.data),
                                                           4 * RwUInt32(array.numElements))
                                       : RwStreamWriteInt32(stream, static_cast<const RwInt32*>(array.data),
                                                            4 * RwUInt32(array.numElements));
            if (!done)
                return stream;
        }
    }
    return stream;
}

RwInt32 Size(const void* object, RwInt32 offset, RwInt32) {
    const UserDataList* list = ListOf(object, offset);
    if (list->numElements == 0)
        return 0;
    RwInt32 size = 4;
    for (RwInt32 i = 0; i < list->numElements; ++i) {
        const RpUserDataArray& array = list->data[i];
        if (array.format == rpNAUSERDATAFORMAT)
            continue;
        size += 4 + (array.name ? RwInt32(std::strlen(array.name) + 1) : 0) + 8;
        if (array.format != rpSTRINGUSERDATA) {
            size += 4 * array.numElements;
            continue;
        }
        for (RwInt32 e = 0; e < array.numElements; ++e) {
            const RwChar* text = static_cast<RwChar* const*>(array.data)[e];
            size += 4 + (text ? RwInt32(std::strlen(text) + 1) : 0);
        }
    }
    return size;
}

void* EngineOpen(void* instance, RwInt32, RwInt32) {
    ++engineUsers;
    return instance;
}

void* EngineClose(void* instance, RwInt32, RwInt32) {
    --engineUsers;
    return instance;
}

RwInt32 GetArrayCount(const void* object, RwInt32 offset) {
    const UserDataList* list = ListOf(object, offset);
    RwInt32 count = 0;
    for (RwInt32 i = 0; i < list->numElements; ++i)
        count += list->data[i].data ? 1 : 0;
    return count;
}

RpUserDataArray* GetArray(void* object, RwInt32 offset, RwInt32 index) {
    UserDataList* list = ListOf(object, offset);
    return index >= 0 && index < list->numElements ? &list->data[index] : nullptr;
}

RwInt32 AddArray(void* object, RwInt32 offset, const RwChar* name, RpUserDataFormat format,
                 RwInt32 numElements) {
    if (format < rpINTUSERDATA || format > rpSTRINGUSERDATA || numElements < 0) {
        RwErrorSetCode(E_RW_BADPARAM);
        return -1;
    }
    UserDataList* list = ListOf(object, offset);
    RpUserDataArray array = {nullptr, format, numElements, nullptr};
    if ((name && !(array.name = Duplicate(name))) ||
        (numElements > 0 && !(array.data = AllocElements(format, numElements)))) {
        FreeArrayContents(nullptr, &array);
        RwErrorSetCode(E_RW_NOMEM);
        return -1;
    }
    const size_t bytes = sizeof(RpUserDataArray) * size_t(list->numElements + 1);
    // Arrays read into a block move out of it to grow.
    const bool moved = InBlock(list, list->data);
    auto* grown = static_cast<RpUserDataArray*>(
        list->data && !moved ? RwRealloc(list->data, bytes, userDataHint) : RwMalloc(bytes, userDataHint));
    if (!grown) {
        FreeArrayContents(nullptr, &array);
        RwErrorSetCode(E_RW_NOMEM);
        return -1;
    }
    if (moved)
        std::memcpy(grown, list->data, sizeof(RpUserDataArray) * size_t(list->numElements));
    list->data = grown;
    list->data[list->numElements] = array;
    return list->numElements++;
}

void RemoveArray(void* object, RwInt32 offset, RwInt32 index) {
    UserDataList* list = ListOf(object, offset);
    if (index >= 0 && index < list->numElements)
        FreeArrayContents(list, &list->data[index]);
}

template <class Register, class RegisterStream>
bool Attach(RwInt32* offset, Register reg, RegisterStream regStream, RwInt32 size = sizeof(UserDataList),
            RwPluginObjectConstructor construct = Construct) {
    *offset = reg(size, rwID_USERDATAPLUGIN, construct, Destruct, Copy);
    return *offset >= 0 && regStream(rwID_USERDATAPLUGIN, Read, Write, Size) >= 0;
}

} // namespace

RwBool RpUserDataPluginAttach() {
    if (RwEngineRegisterPlugin(0, rwID_USERDATAPLUGIN, EngineOpen, EngineClose) < 0)
        return FALSE;
    // A world-sector registry does not exist yet; its user data comes with the worlds.
    return Attach(&geometryOffset, RpGeometryRegisterPlugin, RpGeometryRegisterPluginStream) &&
           Attach(&frameOffset, RwFrameRegisterPlugin, RwFrameRegisterPluginStream,
                  RwInt32(sizeof(UserDataList) + frameRoomSize), ConstructFrame) &&
           Attach(&cameraOffset, RwCameraRegisterPlugin, RwCameraRegisterPluginStream) &&
           Attach(&lightOffset, RpLightRegisterPlugin, RpLightRegisterPluginStream) &&
           Attach(&materialOffset, RpMaterialRegisterPlugin, RpMaterialRegisterPluginStream) &&
           Attach(&textureOffset, RwTextureRegisterPlugin, RwTextureRegisterPluginStream);
}

RwBool RpUserDataArraySetString(RpUserDataArray* array, RwInt32 index, const RwChar* value) {
    auto** strings = static_cast<RwChar**>(array->data);
    RwChar* copy = nullptr;
    if (value && !(copy = Duplicate(value))) {
        RwErrorSetCode(E_RW_NOMEM);
        return FALSE;
    }
    if (OwnsString(strings, strings[index]))
        RwFree(strings[index]);
    strings[index] = copy;
    return TRUE;
}

#define USERDATA_ACCESSORS(Kind, Type, offset)                                                               \
    RwInt32 RpUserData##Kind##GetArrayCount(const Type* object) {                                            \
        return GetArrayCount(object, offset);                                                                \
    }                                                                                                        \
    RpUserDataArray* RpUserData##Kind##GetArray(Type* object, RwInt32 index) {                               \
        return GetArray(object, offset, index);                                                              \
    }                                                                                                        \
    RwInt32 RpUserData##Kind##AddArray(Type* object, const RwChar* name, RpUserDataFormat format,            \
                                       RwInt32 numElements) {                                                \
        return AddArray(object, offset, name, format, numElements);                                          \
    }                                                                                                        \
    void RpUserData##Kind##RemoveArray(Type* object, RwInt32 index) {                                        \
        RemoveArray(object, offset, index);                                                                  \
    }

USERDATA_ACCESSORS(Geometry, RpGeometry, geometryOffset)
USERDATA_ACCESSORS(Frame, RwFrame, frameOffset)
USERDATA_ACCESSORS(Camera, RwCamera, cameraOffset)
USERDATA_ACCESSORS(Light, RpLight, lightOffset)
USERDATA_ACCESSORS(Material, RpMaterial, materialOffset)
USERDATA_ACCESSORS(Texture, RwTexture, textureOffset)
