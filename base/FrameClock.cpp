#include "base/FrameClock.h"

#include <windows.h>

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

} // namespace

int64_t FrameClock::StartCount = ReadCounter();
int64_t FrameClock::Frequency = ReadFrequency();
double FrameClock::GameTime = 0;
double FrameClock::FrameTime = 0;
uint32_t FrameClock::FrameCounter = 0;

double FrameClock::GetSeconds() {
    // Zero until this file's static initialisation has run.
    if (Frequency <= 0)
        return 0.0;
    return static_cast<double>(ReadCounter() - StartCount) / static_cast<double>(Frequency);
}

void FrameClock::Tick() {
    double now = GetSeconds();
    // The counter is monotonic; the guard keeps the frame time from going negative regardless.
    FrameTime = now > GameTime ? now - GameTime : 0.0;
    if (now > GameTime)
        GameTime = now;
    ++FrameCounter;
}

} // namespace Base
