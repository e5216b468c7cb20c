// Shader assembly (vs_1_1, ps_1_1 to ps_1_3) to Direct3D 9 token streams and back.
#pragma once

#include <d3d9.h>

#include <string>
#include <string_view>
#include <vector>

namespace D3DX9 {

// Assembles the text into tokens ending with the end token. On failure the tokens are empty and the errors
// hold one line per fault: "(line): error: reason".
bool AssembleShader(std::string_view text, std::vector<DWORD>& tokens, std::string& errors);

// Writes a token stream back as assembly text that assembles to the same tokens; false on a stream that is
// cut short or holds what the assembler does not make.
bool DisassembleShader(const DWORD* tokens, size_t count, std::string& text);

} // namespace D3DX9
