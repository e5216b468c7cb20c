// One notion of time per frame: game time and frame time in seconds, from the performance counter.
#pragma once

#include <cstdint>

namespace Base {

class FrameClock {
public:
    // Taken during static initialisation; fixed for the life of the process.
    static int64_t StartCount;
    static int64_t Frequency;

    static double GameTime;  // seconds from the start to the last tick; 0 before the first
    static double FrameTime; // seconds between the last two ticks (the first: since the start)
    static uint32_t FrameCounter;

    // Once per frame, by whichever of the front end and the games runs in the foreground.
    static void Tick();
    // Seconds since the start, now. Any thread.
    static double GetSeconds();
};

} // namespace Base
