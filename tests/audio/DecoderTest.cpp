#include "audio/Buffer.h"
#include "audio/Decoder.h"
#include "audio/OggDecoder.h"
#include "audio/WavDecoder.h"
#include "tests/support/SoundTestSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using SoundTest::ReadBytes;
using SoundTest::Shell;

std::vector<uint8_t> DecodeAll(Audio::Decoder& decoder, uint32_t request = 4096) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(request);
    while (decoder.status == Audio::Decoder::Open) {
        uint32_t got = decoder.Read(chunk.data(), request);
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
        if (got == 0 && decoder.status == Audio::Decoder::Open) {
            ADD_FAILURE() << "no progress";
            break;
        }
    }
    return out;
}

std::unique_ptr<Audio::Decoder> Open(std::istream& stream) {
    return std::unique_ptr<Audio::Decoder>(Audio::OpenDecoder(stream));
}

std::string StringOf(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutU16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

class DecoderTest : public ::testing::Test {
protected:
    // A sox-made tone: 16-byte format chunk, then "data" (sox writes no other chunk for plain PCM).
    std::string Tone(const std::string& name, int rate, int channels, int bits, double seconds) {
        std::string path = dir / name;
        Shell("sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " -b " +
              std::to_string(bits) + " -e " + (bits == 8 ? "unsigned" : "signed") + " '" + path + "' synth " +
              std::to_string(seconds) + " sine 440 sine 660 gain -3");
        return path;
    }

    // The reference PCM of a file: sox's raw output in the file's own encoding.
    std::vector<uint8_t> ReferencePcm(const std::string& path) {
        std::string raw = path + ".raw";
        Shell("sox '" + path + "' -t raw '" + raw + "'");
        return ReadBytes(raw);
    }

    SoundTest::TempDir dir;
};

TEST_F(DecoderTest, WaveMatchesSoxByteForByte) {
    struct Case {
        int rate, channels, bits;
    } cases[] = {{11025, 1, 8}, {22050, 2, 8}, {22050, 1, 16}, {44100, 2, 16}, {48000, 1, 16}};
    for (const Case& c : cases) {
        std::string path = Tone("tone.wav", c.rate, c.channels, c.bits, 0.3);
        std::ifstream file(path, std::ios::binary);
        auto decoder = Open(file);
        ASSERT_TRUE(decoder) << c.rate << " " << c.channels << " " << c.bits;
        ASSERT_NE(dynamic_cast<Audio::WavDecoder*>(decoder.get()), nullptr);
        EXPECT_EQ(decoder->sampleRate, uint32_t(c.rate));
        EXPECT_EQ(decoder->channels, uint32_t(c.channels));
        EXPECT_EQ(decoder->bitsPerSample, uint32_t(c.bits));
        EXPECT_EQ(decoder->blockAlign, uint32_t(c.channels * c.bits / 8));
        std::vector<uint8_t> reference = ReferencePcm(path);
        EXPECT_EQ(decoder->dataSize, reference.size());
        EXPECT_TRUE(DecodeAll(*decoder, 1001) == reference) << c.rate << " " << c.channels << " " << c.bits;
        EXPECT_EQ(decoder->Read(reference.data(), 100), 0u);
    }
}

TEST_F(DecoderTest, WaveReadsWholeBlocksAndRewinds) {
    std::ifstream file(Tone("stereo.wav", 22050, 2, 16, 0.1), std::ios::binary);
    auto decoder = Open(file);
    ASSERT_TRUE(decoder);
    std::vector<uint8_t> first(1001), again(1001);
    EXPECT_EQ(decoder->Read(first.data(), 1001), 1000u);
    decoder->Read(again.data(), 1001);
    decoder->Rewind();
    EXPECT_EQ(decoder->Read(again.data(), 1001), 1000u);
    EXPECT_TRUE(std::equal(first.begin(), first.begin() + 1000, again.begin()));
}

// Bits come from the byte rate, so a header whose bits field disagrees is read by its byte rate; chunks
// between the format and the data are skipped by their size.
TEST_F(DecoderTest, WaveTakesWidthFromByteRateAndSkipsChunks) {
    std::vector<uint8_t> wav = ReadBytes(Tone("mono.wav", 22050, 1, 16, 0.2));
    ASSERT_EQ(StringOf(wav).substr(36, 4), "data");
    PutU16(wav, 34, 8); // the bits field lies; the byte rate (44100) says 16
    std::vector<uint8_t> fact = {'f', 'a', 'c', 't', 4,   0, 0, 0, 1, 2, 3,
                                 4,   'L', 'I', 'S', 'T', 2, 0, 0, 0, 9, 9};
    wav.insert(wav.begin() + 36, fact.begin(), fact.end());
    std::istringstream stream(StringOf(wav));
    auto decoder = Open(stream);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->bitsPerSample, 16u);
    EXPECT_EQ(decoder->blockAlign, 2u);
    std::vector<uint8_t> pcm(wav.begin() + 44 + fact.size(), wav.end());
    EXPECT_TRUE(DecodeAll(*decoder) == pcm);
}

