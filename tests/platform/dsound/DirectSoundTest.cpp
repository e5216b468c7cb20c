#include "tests/support/SoundTestSupport.h"

#include <dsound.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

struct Format {
    WORD channels;
    WORD bits;
    DWORD rate;
};

WAVEFORMATEX MakeFormat(Format f) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = f.channels;
    format.nSamplesPerSec = f.rate;
    format.wBitsPerSample = f.bits;
    format.nBlockAlign = static_cast<WORD>(f.channels * f.bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * f.rate;
    return format;
}

constexpr DWORD AllControls =
    DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;

class DirectSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DirectSoundCreate8(nullptr, &ds, nullptr), DS_OK);
        ASSERT_EQ(ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    }
    void TearDown() override {
        if (ds) {
            ds->Release();
        }
    }

    IDirectSoundBuffer* Make(DWORD bytes, Format f = {1, 16, 22050}, DWORD flags = AllControls) {
        WAVEFORMATEX format = MakeFormat(f);
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        return buffer;
    }

    static void Fill(IDirectSoundBuffer* buffer, DWORD offset, const std::vector<uint8_t>& bytes) {
        void *p1 = nullptr, *p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        ASSERT_EQ(buffer->Lock(offset, static_cast<DWORD>(bytes.size()), &p1, &n1, &p2, &n2, 0), DS_OK);
        ASSERT_EQ(n1 + n2, bytes.size());
        std::memcpy(p1, bytes.data(), n1);
        if (n2) {
            std::memcpy(p2, bytes.data() + n1, n2);
        }
        ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
    }

    static std::vector<uint8_t> Contents(IDirectSoundBuffer* buffer, DWORD size) {
        void *p1 = nullptr, *p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        EXPECT_EQ(buffer->Lock(0, size, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::vector<uint8_t> bytes(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1);
        buffer->Unlock(p1, n1, p2, n2);
        return bytes;
    }

    // Waits (bounded) until the buffer stops playing.
    static bool WaitForEnd(IDirectSoundBuffer* buffer) {
        for (int i = 0; i < 1000; ++i) {
            DWORD status = 0;
            buffer->GetStatus(&status);
            if (!(status & DSBSTATUS_PLAYING)) {
                return true;
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    IDirectSound8* ds = nullptr;
};

TEST_F(DirectSoundTest, AcceptsOnlyFormatsItCanPlay) {
    struct Case {
        const char* what;
        DWORD bytes;
        Format format;
        DWORD flags;
        HRESULT expected;
    } cases[] = {
        {"16-bit mono", 4000, {1, 16, 22050}, AllControls, DS_OK},
        {"8-bit stereo", 4000, {2, 8, 11025}, AllControls, DS_OK},
        {"too small", 2, {1, 16, 22050}, AllControls, DSERR_INVALIDPARAM},
        {"24-bit", 4000, {1, 24, 22050}, AllControls, DSERR_BADFORMAT},
        {"three channels", 4000, {3, 16, 22050}, AllControls, DSERR_BADFORMAT},
        {"rate below 100 Hz", 4000, {1, 16, 50}, AllControls, DSERR_BADFORMAT},
        {"3D mono", 4000, {1, 16, 22050}, DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME, DS_OK},
        {"3D stereo", 4000, {2, 16, 22050}, DSBCAPS_CTRL3D, DSERR_INVALIDPARAM},
        {"3D with pan", 4000, {1, 16, 22050}, DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN, DSERR_INVALIDPARAM},
    };
    for (const Case& c : cases) {
        WAVEFORMATEX format = MakeFormat(c.format);
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = c.flags;
        desc.dwBufferBytes = c.bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), c.expected) << c.what;
        EXPECT_EQ(buffer != nullptr, c.expected == DS_OK) << c.what;
        if (buffer) {
            buffer->Release();
        }
    }
    DSBUFFERDESC primary{};
    primary.dwSize = sizeof primary;
    primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&primary, &buffer, nullptr), DS_OK);
    EXPECT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    buffer->Release();
}

TEST_F(DirectSoundTest, LockWrapsAroundTheEnd) {
    IDirectSoundBuffer* buffer = Make(16);
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    Fill(buffer, 12, bytes);
    std::vector<uint8_t> expected = {5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4};
    EXPECT_EQ(Contents(buffer, 16), expected);
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    EXPECT_EQ(buffer->Lock(0, 17, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->Lock(16, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    buffer->Release();
}

TEST_F(DirectSoundTest, DuplicateOutlivesItsOriginal) {
    IDirectSoundBuffer* original = Make(8000);
    std::vector<uint8_t> bytes(8000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7);
    }
    Fill(original, 0, bytes);
    IDirectSoundBuffer* duplicate = nullptr;
    ASSERT_EQ(ds->DuplicateSoundBuffer(original, &duplicate), DS_OK);
    EXPECT_EQ(original->Release(), 0u);
    EXPECT_EQ(Contents(duplicate, 8000), bytes);
    ASSERT_EQ(duplicate->Play(0, 0, 0), DS_OK);
    EXPECT_TRUE(WaitForEnd(duplicate));
    duplicate->Release();
}

TEST_F(DirectSoundTest, NonLoopingPlayEndsBackAtTheStart) {
    IDirectSoundBuffer* buffer = Make(2205 * 2); // 0.1 s
    ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
    DWORD status = 0;
    buffer->GetStatus(&status);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING));
    ASSERT_TRUE(WaitForEnd(buffer));
    DWORD play = 1, write = 1;
    buffer->GetCurrentPosition(&play, &write);
    EXPECT_EQ(play, 0u);
    EXPECT_EQ(write, 0u);
    buffer->Release();
}

