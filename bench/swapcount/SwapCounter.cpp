// Counts a program's buffer swaps, loaded into it with LD_PRELOAD: frame rates of programs we cannot change
// (a reference game) measured the same way as ours. Swaps are caught where a program links glXSwapBuffers
// or eglSwapBuffers directly, and where it looks them up at run time (SDL does, through dlsym or
// glXGetProcAddress). Once a second, and at exit, the counts go to the file SWAP_COUNT_FILE names (stderr
// without it) as "swaps <n> seconds <s> fps <f>": swaps after the first SWAP_COUNT_SKIP seconds (default 5:
// loading and start-up), over the time from then to the last swap. The file is rewritten whole each time,
// so a program ended by a signal still leaves its last second's figures.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The few window-system types the swaps take, opaque here: no GL or X headers needed.
struct Display;
using GLXDrawable = unsigned long;
using EGLDisplay = void*;
using EGLSurface = void*;
using EGLBoolean = unsigned int;
using GLubyte = unsigned char;

namespace {

using Clock = std::chrono::steady_clock;
using GlxSwap = void (*)(Display*, GLXDrawable);
using EglSwap = EGLBoolean (*)(EGLDisplay, EGLSurface);
using GetProc = void (*(*)(const GLubyte*))();
using DlsymFn = void* (*)(void*, const char*);

std::atomic<GlxSwap> realGlxSwap{nullptr};
std::atomic<EglSwap> realEglSwap{nullptr};

std::mutex lock;
bool started = false, timing = false;
Clock::time_point counting, last, written;
long swaps = 0;

DlsymFn RealDlsym() {
    // dlsym itself is replaced below; the C library's own is reached by its version.
    static DlsymFn real = reinterpret_cast<DlsymFn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
    if (!real)
        real = reinterpret_cast<DlsymFn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5"));
    return real;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void Write() {
    const double seconds = swaps > 0 ? Seconds(last - counting) : 0.0;
    char line[128];
    std::snprintf(line, sizeof line, "swaps %ld seconds %.3f fps %.2f\n", swaps, seconds,
                  seconds > 0 ? double(swaps) / seconds : 0.0);
    const char* path = std::getenv("SWAP_COUNT_FILE");
    if (!path || !*path) {
        std::fputs(line, stderr);
        return;
    }
    if (FILE* f = std::fopen(path, "w")) {
        std::fputs(line, f);
        std::fclose(f);
    }
}

void Count() {
    std::lock_guard<std::mutex> guard(lock);
    const auto now = Clock::now();
    if (!started) {
        started = true;
        written = now;
        const char* skip = std::getenv("SWAP_COUNT_SKIP");
        counting = now + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(skip ? std::atof(skip) : 5.0));
    }
    if (now < counting)
        return;
    // The first swap after the skip starts the clock; the swaps after it are counted.
    if (!timing) {
        timing = true;
        counting = last = now;
        return;
    }
    ++swaps;
    last = now;
    if (now - written >= std::chrono::seconds(1)) {
        written = now;
        Write();
    }
}

void CountingGlxSwap(Display* display, GLXDrawable drawable) {
    Count();
    if (GlxSwap real = realGlxSwap.load())
        real(display, drawable);
}

EGLBoolean CountingEglSwap(EGLDisplay display, EGLSurface surface) {
    Count();
    EglSwap real = realEglSwap.load();
    return real ? real(display, surface) : 0;
}

// The counting function for a swap's name, remembering the real one; null for any other name.
void* Replace(const char* name, void* real) {
    if (!name || !real)
        return nullptr;
    if (std::strcmp(name, "glXSwapBuffers") == 0) {
        if (real != reinterpret_cast<void*>(&CountingGlxSwap))
            realGlxSwap.store(reinterpret_cast<GlxSwap>(real));
        return reinterpret_cast<void*>(&CountingGlxSwap);
    }
    if (std::strcmp(name, "eglSwapBuffers") == 0) {
        if (real != reinterpret_cast<void*>(&CountingEglSwap))
            realEglSwap.store(reinterpret_cast<EglSwap>(real));
        return reinterpret_cast<void*>(&CountingEglSwap);
    }
    return nullptr;
}

extern "C" void (*glXGetProcAddressARB(const GLubyte* name))();

// A looked-up lookup function (SDL asks glXGetProcAddressARB for the swap): ours, which replaces the swap.
void* ReplaceLookup(const char* name) {
    if (name &&
        (std::strcmp(name, "glXGetProcAddressARB") == 0 || std::strcmp(name, "glXGetProcAddress") == 0))
        return reinterpret_cast<void*>(&glXGetProcAddressARB);
    return nullptr;
}

struct AtExit {
    ~AtExit() {
        std::lock_guard<std::mutex> guard(lock);
        if (started)
            Write();
    }
} atExit;

} // namespace

extern "C" {

__attribute__((visibility("default"))) void* dlsym(void* handle, const char* name) noexcept {
    DlsymFn real = RealDlsym();
    void* found = real ? real(handle, name) : nullptr;
    if (void* lookup = found ? ReplaceLookup(name) : nullptr)
        return lookup;
    void* counting = Replace(name, found);
    return counting ? counting : found;
}

__attribute__((visibility("default"))) void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    if (!realGlxSwap.load())
        Replace("glXSwapBuffers", RealDlsym()(RTLD_NEXT, "glXSwapBuffers"));
    CountingGlxSwap(display, drawable);
}

__attribute__((visibility("default"))) EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    if (!realEglSwap.load())
        Replace("eglSwapBuffers", RealDlsym()(RTLD_NEXT, "eglSwapBuffers"));
    return CountingEglSwap(display, surface);
}

__attribute__((visibility("default"))) void (*glXGetProcAddressARB(const GLubyte* name))() {
    static GetProc real = reinterpret_cast<GetProc>(RealDlsym()(RTLD_NEXT, "glXGetProcAddressARB"));
    auto found = real ? real(name) : nullptr;
    void* counting = Replace(reinterpret_cast<const char*>(name), reinterpret_cast<void*>(found));
    return counting ? reinterpret_cast<void (*)()>(counting) : found;
}

__attribute__((visibility("default"))) void (*glXGetProcAddress(const GLubyte* name))() {
    return glXGetProcAddressARB(name);
}

} // extern "C"
