// Vertex declarations, and the declarations that FVF codes stand for.
#pragma once

#include "platform/d3d9/Object.h"

#include <vector>

namespace D3D9 {

class VertexDeclaration final : public Object<IDirect3DVertexDeclaration9> {
public:
    // elements end with the end element (type UNUSED); holdsDevice is false for the device's own FVF ones.
    VertexDeclaration(IDirect3DDevice9* device, std::vector<D3DVERTEXELEMENT9> elements, bool holdsDevice);

    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;

    // Without the end element.
    const std::vector<D3DVERTEXELEMENT9>& Elements() const { return elements_; }
    bool Pretransformed() const { return pretransformed_; }
    unsigned Id() const { return id_; }

    // The elements of an FVF code (stream 0, end element included), or empty for a code without a position.
    static std::vector<D3DVERTEXELEMENT9> FromFvf(DWORD fvf);
    // Bytes of one element of a type.
    static unsigned TypeSize(BYTE type);

private:
    std::vector<D3DVERTEXELEMENT9> elements_;
    bool pretransformed_ = false;
    unsigned id_;
};

} // namespace D3D9
