#include "rwsdk/world/pipe/p2/d3d9/d3d9pack.h"

#include <d3d9.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr RwUInt32 declSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};

template <class T> void Put(RwUInt8* dst, RwInt32 index, T value) {
    std::memcpy(dst + index * sizeof(T), &value, sizeof(T));
}

template <class T> T Get(const RwUInt8* src, RwInt32 index) {
    T value;
    std::memcpy(&value, src + index * sizeof(T), sizeof(T));
    return value;
}

RwInt32 Round(RwReal v) {
    return RwInt32(std::lround(v));
}

// Writes one element from up to three components (the fourth, where the type has one, is its "one").
void PackOne(RwUInt32 type, RwUInt8* dst, const RwReal c[3]) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
        std::memcpy(dst, c, 4 * (type + 1));
        break;
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(dst, c, 12);
        Put<RwReal>(dst, 3, 1.0f);
        break;
    case D3DDECLTYPE_D3DCOLOR:
        dst[0] = RwUInt8(Round(c[2] * 255.0f));
        dst[1] = RwUInt8(Round(c[1] * 255.0f));
        dst[2] = RwUInt8(Round(c[0] * 255.0f));
        dst[3] = 255;
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 3; ++i)
            dst[i] = RwUInt8(Round(c[i]));
        dst[3] = 1;
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        Put<RwInt16>(dst, 0, RwInt16(Round(c[0])));
        Put<RwInt16>(dst, 1, RwInt16(Round(c[1])));
        if (type == D3DDECLTYPE_SHORT4) {
            Put<RwInt16>(dst, 2, RwInt16(Round(c[2])));
            Put<RwInt16>(dst, 3, 1);
        }
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 3; ++i)
            dst[i] = RwUInt8(Round(c[i] * 255.0f));
        dst[3] = 255;
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        Put<RwInt16>(dst, 0, RwInt16(Round(c[0] * 32767.0f)));
        Put<RwInt16>(dst, 1, RwInt16(Round(c[1] * 32767.0f)));
        if (type == D3DDECLTYPE_SHORT4N) {
            Put<RwInt16>(dst, 2, RwInt16(Round(c[2] * 32767.0f)));
            Put<RwInt16>(dst, 3, 32767);
        }
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        Put<RwUInt16>(dst, 0, RwUInt16(Round(c[0] * 65535.0f)));
        Put<RwUInt16>(dst, 1, RwUInt16(Round(c[1] * 65535.0f)));
        if (type == D3DDECLTYPE_USHORT4N) {
            Put<RwUInt16>(dst, 2, RwUInt16(Round(c[2] * 65535.0f)));
            Put<RwUInt16>(dst, 3, 65535);
        }
        break;
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N: {
        const RwReal scale = type == D3DDECLTYPE_DEC3N ? 511.0f : 1.0f;
        const RwUInt32 word = (RwUInt32(Round(c[0] * scale)) & 0x3FF) |
                              ((RwUInt32(Round(c[1] * scale)) & 0x3FF) << 10) |
                              ((RwUInt32(Round(c[2] * scale)) & 0x3FF) << 20);
        Put<RwUInt32>(dst, 0, word);
        break;
    }
    default:
        break;
    }
}

template <class Source>
RwUInt32 PackAll(RwUInt32 type, void* dst, RwInt32 numVerts, RwUInt32 stride, Source source) {
    const RwUInt32 size = _rpD3D9VertexDeclarationGetSize(type);
    if (type >= D3DDECLTYPE_FLOAT16_2)
        return size;
    auto* out = static_cast<RwUInt8*>(dst);
    for (RwInt32 i = 0; i < numVerts; ++i, out += stride) {
        RwReal c[3];
        source(i, c);
        PackOne(type, out, c);
    }
    return size;
}

RwInt32 SignExtend10(RwUInt32 field) {
    return (field & 0x200) ? RwInt32(field) - 0x400 : RwInt32(field);
}

