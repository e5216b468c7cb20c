// Arbitrary text to the shader assembler: it either fails with "(line): error: ..." or makes tokens that
// the device's translator takes and that disassemble to text giving the same tokens.
#include "platform/d3d9/ShaderTranslator.h"
#include "platform/d3dx9/Assembler.h"

#include <d3dx9.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    LPD3DXBUFFER code = nullptr, errors = nullptr;
    HRESULT hr = D3DXAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, 0, &code, &errors);
    if (hr != D3D_OK) {
        if (!errors || static_cast<const char*>(errors->GetBufferPointer())[0] != '(' || code)
            std::abort();
        errors->Release();
        return 0;
    }
    const auto* p = static_cast<const DWORD*>(code->GetBufferPointer());
    std::vector<DWORD> tokens(p, p + code->GetBufferSize() / 4);
    code->Release();
    // Inputs the device has no attribute for are refused at shader creation, visibly; all else is taken.
    std::string refused = D3D9::CheckShader(tokens.data(), tokens.size());
    if (refused == "a declared input usage is not supported")
        return 0;
    if (!refused.empty())
        std::abort();
    bool vertex = (tokens[0] >> 16) == 0xFFFE;
    std::string glsl = vertex ? D3D9::TranslateVertexShader(tokens.data(), tokens.size(), false)
                              : D3D9::TranslatePixelShader(tokens.data(), tokens.size(), {});
    if (glsl.empty())
        std::abort();
    std::string back, errorsBack;
    std::vector<DWORD> again;
    if (!D3DX9::DisassembleShader(tokens.data(), tokens.size(), back) ||
        !D3DX9::AssembleShader(back, again, errorsBack) || again != tokens)
        std::abort();
    return 0;
}
