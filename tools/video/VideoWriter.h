// Films encoded with libavcodec: a picture painter per frame and an optional sine tone as the sound track.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Tools {

// Bytes after a picture's last row that the colour conversion's vector loads may read (FFmpeg's
// AV_INPUT_BUFFER_PADDING_SIZE).
constexpr int SourcePadding = 64;

struct FilmSettings {
    int width = 320, height = 240;
    int framesPerSecond = 25;
    int frames = 75;
    // "mpeg4" (lossy, in the usual film containers) or "ffv1" (lossless, any size).
    std::string codec = "mpeg4";
    int sampleRate = 22050; // 0: no sound track
    double toneHz = 440.0;
    // Paints frame number n as packed RGB rows (3 bytes a pixel) stride bytes apart; the last row is
    // followed by SourcePadding bytes that the colour conversion may read.
    std::function<void(int n, uint8_t* rgb, int stride)> paint;
};

// Writes the film; the container follows the file's extension. False with a message on stderr on failure.
bool WriteVideo(const std::string& path, const FilmSettings& film);

// The test pattern: eight vertical bars of these colours over the top three quarters, and below them a
// white square on black that moves 4 pixels right each frame (wrapping).
extern const uint8_t TestPatternColours[8][3];
void PaintTestPattern(int n, int width, int height, uint8_t* rgb, int stride);

} // namespace Tools
