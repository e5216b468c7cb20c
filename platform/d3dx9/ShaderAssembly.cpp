#include "platform/d3dx9/Assembler.h"
#include "platform/win32/Files.h"
#include "platform/win32/Counted.h"

#include <d3dx9.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

namespace {

class Buffer final : public Win32::Counted<ID3DXBuffer> {
public:
    explicit Buffer(size_t size) : bytes_(size) {}
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    LPVOID GetBufferPointer() override { return bytes_.data(); }
    DWORD GetBufferSize() override { return DWORD(bytes_.size()); }

private:
    std::vector<unsigned char> bytes_;
};

LPD3DXBUFFER MakeBuffer(const void* data, size_t size) {
    auto* buffer = new (std::nothrow) Buffer(size);
    if (buffer && data && size)
        std::memcpy(buffer->GetBufferPointer(), data, size);
    return buffer;
}

LPD3DXBUFFER TextBuffer(const std::string& text) {
    return MakeBuffer(text.c_str(), text.size() + 1);
}

// Where the first line that starts with '#' (after blanks) begins, or npos.
size_t Directive(const std::string& text) {
    for (size_t line = 0; line < text.size();) {
        size_t first = text.find_first_not_of(" \t", line);
        if (first != std::string::npos && text[first] == '#')
            return first;
        size_t next = text.find('\n', line);
        if (next == std::string::npos)
            break;
        line = next + 1;
    }
    return std::string::npos;
}

} // namespace

HRESULT D3DXCreateBuffer(DWORD size, LPD3DXBUFFER* buffer) {
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = MakeBuffer(nullptr, size);
    return *buffer ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT D3DXAssembleShader(LPCSTR data, UINT length, const D3DXMACRO* defines, LPD3DXINCLUDE, DWORD,
                           LPD3DXBUFFER* shader, LPD3DXBUFFER* errors) {
    if (shader)
        *shader = nullptr;
    if (errors)
        *errors = nullptr;
    if (!data || !shader)
        return D3DERR_INVALIDCALL;
    std::string text(data, length);
    std::string messages;
    std::vector<DWORD> tokens;
    bool ok = false;
    if (defines && defines->Name) {
        messages.append("(1): error: macros are not supported\n");
    } else if (size_t at = Directive(text); at != std::string::npos) {
        // The preprocessor is not there: a directive would be dropped silently otherwise.
        messages.append("(")
            .append(std::to_string(1 + std::count(text.begin(), text.begin() + long(at), '\n')))
            .append("): error: preprocessor directives are not supported\n");
    } else {
        ok = D3DX9::AssembleShader(text, tokens, messages);
    }
    if (!ok) {
        if (errors)
            *errors = TextBuffer(messages);
        return D3DXERR_INVALIDDATA;
    }
    *shader = MakeBuffer(tokens.data(), tokens.size() * sizeof(DWORD));
    return *shader ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT D3DXAssembleShaderFromFileA(LPCSTR file, const D3DXMACRO* defines, LPD3DXINCLUDE include, DWORD flags,
                                    LPD3DXBUFFER* shader, LPD3DXBUFFER* errors) {
    if (shader)
        *shader = nullptr;
    if (errors)
        *errors = nullptr;
    if (!file || !shader)
        return D3DERR_INVALIDCALL;
    std::string text;
    if (!Win32::ReadTextFile(file, text)) {
        if (errors)
            *errors = TextBuffer(std::string("(0): error: cannot read '") + file + "'\n");
        return D3DXERR_INVALIDDATA;
    }
    return D3DXAssembleShader(text.data(), UINT(text.size()), defines, include, flags, shader, errors);
}

HRESULT D3DXDisassembleShader(const DWORD* shader, BOOL, LPCSTR, LPD3DXBUFFER* text) {
    if (!shader || !text)
        return D3DERR_INVALIDCALL;
    *text = nullptr;
    // The stream's length is found by its end token, as the device does.
    size_t count = 1;
    for (;;) {
        DWORD token = shader[count];
        if ((token & D3DSI_OPCODE_MASK) == D3DSIO_END && !(token & 0x80000000u)) {
            ++count;
            break;
        }
        if ((token & D3DSI_OPCODE_MASK) == D3DSIO_COMMENT && !(token & 0x80000000u))
            count += (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
        ++count;
    }
    std::string out;
    if (!D3DX9::DisassembleShader(shader, count, out))
        return D3DXERR_INVALIDDATA;
    *text = TextBuffer(out);
    return *text ? D3D_OK : E_OUTOFMEMORY;
}
