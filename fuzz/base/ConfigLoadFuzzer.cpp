// Any bytes in Config.dat give either the defaults or a record that is safe to use: a file cut short keeps
// the caller's values past its end, so they too come out safe.
#include "base/Config.h"
#include "fuzz/support/Scratch.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

bool Safe(const Base::Config& c) {
    for (const char* name : {c.gameName, c.playerName, c.hostAddress})
        if (std::memchr(name, 0, Base::Config::NameSize) == nullptr)
            return false;
    for (const auto& k : c.keyAssignments) {
        if (k.button > 31 && k.button != Base::KeyAssignment::NoButton)
            return false;
        if (k.modifiers > 7 && k.modifiers != Base::KeyAssignment::AnyModifiers)
            return false;
    }
    for (float f : {c.visibility, c.autogenDensity, c.cloudsDensity, c.sfxVolume, c.musicVolume,
                    c.joyDeadZone, c.joySensitivity})
        if (!(f >= 0.0f && f <= 1.0f))
            return false;
    return c.controlsType <= Base::Config::MaxControlsType;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzSupport::ScratchDirectory() + "Config.dat";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    Base::Config config;
    std::memset(static_cast<void*>(&config), 0x5A, sizeof config); // whatever the caller held before
    bool loaded = config.Load(path);
    if (!Safe(config))
        std::abort();
    if (!loaded && !(config == Base::Config()))
        std::abort();
    return 0;
}
