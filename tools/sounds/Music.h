// Synthesised music: short loops of chords, bass, arpeggio and drums, rendered as stereo.
#pragma once

#include "tools/sounds/Synth.h"

namespace Tools {

constexpr int MusicRate = 44100;

struct Song {
    double tempo;  // beats per minute
    int chords[4]; // MIDI root notes, one bar each, repeated
    bool minor[4]; // minor or major triad per chord
    int bars;      // length
    double drive;  // 0 calm (front end) to 1 driving (in game)
    uint64_t seed;
};

// Interleaved stereo at MusicRate, with a fade-in and a fade-out.
Samples RenderSong(const Song& song);

} // namespace Tools
