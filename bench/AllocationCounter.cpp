#include "bench/AllocationCounter.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <new>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
// The executable's own code lies between these (GNU ld defines them).
extern const char __executable_start;
extern const char etext;
}

namespace {

std::atomic<uint64_t> all{0}, ours{0};
std::atomic<bool> attributing{false};
thread_local bool counting = false;

bool InExecutable(const void* address) {
    auto at = static_cast<const char*>(address);
    return at >= &__executable_start && at < &etext;
}

bool InRuntime(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return false;
    for (const char* name : {"libstdc++.so", "libc.so", "libgcc_s.so", "libm.so"})
        if (std::strstr(info.dli_fname, name))
            return true;
    return false;
}

// Frames: this function, the allocation function the program called, then its caller.
[[gnu::noinline]] void Count() {
    all.fetch_add(1, std::memory_order_relaxed);
    if (!attributing.load(std::memory_order_relaxed) || counting)
        return;
    counting = true;
    void* frames[24];
    int n = backtrace(frames, 24);
    for (int i = 2; i < n; ++i) {
        if (InExecutable(frames[i])) {
            ours.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        if (!InRuntime(frames[i]))
            break; // the GL driver, SDL or another library
    }
    counting = false;
}

// operator new takes its memory from the C library directly: counted once, as new.
void* Allocate(size_t size) {
    return __libc_malloc(size ? size : 1);
}

} // namespace

namespace AllocationCounter {

Counts Now() {
    return {all.load(std::memory_order_relaxed), ours.load(std::memory_order_relaxed)};
}

void Attribute(bool on) {
    if (on) {
        // The first backtrace loads the unwinder, which allocates: not during a count.
        void* frames[2];
        backtrace(frames, 2);
    }
    attributing.store(on, std::memory_order_relaxed);
}

} // namespace AllocationCounter

extern "C" {
void* malloc(size_t size) {
    Count();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    Count();
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    Count();
    void* p = __libc_memalign(alignment, size);
    if (!p)
        return 12; // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) {
    __libc_free(p);
}
}

void* operator new(size_t size) {
    Count();
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    Count();
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    Count();
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    Count();
    return Allocate(size);
}
void* operator new(size_t size, std::align_val_t alignment) {
    Count();
    if (void* p = __libc_memalign(size_t(alignment), size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
    Count();
    if (void* p = __libc_memalign(size_t(alignment), size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    __libc_free(p);
}
void operator delete[](void* p) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, size_t) noexcept {
    __libc_free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept {
    __libc_free(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    __libc_free(p);
}