TEST_F(DecoderTest, WaveRejectionTable) {
    const std::vector<uint8_t> good = ReadBytes(Tone("good.wav", 22050, 2, 16, 0.1));
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    auto edit = [&](auto change) {
        std::vector<uint8_t> bytes = good;
        change(bytes);
        return bytes;
    };
    std::vector<Case> cases = {
        {"data before fmt", edit([](auto& b) {
             std::vector<uint8_t> fmt(b.begin() + 12, b.begin() + 36);
             std::vector<uint8_t> data(b.begin() + 36, b.end());
             b.resize(12);
             b.insert(b.end(), data.begin(), data.end());
             b.insert(b.end(), fmt.begin(), fmt.end());
         })},
        {"not WAVE", edit([](auto& b) { b[8] = 'X'; })},
        {"float samples", edit([](auto& b) { PutU16(b, 20, 3); })},
        {"no channels", edit([](auto& b) { PutU16(b, 22, 0); })},
        {"zero rate", edit([](auto& b) { PutU32(b, 24, 0); })},
        {"four-bit width", edit([](auto& b) { PutU32(b, 28, 22050); })},
        {"24-bit width", edit([](auto& b) { PutU32(b, 28, 22050 * 6); })},
        {"format chunk too small", edit([](auto& b) { PutU32(b, 16, 8); })},
        {"ends before data", edit([](auto& b) { b.resize(40); })},
        {"empty", {}},
    };
    for (const Case& c : cases) {
        std::istringstream stream(StringOf(c.bytes));
        stream.seekg(0);
        EXPECT_EQ(Open(stream), nullptr) << c.what;
        EXPECT_TRUE(stream.good()) << c.what;
        EXPECT_EQ(stream.tellg(), std::streampos(0)) << c.what;
    }
}

// A "data" chunk longer than the file holds only the bytes the file has: nothing is sized from the claim.
TEST_F(DecoderTest, TruncatedWaveHoldsTheBytesThatExist) {
    std::vector<uint8_t> wav = ReadBytes(Tone("cut.wav", 11025, 1, 8, 0.1));
    const size_t kept = 200;
    wav.resize(44 + kept);
    std::istringstream stream(StringOf(wav));
    auto decoder = Open(stream);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->dataSize, kept);
    std::vector<uint8_t> out(4096, 0x55);
    EXPECT_EQ(decoder->Read(out.data(), 4096), kept);
    EXPECT_EQ(decoder->status, uint32_t(Audio::Decoder::AtEnd));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + kept, wav.begin() + 44));
}

// Hostile files whose "data" chunk claims 256 MB and 4 GB in 60 bytes.
TEST_F(DecoderTest, AHugeDataClaimIsCutToTheFile) {
    for (const char* name : {"wav-256MB-claim.wav", "wav-4GB-claim.wav"}) {
        std::ifstream file(std::string(CORVANE_SOURCE_DIR) + "/fuzz/seeds/fuzz_sound_decoder/" + name,
                           std::ios::binary);
        ASSERT_TRUE(file) << name;
        auto decoder = Open(file);
        ASSERT_TRUE(decoder) << name;
        EXPECT_EQ(decoder->dataSize, 16u) << name;
        EXPECT_EQ(DecodeAll(*decoder).size(), 16u) << name;
    }
}

