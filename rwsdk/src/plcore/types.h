// Scalar types, intrusive lists and identifiers shared by every engine module.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int8_t RwInt8;
typedef uint8_t RwUInt8;
typedef int16_t RwInt16;
typedef uint16_t RwUInt16;
typedef int32_t RwInt32;
typedef uint32_t RwUInt32;
typedef int64_t RwInt64;
typedef uint64_t RwUInt64;
typedef float RwReal;
typedef char RwChar;
typedef RwInt32 RwBool;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// The data of a plugin or module inside an object of its registry.
#define RWPLUGINOFFSET(type, base, offset) ((type*)(((RwUInt8*)(base)) + (offset)))
#define RWPLUGINOFFSETCONST(type, base, offset) ((const type*)(((const RwUInt8*)(base)) + (offset)))

// Engine lists are intrusive, circular and doubly linked, with the sentinel in the owner; members join at
// the head, so iteration runs newest first.
struct RwLLLink {
    RwLLLink* next;
    RwLLLink* prev;
};

struct RwLinkList {
    RwLLLink link;
};

inline void rwLinkListInitialize(RwLinkList* list) {
    list->link.next = &list->link;
    list->link.prev = &list->link;
}
inline bool rwLinkListEmpty(const RwLinkList* list) {
    return list->link.next == &list->link;
}
inline RwLLLink* rwLinkListGetFirstLLLink(RwLinkList* list) {
    return list->link.next;
}
inline RwLLLink* rwLinkListGetTerminator(RwLinkList* list) {
    return &list->link;
}
inline void rwLinkListAddLLLink(RwLinkList* list, RwLLLink* link) {
    link->next = list->link.next;
    link->prev = &list->link;
    list->link.next->prev = link;
    list->link.next = link;
}
inline void rwLLLinkRemove(RwLLLink* link) {
    link->prev->next = link->next;
    link->next->prev = link->prev;
}
inline void rwLLLinkInitialize(RwLLLink* link) {
    link->next = nullptr;
    link->prev = nullptr;
}

// The record that holds a link, from the link.
#define rwLLLinkGetData(linkvar, type, entry) ((type*)(((RwUInt8*)(linkvar)) - offsetof(type, entry)))

// Module and plugin ids of the engine core; the memory hint of a request carries them in its low 16 bits.
constexpr RwUInt32 rwID_NAOBJECT = 0x00;
constexpr RwUInt32 rwID_VECTORMODULE = 0x401;
constexpr RwUInt32 rwID_MATRIXMODULE = 0x402;
constexpr RwUInt32 rwID_FRAMEMODULE = 0x403;
constexpr RwUInt32 rwID_STREAMMODULE = 0x404;
constexpr RwUInt32 rwID_CAMERAMODULE = 0x405;
constexpr RwUInt32 rwID_IMAGEMODULE = 0x406;
constexpr RwUInt32 rwID_RASTERMODULE = 0x407;
constexpr RwUInt32 rwID_TEXTUREMODULE = 0x408;
constexpr RwUInt32 rwID_PIPEMODULE = 0x409;
constexpr RwUInt32 rwID_IMMEDIATEMODULE = 0x40A;
constexpr RwUInt32 rwID_RESOURCESMODULE = 0x40B;
constexpr RwUInt32 rwID_DEVICEMODULE = 0x40C;
constexpr RwUInt32 rwID_COLORMODULE = 0x40D;
constexpr RwUInt32 rwID_ERRORMODULE = 0x40F;
constexpr RwUInt32 rwID_MODULE412 = 0x412;
