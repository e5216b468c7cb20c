// A state digest: a 64-bit FNV-1a hash fed value by value. Floating-point values go in by their bits, so
// that a run that differs anywhere, even in the last bit of one coordinate, gives another digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace Rig {

class StateDigest {
public:
    void AddBytes(const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) {
            hash ^= p[i];
            hash *= 0x100000001B3ull;
        }
    }
    template <class T> void Add(const T& value) {
        static_assert(std::is_arithmetic_v<T>, "add the members one by one: padding bytes are not state");
        AddBytes(&value, sizeof(value));
    }
    void Add(std::string_view text) {
        Add(uint64_t(text.size()));
        AddBytes(text.data(), text.size());
    }

    uint64_t Value() const { return hash; }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
        return text;
    }

private:
    uint64_t hash = 0xCBF29CE484222325ull;
};

} // namespace Rig
