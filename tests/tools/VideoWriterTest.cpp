#include "tools/video/VideoWriter.h"

#include "tests/support/Films.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The colour conversion reads past the picture's last pixel with vector loads; the picture buffer must
// hold those bytes. Reading them here is what the sanitizers (and memcheck) watch.
TEST(VideoWriter, EachPictureIsFollowedByItsPadding) {
    TestSupport::TempDir dir("corvane-video");
    for (const auto& size : {std::pair{320, 240}, std::pair{33, 17}}) {
        const int width = size.first, height = size.second;
        Tools::FilmSettings film = TestSupport::SilentLosslessFilm(width, height, 3);
        int painted = 0;
        unsigned sum = 0;
        film.paint = [&](int n, uint8_t* rgb, int stride) {
            Tools::PaintTestPattern(n, width, height, rgb, stride);
            const uint8_t* tail = rgb + size_t(stride) * size_t(height);
            for (int i = 0; i < Tools::SourcePadding; ++i)
                sum += tail[i];
            ++painted;
        };
        const auto path = dir / ("film" + std::to_string(width) + ".avi");
        ASSERT_TRUE(Tools::WriteVideo(path.string(), film));
        EXPECT_EQ(painted, 3);
        EXPECT_EQ(sum, 0u); // the padding is cleared, so stray reads see nothing but zeros
        EXPECT_GT(std::filesystem::file_size(path), 0u);
    }
}

} // namespace
