// Small draws with a state change before each (the program-cache hit path): the Direct3D layer against the
// same draws made in GL directly, in the same iterations (each on its own context and window, in turn
// first). Prints both rates, "ratio" (the layer's time over plain GL's; target at most 1.3), "cpu_ratio"
// (the same in processor time of the whole process, rasteriser threads included: steadier on a busy
// machine), and per draw on each side the heap allocations and the page faults (fresh memory touched).
#include "bench/AllocationCounter.h"
#include "bench/ThreadClock.h"
#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <d3d9.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstring>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Draws = 10000;

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

constexpr Vertex Quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF},
                            {4, 0, 0.5f, 1, 0xFFFFFFFF},
                            {0, 4, 0.5f, 1, 0xFFFFFFFF},
                            {4, 4, 0.5f, 1, 0xFFFFFFFF}};

// Page faults of the process so far: fresh memory touched.
long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

SDL_Window* MakeWindow() {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    return SDL_CreateWindow("bench", 0, 0, 256, 256, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

struct Direct3DSide {
    SDL_Window* window = MakeWindow();
    HWND hwnd = Win32::AttachSdlWindow(window);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* device = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    SDL_GLContext context = nullptr;

    Direct3DSide() {
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = pp.BackBufferHeight = 256;
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        pp.Windowed = TRUE;
        pp.hDeviceWindow = hwnd;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                      &device) != D3D_OK)
            return;
        context = SDL_GL_GetCurrentContext();
        device->CreateVertexBuffer(sizeof Quad, D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr);
        void* data = nullptr;
        vb->Lock(0, 0, &data, 0);
        std::memcpy(data, Quad, sizeof Quad);
        vb->Unlock();
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    }
    ~Direct3DSide() {
        if (vb)
            vb->Release();
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
        Win32::DetachSdlWindow(hwnd);
        SDL_DestroyWindow(window);
    }

    void Run(bool fromUserMemory) {
        SDL_GL_MakeCurrent(window, context);
        for (int i = 0; i < Draws; ++i) {
            device->SetRenderState(D3DRS_DESTBLEND, i % 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | DWORD(i));
            if (fromUserMemory) {
                device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, Quad, sizeof(Vertex));
            } else {
                device->SetStreamSource(0, vb, 0, sizeof(Vertex));
                device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
            }
        }
        glFinish();
    }

    // The draws must have reached the back buffer (its frame buffer is still bound for reading).
    bool Drew() {
        SDL_GL_MakeCurrent(window, context);
        unsigned char pixel[4] = {};
        glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        return pixel[3] != 0;
    }
};

GLuint Compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

struct PlainGlSide {
    SDL_Window* window = MakeWindow();
    SDL_GLContext context = nullptr;
    GLint factor = -1;

    PlainGlSide() {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        context = SDL_GL_CreateContext(window);
        if (!context)
            return;
        GLuint program = glCreateProgram();
        glAttachShader(program, Compile(GL_VERTEX_SHADER, "#version 330 core\n"
                                                          "layout(location = 0) in vec4 p;\n"
                                                          "layout(location = 2) in vec4 c;\nout vec4 v;\n"
                                                          "void main() { v = c; gl_Position = "
                                                          "vec4(p.xy / 128.0 - 1.0, 0.0, 1.0); }\n"));
        glAttachShader(program,
                       Compile(GL_FRAGMENT_SHADER, "#version 330 core\nin vec4 v;\nuniform vec4 factor;\n"
                                                   "out vec4 o;\nvoid main() { o = v * factor; }\n"));
        glLinkProgram(program);
        glUseProgram(program);
        factor = glGetUniformLocation(program, "factor");
        GLuint vao, vbo;
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, sizeof Quad, Quad, GL_STATIC_DRAW);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
        glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                              reinterpret_cast<void*>(16));
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(2);
        glEnable(GL_BLEND);
    }
    ~PlainGlSide() {
        if (context)
            SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
    }

    void Run() {
        SDL_GL_MakeCurrent(window, context);
        for (int i = 0; i < Draws; ++i) {
            glBlendFunc(GL_SRC_ALPHA, i % 2 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
            glUniform4f(factor, float(i & 0xFF) / 255.0f, float((i >> 8) & 0xFF) / 255.0f, 0.0f, 1.0f);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glFinish();
    }
};

// Argument 1: the layer's draws from user memory (DrawPrimitiveUP), as the 2D drawing makes them.
void Draws10000(benchmark::State& state) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Direct3DSide direct3d;
    PlainGlSide gl;
    if (!direct3d.device || !gl.context) {
        state.SkipWithError("no device or no context");
        return;
    }
    const bool fromUserMemory = state.range(0) != 0;
    // Warm: programs built, buffers grown.
    direct3d.Run(fromUserMemory);
    gl.Run();
    Clock::duration layerTime{}, glTime{};
    ProcessClock::duration layerCpu{}, glCpu{};
    long layerFaults = 0, glFaults = 0;
    uint64_t layerAllocations = 0, glAllocations = 0;
    bool layerFirst = true;
    if (getenv("ALLOC_TRACE")) {
        AllocationCounter::Attribute(true);
        direct3d.Run(fromUserMemory);
        AllocationCounter::Attribute(false);
    }
    for (auto _ : state) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool layer = (turn == 0) == layerFirst;
            const auto counts = AllocationCounter::Now();
            const auto start = Clock::now();
            const auto cpuStart = ProcessClock::now();
            const long faults = MinorFaults();
            if (layer)
                direct3d.Run(fromUserMemory);
            else
                gl.Run();
            const auto time = Clock::now() - start;
            (layer ? layerCpu : glCpu) += ProcessClock::now() - cpuStart;
            (layer ? layerFaults : glFaults) += MinorFaults() - faults;
            const uint64_t allocations = AllocationCounter::Since(counts).all;
            (layer ? layerTime : glTime) += time;
            (layer ? layerAllocations : glAllocations) += allocations;
        }
        layerFirst = !layerFirst;
    }
    if (!direct3d.Drew())
        state.SkipWithError("nothing drawn");
    const double draws = double(state.iterations()) * Draws;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    state.counters["d3d9_draws/s"] = draws / seconds(layerTime);
    state.counters["gl_draws/s"] = draws / seconds(glTime);
    state.counters["ratio"] = seconds(layerTime) / seconds(glTime);
    state.counters["cpu_ratio"] = seconds(layerCpu) / seconds(glCpu);
    state.counters["d3d9_faults/draw"] = double(layerFaults) / draws;
    state.counters["gl_faults/draw"] = double(glFaults) / draws;
    state.counters["d3d9_allocs/draw"] = double(layerAllocations) / draws;
    state.counters["gl_allocs/draw"] = double(glAllocations) / draws;
}

} // namespace

BENCHMARK(Draws10000)->ArgName("user_memory")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
