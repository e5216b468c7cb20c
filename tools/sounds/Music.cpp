#include "tools/sounds/Music.h"

#include <algorithm>

namespace Tools {

namespace {

constexpr double Rate = MusicRate;

double NoteHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// A band-limited-enough saw: the first few harmonics.
float Saw(double phase) {
    float s = 0;
    for (int k = 1; k <= 6; ++k) {
        s += float(std::sin(phase * k) / k);
    }
    return s * 0.55f;
}

} // namespace

Samples RenderSong(const Song& song) {
    const double beat = 60.0 / song.tempo;
    const double bar = 4 * beat;
    const auto frames = static_cast<size_t>(song.bars * bar * Rate);
    Samples out(frames * 2, 0.0f);
    Noise noise(song.seed);
    LowPass padLeft(900 + 900 * song.drive, Rate), padRight(900 + 900 * song.drive, Rate);
    LowPass snareTone(3500, Rate), hatLow(7000, Rate);
    // Arpeggio order of the triad's notes over eighth notes.
    const int arpeggio[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / Rate;
        const int barIndex = int(t / bar);
        const int chord = barIndex % 4;
        const double root = song.chords[chord];
        const double third = root + (song.minor[chord] ? 3 : 4);
        const double fifth = root + 7;
        const double inBar = t - barIndex * bar;
        const double inBeat = std::fmod(t, beat);
        const int beatIndex = int(inBar / beat);

        // Pad: the triad an octave up, slightly detuned between the sides.
        float left = 0, right = 0;
        for (double note : {root + 12, third + 12, fifth + 12}) {
            const double f = NoteHz(note);
            left += Saw(TwoPi * f * 0.998 * t);
            right += Saw(TwoPi * f * 1.002 * t);
        }
        const float swell = float(0.6 + 0.4 * std::sin(TwoPi * t / (2 * bar)));
        left = padLeft(left) * 0.16f * swell;
        right = padRight(right) * 0.16f * swell;

        // Bass: root on each beat, with a pluck.
        const double bassHz = NoteHz(root - 12);
        const float bass = float(std::sin(TwoPi * bassHz * t) + 0.3 * std::sin(TwoPi * 2 * bassHz * t)) *
                           Envelope(inBeat, 0.01, beat * (0.5 + 0.5 * song.drive)) * 0.32f;

        // Arpeggio on eighths, panned to alternate sides.
        const double eighth = beat / 2;
        const int step = int(inBar / eighth) % 8;
        const double tones[3] = {root + 24, third + 24, fifth + 24};
        const double arpHz = NoteHz(tones[arpeggio[step]]);
        const double inEighth = std::fmod(t, eighth);
        const float arp = float(std::sin(TwoPi * arpHz * t) + 0.25 * std::sin(TwoPi * 3 * arpHz * t)) *
                          Envelope(inEighth, 0.004, 0.09) * float(0.09 + 0.05 * song.drive);
        const float arpPan = step % 2 ? 0.3f : 0.7f;

        // Drums: kick on 1 and 3 (every beat when driving), snare on 2 and 4, hats on eighths.
        const bool kickHere = song.drive > 0.5 || beatIndex % 2 == 0;
        const float kick = kickHere ? float(std::sin(TwoPi * (50 + 90 * std::exp(-inBeat * 30)) * inBeat)) *
                                          Envelope(inBeat, 0.002, 0.12) * 0.5f
                                    : 0.0f;
        const float n = noise.Next();
        const float snare = beatIndex % 2 == 1 ? snareTone(n) * Envelope(inBeat, 0.001, 0.07) * 0.5f : 0.0f;
        const float hat = (n - hatLow(n)) * Envelope(inEighth, 0.0005, 0.02) * float(0.08 + 0.1 * song.drive);
        const float drums = (kick + snare) * float(0.4 + 0.6 * song.drive) + hat;

        // Fade in over the first bar and out over the last.
        const double total = song.bars * bar;
        const float fade = float(std::min({1.0, t / bar, (total - t) / bar}));
        out[i * 2] = fade * (left + bass + arp * (1 - arpPan) + drums);
        out[i * 2 + 1] = fade * (right + bass + arp * arpPan + drums);
    }
    Normalise(out, 0.8f);
    return out;
}

} // namespace Tools
