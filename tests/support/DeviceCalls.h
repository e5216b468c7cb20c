// Device calls as the Direct3D 9 stand-in's call log writes them, built from the state names so that an
// expectation reads as what it checks.
#pragma once

#include <d3d9.h>

#include <string>

namespace DeviceCalls {

inline std::string RenderState(D3DRENDERSTATETYPE state, DWORD value) {
    return "SetRenderState(" + std::to_string(state) + ", " + std::to_string(value) + ")";
}

inline std::string SamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    return "SetSamplerState(" + std::to_string(sampler) + ", " + std::to_string(type) + ", " +
           std::to_string(value) + ")";
}

inline std::string StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    return "SetTextureStageState(" + std::to_string(stage) + ", " + std::to_string(type) + ", " +
           std::to_string(value) + ")";
}

inline std::string Transform(D3DTRANSFORMSTATETYPE state) {
    return "SetTransform(" + std::to_string(state) + ")";
}

inline std::string DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    return "DrawPrimitive(" + std::to_string(type) + ", " + std::to_string(start) + ", " +
           std::to_string(count) + ")";
}

inline std::string DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, UINT stride) {
    return "DrawPrimitiveUP(" + std::to_string(type) + ", " + std::to_string(count) + ", " +
           std::to_string(stride) + ")";
}

// The start of a draw's entry up to its primitive type, e.g. DrawOf("DrawIndexedPrimitive",
// D3DPT_TRIANGLELIST).
inline std::string DrawOf(const char* call, D3DPRIMITIVETYPE type) {
    return std::string(call) + "(" + std::to_string(type) + ",";
}

} // namespace DeviceCalls
