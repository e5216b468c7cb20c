// Under X11 on the CPU rasteriser, Present hands the frame to a thread that shows it while the caller goes
// on. The window must still show every frame whole, right side up and in order, and the back buffer stays the
// caller's. The window is read by ImageMagick's import from an X server of the test's own.
#include "DeviceFixture.h"

#include <array>
#include <cstdio>
#include <csignal>
#include <optional>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int ScreenWidth = 160, ScreenHeight = 120;

class PresenterTest : public DeviceTest {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        server = fork();
        ASSERT_GE(server, 0);
        if (server == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen =
                std::to_string(ScreenWidth) + "x" + std::to_string(ScreenHeight) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
                   "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes the number and then a newline: closing the pipe before the newline kills it.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) {
            waitpid(server, nullptr, 0);
            server = -1;
            GTEST_SKIP() << "no Xvfb to start";
        }
        display = ":" + number;
        Keep("DISPLAY", display.c_str());
        Keep("SDL_VIDEODRIVER", "x11");
        ASSERT_NO_FATAL_FAILURE(DeviceTest::SetUp());
        SDL_ShowWindow(window);
        SDL_PumpEvents();
        ASSERT_TRUE(D3D9::PresentsFromItsOwnThread(device));
    }

    void TearDown() override {
        if (server < 0)
            return;
        DeviceTest::TearDown();
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        // Later tests in this process go back to the offscreen driver.
        for (const auto& [name, value] : kept) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    void Keep(const char* name, const char* value) {
        const char* was = std::getenv(name);
        kept.emplace_back(name, was ? std::optional<std::string>(was) : std::nullopt);
        setenv(name, value, 1);
    }

    // The window's pixels (at the screen's top left corner) as 0xRRGGBB, top row first.
    Pixels Window() {
        D3D9::WaitForPresentedFrames(device);
        const std::string command = "import -display " + display + " -window root -depth 8 rgb:-";
        FILE* pipe = popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        std::vector<unsigned char> rgb(size_t(ScreenWidth) * ScreenHeight * 3);
        size_t got = pipe ? fread(rgb.data(), 1, rgb.size(), pipe) : 0;
        if (pipe)
            pclose(pipe);
        EXPECT_EQ(got, rgb.size());
        Pixels p;
        p.width = Width;
        p.height = Height;
        for (unsigned y = 0; y < Height; ++y)
            for (unsigned x = 0; x < Width; ++x) {
                const unsigned char* c = &rgb[(size_t(y) * ScreenWidth + x) * 3];
                p.argb.push_back(uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2]);
            }
        return p;
    }

    // A frame of one colour with a red mark in its top left corner, which shows a flip.
    void DrawFrame(D3DCOLOR colour) {
        ASSERT_EQ(
            device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, colour, 1.0f, 0),
            D3D_OK);
        Unlit();
        ScreenRect(0, 0, 8, 4, 0xFFFF0000);
    }

    pid_t server = -1;
    std::string display;
    std::vector<std::pair<std::string, std::optional<std::string>>> kept;
};

TEST_F(PresenterTest, EveryFrameShowsWholeAndRightSideUp) {
    const std::array<D3DCOLOR, 3> colours{0xFF2040C0, 0xFF30A050, 0xFFE0E020};
    for (D3DCOLOR colour : colours) {
        DrawFrame(colour);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        const Pixels shown = Window();
        EXPECT_EQ(shown.At(2, 1), 0xFF0000u);
        EXPECT_EQ(shown.At(2, Height - 2), colour & 0xFFFFFFu);
        EXPECT_EQ(shown.At(Width - 1, 0), colour & 0xFFFFFFu);
        EXPECT_EQ(shown.At(Width / 2, Height / 2), colour & 0xFFFFFFu);
    }
}

TEST_F(PresenterTest, FramesPresentedBackToBackShowTheLast) {
    for (D3DCOLOR colour : {0xFF101010u, 0xFF202020u, 0xFF303030u, 0xFF406080u}) {
        DrawFrame(colour);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_EQ(Window().At(Width / 2, Height / 2), 0x406080u);
}

TEST_F(PresenterTest, TheBackBufferKeepsItsPixelsAfterPresent) {
    DrawFrame(0xFF2040C0);
    const Pixels drawn = ReadTarget();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // The next frame draws over what the last one left: nothing of it may be lost to the hand-over.
    ScreenRect(20, 20, 30, 30, 0xFF00FF00);
    const Pixels after = ReadTarget();
    EXPECT_EQ(after.At(Width / 2, Height / 2), drawn.At(Width / 2, Height / 2));
    EXPECT_EQ(after.At(2, 1), drawn.At(2, 1));
    EXPECT_EQ(after.At(25, 25), 0xFF00FF00u);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Window().At(25, 25), 0x00FF00u);
}

TEST_F(PresenterTest, AFrameHandedOverIsStillTheBackBuffersNextContent) {
    // Nothing reads the frame before Present, so it is handed over as drawn; a copied swap still leaves it
    // in the back buffer for a next frame that draws over it without clearing.
    DrawFrame(0xFF2040C0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ScreenRect(20, 20, 30, 30, 0xFF00FF00);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const Pixels shown = Window();
    EXPECT_EQ(shown.At(25, 25), 0x00FF00u);
    EXPECT_EQ(shown.At(Width / 2 + 10, Height / 2 + 10), 0x2040C0u);
    EXPECT_EQ(shown.At(2, 1), 0xFF0000u);
    ScreenRect(40, 40, 50, 50, 0xFF0000FF);
    const Pixels after = ReadTarget();
    EXPECT_EQ(after.At(25, 25), 0xFF00FF00u);
    EXPECT_EQ(after.At(45, 45), 0xFF0000FFu);
    EXPECT_EQ(after.At(2, 1), 0xFFFF0000u);
}

TEST_F(PresenterTest, ResetAndReleaseWithAFrameInFlight) {
    DrawFrame(0xFF2040C0);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(device->Reset(&parameters), D3D_OK);
    DrawFrame(0xFF30A050);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(Window().At(Width / 2, Height / 2), 0x30A050u);
    DrawFrame(0xFFE0E020);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    // TearDown releases the device with this frame possibly still on its way.
}

} // namespace
