// Films for the tests that write and play them.
#pragma once

#include "tools/video/VideoWriter.h"

namespace TestSupport {

// Frames of the test pattern at that size, lossless (any size) and without sound.
inline Tools::FilmSettings SilentLosslessFilm(int width, int height, int frames) {
    Tools::FilmSettings film;
    film.width = width;
    film.height = height;
    film.frames = frames;
    film.codec = "ffv1";
    film.sampleRate = 0;
    return film;
}

} // namespace TestSupport
