#include "base/Config.h"

#include "base/SaveFile.h"
#include "base/String.h"
#include "platform/win32/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <bit>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace Base {

const char* const ConfigFileName = "Config.dat";

namespace {

constexpr uint8_t None = KeyAssignment::NoButton;
constexpr uint8_t S = KeyAssignment::Shift, C = KeyAssignment::Control, A = KeyAssignment::Alt;

// Index = action. Scan codes are DirectInput's.
constexpr KeyAssignment DefaultKeys[Config::KeyAssignmentCount] = {
    {0x22, None, 0}, {0x30, None, 0}, {0x12, None, 0}, {0x0E, None, 0}, {0x20, None, 0}, // 0-4
    {0x39, 0, 0},    {0x1A, 2, 0},    {0x1B, 3, 0},    {0x27, 4, 0},    {0x28, 5, 0},    // 5-9
    {0x0F, 1, 0},    {0x0F, None, S}, {0x31, None, 0}, {0x13, None, 0}, {0x13, None, S}, // 10-14
    {0x26, None, 0}, {0x24, 6, 0},    {0x12, None, C}, {0x19, None, 0}, {0x14, None, 0}, // 15-19
    {0x1A, None, S}, {0x1B, None, S}, {0x3B, None, 0}, {0x3B, None, S}, {0x3C, None, 0}, // 20-24
    {0x3C, None, S}, {0x3D, None, 0}, {0x3D, None, S}, {0x3F, None, 0}, {0x3F, None, S}, // 25-29
    {0x3F, None, C}, {0x3F, None, A}, {0x40, None, 0}, {0x40, None, S}, {0x41, None, 0}, // 30-34
    {0x41, None, S}, {0x42, None, 0}, {0x42, None, S}, {0x42, None, C}, {0x42, None, A}, // 35-39
    {0x4E, None, 0}, {0x4A, None, 0}, {0x4E, None, S}, {0x4A, None, S}, {0x37, None, S}, // 40-44
    {0x4B, None, 0}, {0x4D, None, 0}, {0x48, None, 0}, {0x50, None, 0}, {0x4C, None, 0}, // 45-49
    {0xC7, None, 0}, {0xD2, None, 0},                                                    // 50-51
};

class Writer {
public:
    explicit Writer(uint8_t* out) : out(out) {}
    void U8(uint8_t v) { *out++ = v; }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            U8(uint8_t(v >> (8 * i)));
    }
    void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
    void Bytes(const char* p, size_t n) {
        std::memcpy(out, p, n);
        out += n;
    }

private:
    uint8_t* out;
};

class Reader {
public:
    explicit Reader(const uint8_t* in) : in(in) {}
    uint8_t U8() { return *in++; }
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(U8()) << (8 * i);
        return v;
    }
    // A number that is not finite would poison whatever it feeds: the field keeps its default.
    float F32(float fallback) {
        const float v = std::bit_cast<float>(U32());
        return std::isfinite(v) ? v : fallback;
    }
    void Bytes(char* p, size_t n) {
        std::memcpy(p, in, n);
        in += n;
    }

private:
    const uint8_t* in;
};

float Fraction(float v) {
    return std::clamp(v, 0.0f, 1.0f);
}

// A failed save is told to the player once: the game saves again on every change and at the end.
void ReportFailedSave(const std::string& path, int error) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "Cannot save the settings to '%s': %s.\n", Clip(path).c_str(),
                     std::strerror(error));
}

// A settings file that is there but cannot be used is told once (start-up and the front end both load
// it): the defaults replace it at the next save.
void ReportUnusableFile(const std::string& path, const char* why = "is damaged or cannot be read") {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "The settings file '%s' %s: the default settings are used.\n",
                     Clip(path).c_str(), why);
}

// A settings path that is a symbolic link which cannot be followed (a loop, or a folder that cannot be
// searched); a link to nothing yet is a first start, and its target is made by the first save.
bool IsBrokenLink(const std::string& path, int& error) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || stat(path.c_str(), &st) == 0)
        return false;
    error = errno;
    return error != ENOENT;
}

} // namespace

void Config::SetDefaults() {
    for (auto& k : keyAssignments)
        k = KeyAssignment{0, KeyAssignment::NoButton, 0};
    displayWidth = 1024;
    displayHeight = 768;
    refreshRate = 0;
    visibility = 0.75f;
    autogenDensity = 0.3f;
    cloudsDensity = 0.5f;
    sfxVolume = 1.0f;
    musicVolume = 0.5f;
    controlsType = 0;
    joyDeadZone = 0.1f;
    joySensitivity = 0.5f;
    invertPitch = false;
    SetDefaultKeyAssignments();
    std::memset(gameName, 0, sizeof gameName);
    std::memset(playerName, 0, sizeof playerName);
    std::memset(hostAddress, 0, sizeof hostAddress);
}

