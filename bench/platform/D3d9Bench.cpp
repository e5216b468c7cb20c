// Small draws with a state change before each (the program-cache hit path): the Direct3D layer against the
// same draws made in GL directly. Compare the two items per second: their ratio is the layer's overhead.
#include "platform/win32/SdlWindow.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <d3d9.h>
#include <epoxy/gl.h>

#include <cstring>

namespace {

constexpr int Draws = 10000;

struct Vertex {
    float x, y, z, rhw;
    D3DCOLOR color;
};

SDL_Window* MakeWindow() {
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    return SDL_CreateWindow("bench", 0, 0, 256, 256, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
}

void Direct3DDraws(benchmark::State& state) {
    SDL_Window* window = MakeWindow();
    HWND hwnd = Win32::AttachSdlWindow(window);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = pp.BackBufferHeight = 256;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.Windowed = TRUE;
    pp.hDeviceWindow = hwnd;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    IDirect3DDevice9* device = nullptr;
    if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                  &device) != D3D_OK) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DVertexBuffer9* vb = nullptr;
    device->CreateVertexBuffer(4 * sizeof(Vertex), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    Vertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF},
                      {4, 0, 0.5f, 1, 0xFFFFFFFF},
                      {0, 4, 0.5f, 1, 0xFFFFFFFF},
                      {4, 4, 0.5f, 1, 0xFFFFFFFF}};
    std::memcpy(data, quad, sizeof quad);
    vb->Unlock();
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    const bool fromUserMemory = state.range(0) != 0;
    for (auto _ : state) {
        for (int i = 0; i < Draws; ++i) {
            device->SetRenderState(D3DRS_DESTBLEND, i % 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000u | DWORD(i));
            if (fromUserMemory) {
                device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
            } else {
                device->SetStreamSource(0, vb, 0, sizeof(Vertex));
                device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
            }
        }
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * Draws);
    // The draws must have reached the back buffer (its frame buffer is still bound for reading).
    unsigned char pixel[4] = {};
    glReadPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    if (pixel[3] == 0)
        state.SkipWithError("nothing drawn");
    vb->Release();
    device->Release();
    d3d->Release();
    Win32::DetachSdlWindow(hwnd);
    SDL_DestroyWindow(window);
}

GLuint Compile(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

void PlainGlDraws(benchmark::State& state) {
    SDL_Window* window = MakeWindow();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        state.SkipWithError("no context");
        return;
    }
    GLuint program = glCreateProgram();
    glAttachShader(program,
                   Compile(GL_VERTEX_SHADER, "#version 330 core\n"
                                             "layout(location = 0) in vec4 p;\n"
                                             "layout(location = 2) in vec4 c;\nout vec4 v;\n"
                                             "void main() { v = c; gl_Position = vec4(p.xy / 128.0 - 1.0, "
                                             "0.0, 1.0); }\n"));
    glAttachShader(program,
                   Compile(GL_FRAGMENT_SHADER, "#version 330 core\nin vec4 v;\nuniform vec4 factor;\n"
                                               "out vec4 o;\nvoid main() { o = v * factor; }\n"));
    glLinkProgram(program);
    glUseProgram(program);
    GLint factor = glGetUniformLocation(program, "factor");
    GLuint vao, vbo;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    Vertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFF},
                      {4, 0, 0.5f, 1, 0xFFFFFFFF},
                      {0, 4, 0.5f, 1, 0xFFFFFFFF},
                      {4, 4, 0.5f, 1, 0xFFFFFFFF}};
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
    glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(16));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(2);
    glEnable(GL_BLEND);
    for (auto _ : state) {
        for (int i = 0; i < Draws; ++i) {
            glBlendFunc(GL_SRC_ALPHA, i % 2 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
            glUniform4f(factor, float(i & 0xFF) / 255.0f, float((i >> 8) & 0xFF) / 255.0f, 0.0f, 1.0f);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * Draws);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
}

} // namespace

// Argument 1: the same draws from user memory (DrawPrimitiveUP), as the 2D drawing makes them.
BENCHMARK(Direct3DDraws)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainGlDraws)->Unit(benchmark::kMillisecond);
