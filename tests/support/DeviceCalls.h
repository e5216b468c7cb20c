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

} // namespace DeviceCalls