// Up to four components of one element as floats.
int UnpackOne(RwUInt32 type, RwReal out[4], const void* element) {
    const auto* src = static_cast<const RwUInt8*>(element);
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, src, 4 * (type + 1));
        return int(type + 1);
    case D3DDECLTYPE_D3DCOLOR:
        out[0] = src[2] * 0.003921569f;
        out[1] = src[1] * 0.003921569f;
        out[2] = src[0] * 0.003921569f;
        out[3] = src[3] * 0.003921569f;
        return 4;
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N: {
        const RwReal scale = type == D3DDECLTYPE_UBYTE4N ? 0.003921569f : 1.0f;
        for (int i = 0; i < 4; ++i)
            out[i] = src[i] * scale;
        return 4;
    }
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N: {
        const int n = (type == D3DDECLTYPE_SHORT2 || type == D3DDECLTYPE_SHORT2N) ? 2 : 4;
        const RwReal scale = type >= D3DDECLTYPE_SHORT2N ? 3.051851e-5f : 1.0f;
        for (int i = 0; i < n; ++i)
            out[i] = Get<RwInt16>(src, i) * scale;
        return n;
    }
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N: {
        const int n = type == D3DDECLTYPE_USHORT2N ? 2 : 4;
        for (int i = 0; i < n; ++i)
            out[i] = Get<RwUInt16>(src, i) * 1.5259022e-5f;
        return n;
    }
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N: {
        const RwUInt32 word = Get<RwUInt32>(src, 0);
        for (int i = 0; i < 3; ++i) {
            const RwUInt32 field = (word >> (10 * i)) & 0x3FF;
            out[i] = type == D3DDECLTYPE_DEC3N ? SignExtend10(field) * 0.0019569471f : RwReal(field);
        }
        return 3;
    }
    default:
        return 0;
    }
}

} // namespace

RwUInt32 _rpD3D9VertexDeclarationGetSize(RwUInt32 type) {
    return type < std::size(declSizes) ? declSizes[type] : 0;
}

RwUInt32 _rpD3D9VertexDeclarationInstV3d(RwUInt32 type, void* dst, const RwV3d* src, RwInt32 numVerts,
                                         RwUInt32 stride) {
    if (type == D3DDECLTYPE_FLOAT3 && stride == sizeof(RwV3d)) {
        std::memcpy(dst, src, sizeof(RwV3d) * numVerts);
        return sizeof(RwV3d);
    }
    return PackAll(type, dst, numVerts, stride, [src](RwInt32 i, RwReal c[3]) {
        c[0] = src[i].x;
        c[1] = src[i].y;
        c[2] = src[i].z;
    });
}

RwUInt32 _rpD3D9VertexDeclarationInstV3dComp(RwUInt32 type, void* dst, const RwInt8* src, RwInt32 numVerts,
                                             RwUInt32 stride) {
    return PackAll(type, dst, numVerts, stride, [src](RwInt32 i, RwReal c[3]) {
        for (int k = 0; k < 3; ++k)
            c[k] = src[4 * i + k] * 0.0078125f;
    });
}

RwUInt32 _rpD3D9VertexDeclarationInstV3dMorph(RwUInt32 type, void* dst, const RwV3d* start, const RwV3d* end,
                                              RwReal t, RwInt32 numVerts, RwUInt32 stride) {
    return PackAll(type, dst, numVerts, stride, [start, end, t](RwInt32 i, RwReal c[3]) {
        c[0] = start[i].x + (end[i].x - start[i].x) * t;
        c[1] = start[i].y + (end[i].y - start[i].y) * t;
        c[2] = start[i].z + (end[i].z - start[i].z) * t;
    });
}

RwUInt32 _rpD3D9VertexDeclarationInstV2d(RwUInt32 type, void* dst, const RwTexCoords* src, RwInt32 numVerts,
                                         RwUInt32 stride) {
    if (type == D3DDECLTYPE_FLOAT2 && stride == sizeof(RwTexCoords)) {
        std::memcpy(dst, src, sizeof(RwTexCoords) * numVerts);
        return sizeof(RwTexCoords);
    }
    return PackAll(type, dst, numVerts, stride, [src](RwInt32 i, RwReal c[3]) {
        c[0] = src[i].u;
        c[1] = src[i].v;
        c[2] = 0.0f;
    });
}

RwBool _rpD3D9VertexDeclarationInstColor(RwUInt8* dst, const RwRGBA* src, RwInt32 numVerts, RwUInt32 stride) {
    RwBool alpha = FALSE;
    for (RwInt32 i = 0; i < numVerts; ++i, dst += stride) {
        const RwRGBA& c = src[i];
        const RwUInt32 color =
            (RwUInt32(c.alpha) << 24) | (RwUInt32(c.red) << 16) | (RwUInt32(c.green) << 8) | c.blue;
        std::memcpy(dst, &color, 4);
        if (c.alpha != 255)
            alpha = TRUE;
    }
    return alpha;
}

