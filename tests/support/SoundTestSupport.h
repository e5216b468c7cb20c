// Shared by the sound tests: a private temporary folder, shell commands for the reference tools (sox,
// oggenc, oggdec), and a recording of what would have been heard.
#pragma once

#include "platform/dsound/Loopback.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace SoundTest {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-sound-XXXXXX").string();
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Runs a shell command and returns its standard output; the exit status must be 0.
inline std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    int status = pclose(pipe);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Ogg's page checksum (CRC-32, polynomial 0x04C11DB7, unreflected, zero start), so that an edited page is
// still read.
inline uint32_t OggCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) {
        crc ^= uint32_t(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// Makes an Ogg file's last page claim about 2^40 frames (the stream's length is read from it), with its
// checksum mended; false when the bytes are not a chain of Ogg pages.
inline bool ForgeOggLength(std::vector<uint8_t>& bytes) {
    size_t last = 0;
    for (size_t at = 0; at + 27 <= bytes.size();) {
        if (bytes[at] != 'O' || bytes[at + 1] != 'g' || bytes[at + 2] != 'g' || bytes[at + 3] != 'S')
            return false;
        last = at;
        size_t body = 0;
        for (int i = 0; i < bytes[at + 26]; ++i)
            body += bytes[at + 27 + i];
        at += 27 + bytes[at + 26] + body;
    }
    auto put = [&bytes](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = uint8_t(value >> (8 * i));
    };
    put(last + 6, 0);
    put(last + 10, 0x100);
    put(last + 22, 0);
    put(last + 22, OggCrc(&bytes[last], bytes.size() - last));
    return true;
}

// One value of "sox FILE -n [effects] stat", such as "RMS     amplitude" or "Rough   frequency".
inline double SoxStat(const std::string& file, const std::string& effects, const std::string& key) {
    std::string text = Shell("sox '" + file + "' -n " + effects + " stat");
    size_t at = text.find(key);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << key << " in\n" << text;
        return 0;
    }
    return std::strtod(text.c_str() + text.find(':', at) + 1, nullptr);
}

// Records what would be heard, as a 44.1 kHz 16-bit stereo wave file. Make it before the sound device
// opens (each test is its own process): the device then mixes only when Advance asks, so the recording
// holds the same sound however busy the machine is, and time in it is the sound's own.
class Recording {
public:
    explicit Recording(const TempDir& dir) : wav(dir / "heard.wav") {
        // No dither and no limiter: the levels are measured.
        std::string conf = dir / "alsoft.conf";
        std::ofstream(conf) << "[general]\noutput-limiter=false\ndither=false\nhrtf=false\n";
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        DSound::UseLoopbackDevice(true);
    }
    ~Recording() { DSound::UseLoopbackDevice(false); }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // The next stretch of sound; the device must be open.
    void Advance(double seconds) {
        const auto until = static_cast<uint64_t>(std::llround((heard + seconds) * Rate));
        const size_t frames = until - samples.size() / 2;
        heard += seconds;
        const size_t at = samples.size();
        samples.resize(at + frames * 2);
        ASSERT_TRUE(DSound::RenderLoopback(samples.data() + at, frames)) << "no recording device is open";
    }

    // Writes the recording and returns its path.
    std::string Write() const {
        const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
        std::vector<uint8_t> bytes;
        auto text = [&](const char* four) { bytes.insert(bytes.end(), four, four + 4); };
        auto u32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(uint8_t(v >> (8 * i)));
        };
        auto u16 = [&](uint16_t v) {
            bytes.push_back(uint8_t(v));
            bytes.push_back(uint8_t(v >> 8));
        };
        text("RIFF");
        u32(36 + dataBytes);
        text("WAVE");
        text("fmt ");
        u32(16);
        u16(1);
        u16(2);
        u32(Rate);
        u32(Rate * 4);
        u16(4);
        u16(16);
        text("data");
        u32(dataBytes);
        for (int16_t sample : samples)
            u16(static_cast<uint16_t>(sample));
        WriteBytes(wav, bytes);
        return wav;
    }

    static constexpr uint32_t Rate = 44100;

private:
    std::string wav;
    double heard = 0; // seconds asked for so far
    std::vector<int16_t> samples;
};

// Samples of one channel of a recording (channel 1 or 2), 16-bit.
inline std::vector<int16_t> ChannelSamples(const TempDir& dir, const std::string& wav, int channel) {
    std::string raw = dir / ("channel" + std::to_string(channel) + ".raw");
    Shell("sox '" + wav + "' -t raw -e signed -b 16 -L '" + raw + "' remix " + std::to_string(channel));
    std::vector<uint8_t> bytes = ReadBytes(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(bytes[i * 2] | (bytes[i * 2 + 1] << 8));
    }
    return samples;
}

} // namespace SoundTest
