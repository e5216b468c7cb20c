// The cloud layer's description for the tests that make one: a small valid layer they change a key of.
#pragma once

#include "base/Info.h"

#include <string_view>
#include <utility>

namespace CloudsFixture {

// A small valid layer: 4 x 4 sectors of 1000 over [0, 4000]; override replaces one value, null drops it.
inline Base::Info Description(const char* overrideKey = nullptr, const char* overrideValue = nullptr) {
    const std::pair<const char*, const char*> keys[] = {
        {"VisibilityRange", "3000"},
        {"Altitude", "800"},
        {"Density", "1"},
        {"SectorsSpan", "4 4"},
        {"SectorSize", "1000"},
        {"BottomRightPos", "0 0"},
        {"CloudsSpan", "700"},
        {"CloudMaxSize", "400"},
        {"MaxParticlesPerCloud", "20"},
        {"LightAmbientColor", "0.5 0.5 0.5"},
        {"LightDiffuseColor", "1 1 1"},
        {"LightDirection", "0 -2 0"},
    };
    Base::Info node;
    for (auto [key, value] : keys) {
        if (overrideKey && std::string_view(key) == overrideKey)
            value = overrideValue;
        if (value)
            node.AddValue(key, value);
    }
    return node;
}

} // namespace CloudsFixture
