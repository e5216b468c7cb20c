// Vertex and pixel shaders as token streams; the translator to GLSL attaches its program later.
#pragma once

#include "platform/d3d9/Object.h"
#include "platform/d3d9/ShaderTranslator.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace D3D9 {

// The length of a shader token stream up to and including its end token (0x0000FFFF).
size_t ShaderTokenCount(const DWORD* function);
// A number no other shader of the process has, so programs linked from a shader are never taken for
// another's after its address is reused.
uint64_t NextShaderId();

template <class Interface> class Shader final : public Object<Interface> {
public:
    Shader(IDirect3DDevice9* device, const DWORD* function)
        : Object<Interface>(device, true), tokens_(function, function + ShaderTokenCount(function)) {}

    HRESULT GetDevice(IDirect3DDevice9** device) override {
        if (!device)
            return D3DERR_INVALIDCALL;
        this->device_->AddRef();
        *device = this->device_;
        return D3D_OK;
    }
    HRESULT GetFunction(void* data, UINT* size) override {
        if (!size)
            return D3DERR_INVALIDCALL;
        UINT bytes = UINT(tokens_.size() * sizeof(DWORD));
        if (data)
            std::memcpy(data, tokens_.data(), bytes);
        *size = bytes;
        return D3D_OK;
    }
    const std::vector<DWORD>& Tokens() const { return tokens_; }
    uint64_t Id() const { return id_; }
    // The texture stages a pixel shader reads (0 for a vertex shader), parsed once: draws ask per state
    // change.
    int Stages() const {
        if (stages_ < 0)
            stages_ = PixelShaderStages(tokens_.data(), tokens_.size());
        return stages_;
    }

private:
    std::vector<DWORD> tokens_;
    mutable int stages_ = -1;
    uint64_t id_ = NextShaderId();
};

using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader = Shader<IDirect3DPixelShader9>;

} // namespace D3D9