void _rpD3D9VertexDeclarationUnpackV3d(RwUInt32 type, RwV3d* out, const void* element) {
    RwReal c[4] = {};
    UnpackOne(type, c, element);
    *out = {c[0], c[1], c[2]};
}

void _rpD3D9VertexDeclarationUnpackV2d(RwUInt32 type, RwTexCoords* out, const void* element) {
    RwReal c[4] = {};
    UnpackOne(type, c, element);
    *out = {c[0], c[1]};
}

void _rpD3D9ComputeTangents(RwV3d* out, const RwV3d* positions, const RwTexCoords* texCoords,
                            RwInt32 numVerts, const RpD3D9TangentMesh* meshes, RwInt32 numMeshes) {
    std::fill(out, out + numVerts, RwV3d{0.0f, 0.0f, 0.0f});
    auto triangle = [&](RwInt32 i0, RwInt32 i1, RwInt32 i2) {
        if (i0 < 0 || i1 < 0 || i2 < 0 || i0 >= numVerts || i1 >= numVerts || i2 >= numVerts)
            return;
        const RwV3d &p0 = positions[i0], &p1 = positions[i1], &p2 = positions[i2];
        const RwV3d d1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z};
        const RwV3d d2 = {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
        const RwReal ds1 = texCoords[i1].u - texCoords[i0].u, dt1 = texCoords[i1].v - texCoords[i0].v;
        const RwReal ds2 = texCoords[i2].u - texCoords[i0].u, dt2 = texCoords[i2].v - texCoords[i0].v;
        const RwReal det = dt2 * ds1 - ds2 * dt1;
        if (!(std::fabs(det) > 1e-12f))
            return;
        const RwReal inv = 1.0f / det;
        const RwV3d t = {(dt1 * d2.x - dt2 * d1.x) * inv, (dt1 * d2.y - dt2 * d1.y) * inv,
                         (dt1 * d2.z - dt2 * d1.z) * inv};
        for (RwInt32 v : {i0, i1, i2}) {
            out[v].x -= t.x;
            out[v].y -= t.y;
            out[v].z -= t.z;
        }
    };
    for (RwInt32 m = 0; m < numMeshes; ++m) {
        const RpD3D9TangentMesh& mesh = meshes[m];
        if (mesh.strip) {
            for (RwUInt32 i = 0; i + 2 < mesh.numIndices; ++i) {
                const RwUInt16 a = mesh.indices[i], b = mesh.indices[i + 1], c = mesh.indices[i + 2];
                if (a == b || b == c || a == c)
                    continue;
                if (i & 1)
                    triangle(mesh.base + c, mesh.base + b, mesh.base + a);
                else
                    triangle(mesh.base + a, mesh.base + b, mesh.base + c);
            }
        } else {
            for (RwUInt32 i = 0; i + 2 < mesh.numIndices; i += 3)
                triangle(mesh.base + mesh.indices[i], mesh.base + mesh.indices[i + 1],
                         mesh.base + mesh.indices[i + 2]);
        }
    }
    for (RwInt32 i = 0; i < numVerts; ++i) {
        const RwReal length2 = out[i].x * out[i].x + out[i].y * out[i].y + out[i].z * out[i].z;
        if (length2 > 0.0f) {
            const RwReal scale = 1.0f / std::sqrt(length2);
            out[i] = {out[i].x * scale, out[i].y * scale, out[i].z * scale};
        }
    }
}

RwUInt32 _rpD3D9VertexDeclarationInstTangent(RwUInt32 type, void* dst, const RwV3d* positions,
                                             const RwTexCoords* texCoords, RwInt32 numVerts,
                                             const RpD3D9TangentMesh* meshes, RwInt32 numMeshes,
                                             RwUInt32 stride) {
    std::vector<RwV3d> tangents(numVerts);
    _rpD3D9ComputeTangents(tangents.data(), positions, texCoords, numVerts, meshes, numMeshes);
    return _rpD3D9VertexDeclarationInstV3d(type, dst, tangents.data(), numVerts, stride);
}
