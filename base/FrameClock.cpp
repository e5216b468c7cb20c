#include "base/FrameClock.h"

#include <windows.h>

#include <atomic>

namespace Base {
namespace {

int64_t ReadCounter() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

int64_t ReadFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart > 0 ? frequency.QuadPart : 1;
}

// The fixed clock's state: read by GetSeconds on any thread.
std::atomic<double> fixedStep{0};
std::atomic<double> fixedStart{0};
std::atomic<uint64_t> fixedTicks{0};

double FixedNow() {
    return fixedStart.load() + static_cast<double>(fixedTicks.load()) * fixedStep.load();
}

} // namespace

int64_t FrameClock::StartCount = ReadCounter();
int64_t FrameClock::Frequency = ReadFrequency();
double FrameClock::GameTime = 0;
double FrameClock::FrameTime = 0;
uint32_t FrameClock::FrameCounter = 0;

double FrameClock::GetSeconds() {
    if (fixedStep.load() > 0)
        return FixedNow();
    // Zero until this file's static initialisation has run.
    if (Frequency <= 0)
        return 0.0;
    return static_cast<double>(ReadCounter() - StartCount) / static_cast<double>(Frequency);
}

void FrameClock::SetFixedStep(double step, double start) {
    if (!(step > 0)) { // also NaN
        fixedStep = 0;
        return;
    }
    fixedStart = start;
    fixedTicks = 0;
    fixedStep = step;
    GameTime = start;
    FrameTime = 0;
}

double FrameClock::GetFixedStep() {
    return fixedStep.load();
}

void FrameClock::Tick() {
    if (fixedStep.load() > 0) {
        ++fixedTicks;
        GameTime = FixedNow();
        FrameTime = fixedStep.load();
        ++FrameCounter;
        return;
    }
    double now = GetSeconds();
    // The counter is monotonic; the guard keeps the frame time from going negative regardless.
    FrameTime = now > GameTime ? now - GameTime : 0.0;
    if (now > GameTime)
        GameTime = now;
    ++FrameCounter;
}

} // namespace Base
