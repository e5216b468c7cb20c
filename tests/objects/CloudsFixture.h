// The cloud layer's description for the tests that make one: a small valid layer they change a key of.
#pragma once

#include "base/Info.h"

#include <initializer_list>
#include <string_view>
#include <utility>

namespace CloudsFixture {

// A small valid layer: 4 x 4 sectors of 1000 over [0, 4000]; each override replaces one value, or drops it
// when its value is null.
inline Base::Info Description(std::initializer_list<std::pair<const char*, const char*>> overrides) {
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
        for (const auto& [overrideKey, overrideValue] : overrides)
            if (std::string_view(key) == overrideKey)
                value = overrideValue;
        if (value)
            node.AddValue(key, value);
    }
    return node;
}

// The same with at most one override.
inline Base::Info Description(const char* overrideKey = nullptr, const char* overrideValue = nullptr) {
    if (!overrideKey)
        return Description({});
    return Description({{overrideKey, overrideValue}});
}

} // namespace CloudsFixture