void Config::SetDefaultKeyAssignments() {
    for (int i = 0; i < KeyAssignmentCount; ++i)
        keyAssignments[i] = DefaultKeys[i];
}

void Config::ToBytes(uint8_t (&bytes)[RecordSize]) const {
    Writer w(bytes);
    w.U32(displayWidth);
    w.U32(displayHeight);
    w.U32(refreshRate);
    w.F32(visibility);
    w.F32(autogenDensity);
    w.F32(cloudsDensity);
    w.F32(sfxVolume);
    w.F32(musicVolume);
    w.U32(controlsType);
    w.F32(joyDeadZone);
    w.F32(joySensitivity);
    for (const auto& k : keyAssignments) {
        w.U8(k.key);
        w.U8(k.button);
        w.U8(k.modifiers);
    }
    w.Bytes(gameName, NameSize);
    w.Bytes(playerName, NameSize);
    w.Bytes(hostAddress, NameSize);
}

void Config::FromBytes(const uint8_t (&bytes)[RecordSize]) {
    const Config defaults;
    Reader r(bytes);
    displayWidth = r.U32();
    displayHeight = r.U32();
    refreshRate = r.U32();
    // Fractions are 0..1 and the control type one of its list's entries, whatever the file says.
    visibility = Fraction(r.F32(defaults.visibility));
    autogenDensity = Fraction(r.F32(defaults.autogenDensity));
    cloudsDensity = Fraction(r.F32(defaults.cloudsDensity));
    sfxVolume = Fraction(r.F32(defaults.sfxVolume));
    musicVolume = Fraction(r.F32(defaults.musicVolume));
    controlsType = std::min(r.U32(), MaxControlsType);
    joyDeadZone = Fraction(r.F32(defaults.joyDeadZone));
    joySensitivity = Fraction(r.F32(defaults.joySensitivity));
    for (auto& k : keyAssignments) {
        k.key = r.U8();
        k.button = r.U8();
        k.modifiers = r.U8();
        // The button indexes 32 button states; the modifiers are three bits or "any".
        if (k.button > 31 && k.button != KeyAssignment::NoButton)
            k.button = KeyAssignment::NoButton;
        if (k.modifiers != KeyAssignment::AnyModifiers)
            k.modifiers &= KeyAssignment::Shift | KeyAssignment::Control | KeyAssignment::Alt;
    }
    r.Bytes(gameName, NameSize);
    r.Bytes(playerName, NameSize);
    r.Bytes(hostAddress, NameSize);
    gameName[NameSize - 1] = 0;
    playerName[NameSize - 1] = 0;
    hostAddress[NameSize - 1] = 0;
}

bool Config::Load(std::string_view path) {
    std::string bytes;
    const bool read = Win32::ReadFile(path, bytes);
    if (!read || bytes.size() < 4 || Reader(reinterpret_cast<const uint8_t*>(bytes.data())).U32() != Magic) {
        // Only a missing file is the normal first start; what is refused as no regular file is told by
        // the read.
        int error = 0;
        if (read || Win32::FileExists(path))
            ReportUnusableFile(Win32::NativePath(path));
        else if (IsBrokenLink(Win32::NativePath(path), error))
            ReportUnusableFile(
                Win32::NativePath(path),
                (std::string("is a symbolic link that cannot be followed (") + std::strerror(error) + ")")
                    .c_str());
        SetDefaults();
        return false;
    }
    // The bytes that are there go over the current record; the rest keeps its values.
    uint8_t record[RecordSize];
    ToBytes(record);
    std::memcpy(record, bytes.data() + 4, std::min(RecordSize, bytes.size() - 4));
    FromBytes(record);
    // A whole record without the extension says the defaults of what the extension holds.
    if (bytes.size() >= FileSize) {
        invertPitch = false;
        Reader extension(reinterpret_cast<const uint8_t*>(bytes.data()) + FileSize);
        if (bytes.size() >= FileSize + ExtensionSize && extension.U32() == ExtensionMagic)
            invertPitch = (extension.U32() & InvertPitchFlag) != 0;
    }
    return true;
}

bool Config::Save(std::string_view path) const {
    uint8_t file[FileSize + ExtensionSize];
    Writer(file).U32(Magic);
    uint8_t record[RecordSize];
    ToBytes(record);
    std::memcpy(file + 4, record, RecordSize);
    size_t size = FileSize;
    if (invertPitch) {
        Writer extension(file + FileSize);
        extension.U32(ExtensionMagic);
        extension.U32(InvertPitchFlag);
        size += ExtensionSize;
    }

    std::string target;
    int error = 0;
    if (!SaveFileWhole(path, file, size, target, error)) {
        ReportFailedSave(target, error);
        return false;
    }
    return true;
}

bool Config::operator==(const Config& other) const {
    uint8_t a[RecordSize], b[RecordSize];
    ToBytes(a);
    other.ToBytes(b);
    return std::memcmp(a, b, RecordSize) == 0 && invertPitch == other.invertPitch;
}

} // namespace Base
