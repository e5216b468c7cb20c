#include "audio/WavDecoder.h"

#include <algorithm>
#include <cstring>

namespace Audio {

namespace {

bool ReadU32(std::istream& stream, uint32_t& value) {
    unsigned char bytes[4];
    if (!stream.read(reinterpret_cast<char*>(bytes), 4)) {
        return false;
    }
    value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

bool ReadU16(std::istream& stream, uint32_t& value) {
    unsigned char bytes[2];
    if (!stream.read(reinterpret_cast<char*>(bytes), 2)) {
        return false;
    }
    value = bytes[0] | (bytes[1] << 8);
    return true;
}

} // namespace

WavDecoder::WavDecoder(std::istream& stream) : stream(stream) {
    char head[16];
    if (!stream.read(head, sizeof head) || std::memcmp(head + 8, "WAVEfmt ", 8) != 0) {
        return;
    }
    uint32_t formatSize = 0, tag = 0, channelCount = 0, rate = 0, bytesPerSecond = 0;
    if (!ReadU32(stream, formatSize) || !ReadU16(stream, tag) || tag != 1 || !ReadU16(stream, channelCount) ||
        !ReadU32(stream, rate) || !ReadU32(stream, bytesPerSecond)) {
        return;
    }
    // The fields read so far are 12 bytes of the format chunk; a smaller chunk is not a PCM format.
    if (formatSize < 12 || !stream.seekg(formatSize - 12, std::ios::cur)) {
        return;
    }
    // Width comes from the byte rate, not the stored bits field. A zero rate or channel count, or a width
    // that is neither 8 nor 16 bits, would give empty blocks that nothing could divide by.
    if (rate == 0 || channelCount == 0) {
        return;
    }
    const uint32_t bits = static_cast<uint32_t>(uint64_t(bytesPerSecond) * 8 / rate) / channelCount;
    if (bits != 8 && bits != 16) {
        return;
    }
    uint32_t chunkSize = 0;
    for (;;) {
        char id[4];
        if (!stream.read(id, 4) || !ReadU32(stream, chunkSize)) {
            return;
        }
        if (std::memcmp(id, "data", 4) == 0) {
            dataSize = chunkSize;
            break;
        }
        if (!stream.seekg(chunkSize, std::ios::cur)) {
            return;
        }
    }
    firstSample = stream.tellg();
    if (firstSample == std::streampos(-1)) {
        return;
    }
    // The chunk's size is only a claim: what is sized from it (a whole sound's buffer) gets the bytes the
    // stream really holds.
    if (stream.seekg(0, std::ios::end)) {
        const std::streampos end = stream.tellg();
        if (end != std::streampos(-1) && end >= firstSample) {
            dataSize = static_cast<uint32_t>(std::min<std::streamoff>(dataSize, end - firstSample));
        }
    }
    stream.clear();
    if (!stream.seekg(firstSample)) {
        return;
    }
    sampleRate = rate;
    channels = channelCount;
    bitsPerSample = bits;
    blockAlign = bits * channelCount / 8;
    remaining = dataSize;
    status = Open;
}

uint32_t WavDecoder::Read(void* buffer, uint32_t bytes) {
    if (status == NotOpened) {
        return 0;
    }
    uint32_t n = bytes - bytes % blockAlign;
    if (n > remaining) {
        n = remaining;
    }
    stream.read(static_cast<char*>(buffer), n);
    // A file shorter than its "data" chunk says gives silence for the missing bytes, not stale memory.
    const auto got = static_cast<uint32_t>(stream.gcount());
    if (got < n) {
        std::memset(static_cast<char*>(buffer) + got, bitsPerSample == 8 ? 0x80 : 0, n - got);
    }
    remaining -= n;
    if (remaining == 0) {
        status = AtEnd;
    }
    return n;
}

void WavDecoder::Rewind() {
    stream.clear();
    stream.seekg(firstSample);
    remaining = dataSize;
}

} // namespace Audio