TEST_F(DirectSoundTest, LoopingPlayGoesOnAndStopKeepsTheCursor) {
    IDirectSoundBuffer* buffer = Make(2205 * 2);
    ASSERT_EQ(buffer->SetCurrentPosition(1000), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    // It plays on past its end: wait (bounded) until the cursor has come round twice.
    int wraps = 0;
    DWORD last = 1000;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (wraps < 2 && std::chrono::steady_clock::now() < deadline) {
        DWORD now = 0;
        buffer->GetCurrentPosition(&now, nullptr);
        wraps += now < last;
        last = now;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(wraps, 2) << "the play cursor did not come round";
    DWORD status = 0;
    buffer->GetStatus(&status);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    ASSERT_EQ(buffer->Stop(), DS_OK);
    DWORD play = 0, write = 0, again = 0;
    buffer->GetCurrentPosition(&play, &write);
    EXPECT_LT(play, 2205u * 2);
    EXPECT_EQ(play % 2, 0u);
    EXPECT_EQ(write, play);
    std::this_thread::sleep_for(50ms); // a stopped cursor stays where it is
    buffer->GetCurrentPosition(&again, nullptr);
    EXPECT_EQ(again, play);
    buffer->Release();
}

TEST_F(DirectSoundTest, ControlsKeepTheirRanges) {
    IDirectSoundBuffer* buffer = Make(4000);
    DWORD frequency = 0;
    buffer->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 22050u);
    EXPECT_EQ(buffer->SetFrequency(44100), DS_OK);
    EXPECT_EQ(buffer->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetFrequency(200001), DSERR_INVALIDPARAM);
    buffer->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 44100u);
    EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    buffer->GetFrequency(&frequency);
    EXPECT_EQ(frequency, 22050u);
    LONG value = 1;
    EXPECT_EQ(buffer->SetVolume(-602), DS_OK);
    EXPECT_EQ(buffer->SetVolume(1), DSERR_INVALIDPARAM);
    buffer->GetVolume(&value);
    EXPECT_EQ(value, -602);
    EXPECT_EQ(buffer->SetPan(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(buffer->SetPan(3600), DS_OK);
    buffer->GetPan(&value);
    EXPECT_EQ(value, 3600);
    buffer->Release();

    IDirectSoundBuffer* plain = Make(4000, {1, 16, 22050}, 0);
    EXPECT_EQ(plain->SetVolume(0), DSERR_CONTROLUNAVAIL);
    plain->Release();
}

// A ring refilled behind its play cursor while it plays is heard as one unbroken tone.
TEST(DirectSoundRecording, RingWrittenWhilePlayingIsHeardWhole) {
    SoundTest::TempDir dir;
    SoundTest::Recording recording(dir);
    {
        IDirectSound8* ds = nullptr;
        ASSERT_EQ(DirectSoundCreate8(nullptr, &ds, nullptr), DS_OK);
        ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        const DWORD rate = 22050, ringBytes = rate / 4 * 2; // a quarter of a second, 16-bit mono
        WAVEFORMATEX format = MakeFormat({1, 16, rate});
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = AllControls;
        desc.dwBufferBytes = ringBytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* ring = nullptr;
        ASSERT_EQ(ds->CreateSoundBuffer(&desc, &ring, nullptr), DS_OK);
        uint64_t written = 0; // samples of the tone so far
        DWORD writeAt = 0;
        auto refill = [&](DWORD cursor) {
            DWORD free = (cursor + ringBytes - writeAt) % ringBytes;
            if (free == 0 && written == 0) {
                free = ringBytes;
            }
            free -= free % 2;
            if (free < 2) {
                return;
            }
            std::vector<uint8_t> bytes(free);
            for (DWORD i = 0; i < free / 2; ++i, ++written) {
                auto s =
                    static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 441.0 * written / rate)));
                bytes[i * 2] = static_cast<uint8_t>(s & 0xFF);
                bytes[i * 2 + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
            }
            void *p1, *p2;
            DWORD n1, n2;
            ASSERT_EQ(ring->Lock(writeAt, free, &p1, &n1, &p2, &n2, 0), DS_OK);
            std::memcpy(p1, bytes.data(), n1);
            if (n2) {
                std::memcpy(p2, bytes.data() + n1, n2);
            }
            ring->Unlock(p1, n1, p2, n2);
            writeAt = (writeAt + free) % ringBytes;
        };
        refill(0);
        ASSERT_EQ(ring->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        for (int i = 0; i < 120; ++i) { // 1.2 s, several times around the ring
            recording.Advance(0.01);
            DWORD play = 0;
            ring->GetCurrentPosition(&play, nullptr);
            refill(play);
        }
        ring->Stop();
        ring->Release();
        ds->Release();
    }
    const std::string heard = recording.Write();
    std::vector<int16_t> left = SoundTest::ChannelSamples(dir, heard, 1);
    ASSERT_GT(left.size(), 44100u);
    // Skip the start-up; every 10 ms window of the next second carries the tone.
    size_t start = 0;
    while (start < left.size() && std::abs(left[start]) < 1000) {
        ++start;
    }
    for (size_t w = start; w + 441 <= start + 44100 && w + 441 <= left.size(); w += 441) {
        double sum = 0;
        for (size_t i = w; i < w + 441; ++i) {
            sum += double(left[i]) * left[i];
        }
        EXPECT_NEAR(std::sqrt(sum / 441), 12000 / std::sqrt(2.0), 600) << "window at " << w;
    }
    EXPECT_NEAR(SoundTest::SoxStat(heard, "remix 1 trim 0.1 0.8", "Rough   frequency"), 441, 10);
}

// A buffer placed in space: full level at its minimum distance, half at twice it (rolloff 1), and heard on
// the side it is on (+x is the listener's right).
TEST(DirectSoundRecording, BuffersPlacedInSpace) {
    SoundTest::TempDir dir;
    SoundTest::Recording recording(dir);
    const double segment = 0.6;
    {
        IDirectSound8* ds = nullptr;
        ASSERT_EQ(DirectSoundCreate8(nullptr, &ds, nullptr), DS_OK);
        ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
        DSBUFFERDESC primaryDesc{};
        primaryDesc.dwSize = sizeof primaryDesc;
        primaryDesc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        IDirectSoundBuffer* primary = nullptr;
        ASSERT_EQ(ds->CreateSoundBuffer(&primaryDesc, &primary, nullptr), DS_OK);
        IDirectSound3DListener* listener = nullptr;
        ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(&listener)),
                  S_OK);
        listener->SetOrientation(0, 0, 1, 0, 1, 0, DS3D_IMMEDIATE);

        const DWORD rate = 22050;
        WAVEFORMATEX format = MakeFormat({1, 16, rate});
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME;
        desc.dwBufferBytes = rate * 2;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        ASSERT_EQ(ds->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        std::vector<uint8_t> tone(rate * 2);
        for (DWORD i = 0; i < rate; ++i) {
            auto s = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 441.0 * i / rate)));
            tone[i * 2] = static_cast<uint8_t>(s & 0xFF);
            tone[i * 2 + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
        }
        void *p1, *p2;
        DWORD n1, n2;
        ASSERT_EQ(buffer->Lock(0, rate * 2, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memcpy(p1, tone.data(), n1);
        buffer->Unlock(p1, n1, p2, n2);
        IDirectSound3DBuffer* placed = nullptr;
        ASSERT_EQ(buffer->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&placed)), S_OK);
        placed->SetMinDistance(10, DS3D_IMMEDIATE);
        const float places[3][3] = {{0, 0, 10}, {0, 0, 20}, {10, 0, 0}};
        for (int i = 0; i < 3; ++i) {
            placed->SetPosition(places[i][0], places[i][1], places[i][2], DS3D_IMMEDIATE);
            if (i == 0) {
                ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
            }
            recording.Advance(segment);
        }
        placed->Release();
        buffer->Release();
        listener->Release();
        primary->Release();
        ds->Release();
    }
    const std::string heard = recording.Write();
    std::vector<int16_t> left = SoundTest::ChannelSamples(dir, heard, 1);
    std::vector<int16_t> right = SoundTest::ChannelSamples(dir, heard, 2);
    size_t first = 0;
    while (first < left.size() && std::abs(left[first]) < 300 && std::abs(right[first]) < 300) {
        ++first;
    }
    ASSERT_LT(first, left.size());
    auto rms = [&](int channel, int i) {
        const double at = first / 44100.0 + i * segment + 0.2;
        return SoundTest::SoxStat(heard,
                                  "remix " + std::to_string(channel) + " trim " + std::to_string(at) + " 0.3",
                                  "RMS     amplitude");
    };
    const double ahead = rms(1, 0) + rms(2, 0);
    EXPECT_NEAR(rms(1, 0) / rms(2, 0), 1.0, 0.05) << "straight ahead: both sides alike";
    EXPECT_NEAR((rms(1, 1) + rms(2, 1)) / ahead, 0.5, 0.03);
    EXPECT_GT(rms(2, 2), 4 * rms(1, 2)) << "on the right";
}

} // namespace
