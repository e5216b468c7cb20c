// The player's settings: a plain 584-byte record, stored after a magic word in "Config.dat".
#pragma once

#include <cstdint>
#include <string_view>

namespace Base {

// One control: a DirectInput scan code, a joystick button and the modifier keys that must be held.
struct KeyAssignment {
    static constexpr uint8_t NoKey = 0;
    static constexpr uint8_t NoButton = 0xFF;
    static constexpr uint8_t Shift = 1, Control = 2, Alt = 4;
    static constexpr uint8_t AnyModifiers = 0xFF;

    uint8_t key = NoKey;
    uint8_t button = NoButton; // 0-31
    uint8_t modifiers = 0;     // Shift | Control | Alt, or AnyModifiers

    bool operator==(const KeyAssignment&) const = default;
};
static_assert(sizeof(KeyAssignment) == 3);

extern const char* const ConfigFileName; // "Config.dat"

class Config {
public:
    static constexpr uint32_t Magic = 0x0ABC0001;
    static constexpr size_t RecordSize = 584;
    static constexpr size_t FileSize = 4 + RecordSize;
    static constexpr int KeyAssignmentCount = 52;
    static constexpr size_t NameSize = 128;
    static constexpr uint32_t MaxControlsType = 3; // 0: no joystick
    // The settings that the record has no room for follow it in the file under their own tag, and only
    // when one differs from its default: a file without them is the record alone, and reads as the
    // defaults.
    static constexpr uint32_t ExtensionMagic = 0x0ABC0101;
    static constexpr size_t ExtensionSize = 8; // the tag, then u32 flags
    static constexpr uint32_t InvertPitchFlag = 1;

    uint32_t displayWidth; // 0: no explicit mode
    uint32_t displayHeight;
    uint32_t refreshRate; // Hz; 0: the adapter's default
    float visibility;
    float autogenDensity;
    float cloudsDensity;
    float sfxVolume;
    float musicVolume;
    uint32_t controlsType;
    float joyDeadZone;
    float joySensitivity;
    KeyAssignment keyAssignments[KeyAssignmentCount];
    char gameName[NameSize]; // NUL-terminated
    char playerName[NameSize];
    char hostAddress[NameSize];
    // Not in the record: the pitch axis's sense reversed (the stick or the keys pull the nose up where
    // they would push it down).
    bool invertPitch;

    Config() { SetDefaults(); }

    void SetDefaults();
    void SetDefaultKeyAssignments();

    // True when the file held the magic: its record bytes are read over this one. A record cut short
    // keeps the fields past the cut at the values they had (callers set the defaults first), so a
    // truncated file still keeps what it holds. A missing file or another magic gives the defaults; a file
    // that is there but unusable is told on stderr, once a process.
    bool Load(std::string_view path);
    // True when the whole file was written and is on the disk; a failed save leaves the old file as it was,
    // and the first failure of the process is told on stderr. A path that is a symbolic link is written
    // through to the file it names (the link stays).
    bool Save(std::string_view path) const;

    // The record's bytes in file order, little-endian, field by field.
    void ToBytes(uint8_t (&bytes)[RecordSize]) const;
    // Reads a record and makes it safe to use (terminated names, button and modifier codes in range,
    // fractions finite and within 0..1, the control type within its list).
    void FromBytes(const uint8_t (&bytes)[RecordSize]);

    bool operator==(const Config& other) const;
};

} // namespace Base
