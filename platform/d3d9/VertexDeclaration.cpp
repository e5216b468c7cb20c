#include "platform/d3d9/VertexDeclaration.h"

namespace D3D9 {
namespace {
unsigned nextId = 1;
} // namespace

VertexDeclaration::VertexDeclaration(IDirect3DDevice9* device, std::vector<D3DVERTEXELEMENT9> elements,
                                     bool holdsDevice)
    : Object(device, holdsDevice), id_(nextId++) {
    for (const D3DVERTEXELEMENT9& e : elements) {
        if (e.Stream == 0xFF || e.Type == D3DDECLTYPE_UNUSED)
            break;
        elements_.push_back(e);
        if (e.Usage == D3DDECLUSAGE_POSITIONT)
            pretransformed_ = true;
    }
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** device) {
    if (!device)
        return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return D3D_OK;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) {
    if (!count)
        return D3DERR_INVALIDCALL;
    UINT total = UINT(elements_.size()) + 1;
    if (elements) {
        for (size_t i = 0; i < elements_.size(); ++i)
            elements[i] = elements_[i];
        elements[elements_.size()] = D3DDECL_END();
    }
    *count = total;
    return D3D_OK;
}

unsigned VertexDeclaration::TypeSize(BYTE type) {
    static const unsigned sizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8, 0};
    return type < sizeof(sizes) / sizeof(sizes[0]) ? sizes[type] : 0;
}

std::vector<D3DVERTEXELEMENT9> VertexDeclaration::FromFvf(DWORD fvf) {
    std::vector<D3DVERTEXELEMENT9> out;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = WORD(offset + TypeSize(type));
    };
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position == D3DFVF_XYZRHW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (position == D3DFVF_XYZW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
    } else if (position >= D3DFVF_XYZ && position <= D3DFVF_XYZB5 && (position & 1) == 0) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        unsigned betas = (position - D3DFVF_XYZ) / 2;
        bool lastIsIndices = (fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) != 0;
        unsigned weights = betas > 0 && lastIsIndices ? betas - 1 : betas;
        if (weights > 0)
            add(BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (betas > 0 && lastIsIndices)
            add((fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
    } else {
        return out;
    }
    if (fvf & D3DFVF_NORMAL)
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE)
        add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    unsigned texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (unsigned i = 0; i < texCount && i < 8; ++i) {
        static const BYTE bySize[] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                      D3DDECLTYPE_FLOAT1};
        add(bySize[(fvf >> (16 + i * 2)) & 3], D3DDECLUSAGE_TEXCOORD, BYTE(i));
    }
    out.push_back(D3DDECL_END());
    return out;
}

} // namespace D3D9
