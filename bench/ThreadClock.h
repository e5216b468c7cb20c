// Processor time as std::chrono clocks. The machines are shared: time spent waiting for a core belongs to
// neither side of a comparison.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

// The calling thread's.
struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(duration(int64_t(t.tv_sec) * 1000000000 + t.tv_nsec));
    }
};

// Seconds of the calling thread's processor time that f takes.
template <class F> double ThreadSeconds(F&& f) {
    const auto start = ThreadClock::now();
    f();
    return std::chrono::duration<double>(ThreadClock::now() - start).count();
}

// The processor time of the whole process: the calling thread and the GL driver's rasteriser threads.
struct ProcessClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ProcessClock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return time_point(duration(int64_t(t.tv_sec) * 1000000000 + t.tv_nsec));
    }
};