TEST_F(DecoderTest, OggMatchesOggdecByteForByte) {
    struct Case {
        int rate, channels;
        double seconds;
    } cases[] = {{22050, 1, 0.5}, {44100, 2, 4.0}};
    for (const Case& c : cases) {
        std::string wav = Tone("source.wav", c.rate, c.channels, 16, c.seconds);
        std::string ogg = dir / "track.ogg";
        Shell("oggenc -Q -q 3 -o '" + ogg + "' '" + wav + "'");
        Shell("oggdec -Q -R -o '" + ogg + ".raw' '" + ogg + "'");
        std::vector<uint8_t> reference = ReadBytes(ogg + ".raw");
        std::ifstream file(ogg, std::ios::binary);
        auto decoder = Open(file);
        ASSERT_TRUE(decoder);
        ASSERT_NE(dynamic_cast<Audio::OggDecoder*>(decoder.get()), nullptr);
        EXPECT_EQ(decoder->sampleRate, uint32_t(c.rate));
        EXPECT_EQ(decoder->channels, uint32_t(c.channels));
        EXPECT_EQ(decoder->bitsPerSample, 16u);
        EXPECT_EQ(decoder->blockAlign, uint32_t(2 * c.channels));
        EXPECT_EQ(decoder->dataSize, reference.size());
        std::vector<uint8_t> decoded = DecodeAll(*decoder, 3001);
        EXPECT_TRUE(decoded == reference) << c.channels << " channels";
        EXPECT_EQ(decoder->status, uint32_t(Audio::Decoder::AtEnd));
        decoder->Rewind();
        std::vector<uint8_t> start(4000);
        EXPECT_EQ(decoder->Read(start.data(), 4000), 4000u);
        EXPECT_TRUE(std::equal(start.begin(), start.end(), reference.begin()));
    }
}

// A damaged page in the middle is skipped; a damaged header is rejected.
TEST_F(DecoderTest, DamagedOgg) {
    std::string wav = Tone("source.wav", 22050, 1, 16, 10.0);
    std::string ogg = dir / "track.ogg";
    Shell("oggenc -Q -q 3 -o '" + ogg + "' '" + wav + "'");
    std::vector<uint8_t> bytes = ReadBytes(ogg);
    std::vector<uint8_t> middle = bytes;
    for (size_t i = middle.size() / 2; i < middle.size() / 2 + 64; ++i) {
        middle[i] ^= 0x5A;
    }
    std::istringstream damaged(StringOf(middle));
    auto decoder = Open(damaged);
    ASSERT_TRUE(decoder);
    std::vector<uint8_t> decoded = DecodeAll(*decoder);
    EXPECT_GT(decoded.size(), 0u);
    EXPECT_LE(decoded.size(), decoder->dataSize);

    std::vector<uint8_t> head = bytes;
    head[30] ^= 0xFF;
    head[40] ^= 0xFF;
    std::istringstream broken(StringOf(head));
    EXPECT_EQ(Open(broken), nullptr);
    EXPECT_EQ(broken.tellg(), std::streampos(0));
}

// The last page's position says how long the stream is; a forged one claims about 2^40 frames. Loading the
// whole file sizes the buffer by what really decodes.
TEST_F(DecoderTest, AnOggLengthClaimSizesNothing) {
    std::string wav = Tone("source.wav", 22050, 1, 16, 5.0);
    std::string ogg = dir / "track.ogg";
    Shell("oggenc -Q -q 3 -o '" + ogg + "' '" + wav + "'");
    std::vector<uint8_t> bytes = ReadBytes(ogg);
    ASSERT_TRUE(SoundTest::ForgeOggLength(bytes));

    std::istringstream stream(StringOf(bytes));
    auto decoder = Open(stream);
    ASSERT_TRUE(decoder);
    EXPECT_EQ(decoder->dataSize, UINT32_MAX / 2 * 2) << "the claim, held to what the field can say";
    Audio::Buffer buffer;
    ASSERT_TRUE(buffer.Load(*decoder));
    // The forged end no longer trims the last block, so it decodes a little more than the true five seconds.
    std::istringstream again(StringOf(bytes));
    const size_t real = DecodeAll(*Open(again)).size();
    EXPECT_GE(real, 220500u);
    EXPECT_LT(real, 220500u + 8192u);
    EXPECT_EQ(buffer.size, real);
}

} // namespace
