// One notion of time per frame: game time and frame time in seconds, from the performance counter (or, in
// the test rig, from a fixed step per frame).
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

    // The test rig's fixed clock: from now on every Tick advances GameTime by exactly `step` seconds from
    // `start` (tick n reads start + n * step) and FrameTime is `step`, while GetSeconds reads the last tick's
    // time, so that a run repeats whatever the machine's speed. A step that is not positive returns to the
    // counter. Nothing in the shipped program turns it on.
    static void SetFixedStep(double step, double start = 0);
    // Seconds per tick while the fixed clock runs; 0 on the counter.
    static double GetFixedStep();
};

} // namespace Base
