// Heap allocations counted while a benchmark runs: every malloc, calloc, realloc and aligned allocation of
// the process (the GL driver's and the C++ runtime's included), and, while attribution is on, those the
// program's own code asked for: the nearest caller outside the C and C++ runtimes is in the executable
// (the program's libraries are linked into it; the GL driver, SDL and the runtimes are shared objects).
#pragma once

#include <cstdint>

namespace AllocationCounter {

struct Counts {
    uint64_t all = 0;  // every heap allocation
    uint64_t ours = 0; // those the program's own code asked for, counted while attributing
};

Counts Now();

inline Counts Since(const Counts& start) {
    Counts now = Now();
    return {now.all - start.all, now.ours - start.ours};
}

// Attribution walks the stack of every allocation: slow, so off unless a benchmark asks for it.
void Attribute(bool on);

} // namespace AllocationCounter
