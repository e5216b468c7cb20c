#include "bench/FrameProbe.h"

#include <SDL.h>
#include <cxxabi.h>

#include <cstdlib>

namespace BenchSupport {

GlCounts gl;
FrameProbe* activeProbe = nullptr;

namespace {

// Work is about to reach the GL: the probe of the frame, if any, charges what came before.
void Work() {
    if (activeProbe)
        activeProbe->Work();
}

uint64_t Primitives(GLenum mode, uint64_t count) {
    switch (mode) {
    case GL_TRIANGLES:
        return count / 3;
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
        return count >= 2 ? count - 2 : 0;
    case GL_LINES:
        return count / 2;
    case GL_LINE_STRIP:
        return count >= 1 ? count - 1 : 0;
    default:
        return count;
    }
}

void CountDraw(GLenum mode, GLsizei count) {
    Work();
    ++gl.draws;
    gl.vertices += uint64_t(count);
    gl.primitives += Primitives(mode, uint64_t(count));
}

#define HOOKED(name, params, args, counting)                                                                 \
    decltype(epoxy_##name) real_##name = nullptr;                                                            \
    void GLAPIENTRY hook_##name params {                                                                     \
        counting;                                                                                            \
        real_##name args;                                                                                    \
    }
#define COUNTED(name, counter, params, args)                                                                 \
    decltype(epoxy_##name) real_##name = nullptr;                                                            \
    void GLAPIENTRY hook_##name params {                                                                     \
        ++gl.counter;                                                                                        \
        real_##name args;                                                                                    \
    }

HOOKED(glDrawArrays, (GLenum m, GLint f, GLsizei c), (m, f, c), CountDraw(m, c))
HOOKED(glDrawElements, (GLenum m, GLsizei c, GLenum t, const void* i), (m, c, t, i), CountDraw(m, c))
HOOKED(glDrawElementsBaseVertex, (GLenum m, GLsizei c, GLenum t, const void* i, GLint b), (m, c, t, i, b),
       CountDraw(m, c))
HOOKED(glDrawRangeElementsBaseVertex,
       (GLenum m, GLuint s, GLuint e, GLsizei c, GLenum t, const void* i, GLint b), (m, s, e, c, t, i, b),
       CountDraw(m, c))
HOOKED(glMultiDrawArrays, (GLenum m, const GLint* f, const GLsizei* c, GLsizei n), (m, f, c, n),
       for (GLsizei i = 0; i < n; ++i) CountDraw(m, c[i]))
HOOKED(glMultiDrawElementsBaseVertex,
       (GLenum m, const GLsizei* c, GLenum t, const void* const* i, GLsizei n, const GLint* b),
       (m, c, t, i, n, b), for (GLsizei k = 0; k < n; ++k) CountDraw(m, c[k]))
HOOKED(glClear, (GLbitfield m), (m), Work())
HOOKED(glBlitFramebuffer,
       (GLint a, GLint b, GLint c, GLint d, GLint e, GLint f, GLint g, GLint h, GLbitfield m, GLenum i),
       (a, b, c, d, e, f, g, h, m, i), Work())
COUNTED(glEnable, states, (GLenum c), (c))
COUNTED(glDisable, states, (GLenum c), (c))
COUNTED(glBlendFuncSeparate, states, (GLenum a, GLenum b, GLenum c, GLenum d), (a, b, c, d))
COUNTED(glBlendEquationSeparate, states, (GLenum a, GLenum b), (a, b))
COUNTED(glDepthMask, states, (GLboolean f), (f))
COUNTED(glDepthFunc, states, (GLenum f), (f))
COUNTED(glCullFace, states, (GLenum f), (f))
COUNTED(glFrontFace, states, (GLenum f), (f))
COUNTED(glColorMask, states, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a))
COUNTED(glBindTexture, states, (GLenum t, GLuint n), (t, n))
COUNTED(glBindSampler, states, (GLuint u, GLuint s), (u, s))
COUNTED(glSamplerParameteri, states, (GLuint s, GLenum p, GLint v), (s, p, v))
COUNTED(glVertexAttribPointer, states, (GLuint i, GLint s, GLenum t, GLboolean n, GLsizei d, const void* p),
        (i, s, t, n, d, p))
COUNTED(glUseProgram, programs, (GLuint p), (p))
COUNTED(glBindBufferRange, uniforms, (GLenum t, GLuint i, GLuint b, GLintptr o, GLsizeiptr s),
        (t, i, b, o, s))
COUNTED(glBufferSubData, uploads, (GLenum t, GLintptr o, GLsizeiptr s, const void* d), (t, o, s, d))
COUNTED(glBufferData, uploads, (GLenum t, GLsizeiptr s, const void* d, GLenum u), (t, s, d, u))
COUNTED(glTexImage2D, uploads,
        (GLenum t, GLint l, GLint i, GLsizei w, GLsizei h, GLint b, GLenum f, GLenum y, const void* p),
        (t, l, i, w, h, b, f, y, p))
COUNTED(glTexSubImage2D, uploads,
        (GLenum t, GLint l, GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum z, const void* p),
        (t, l, x, y, w, h, f, z, p))
COUNTED(glCompressedTexImage2D, uploads,
        (GLenum t, GLint l, GLenum i, GLsizei w, GLsizei h, GLint b, GLsizei s, const void* p),
        (t, l, i, w, h, b, s, p))

#define HOOK(name)                                                                                           \
    real_##name = reinterpret_cast<decltype(real_##name)>(SDL_GL_GetProcAddress(#name));                     \
    if (real_##name)                                                                                         \
    epoxy_##name = hook_##name

} // namespace

void InstallGlHooks() {
    HOOK(glDrawArrays);
    HOOK(glDrawElements);
    HOOK(glDrawElementsBaseVertex);
    HOOK(glDrawRangeElementsBaseVertex);
    HOOK(glMultiDrawArrays);
    HOOK(glMultiDrawElementsBaseVertex);
    HOOK(glClear);
    HOOK(glBlitFramebuffer);
    HOOK(glEnable);
    HOOK(glDisable);
    HOOK(glBlendFuncSeparate);
    HOOK(glBlendEquationSeparate);
    HOOK(glDepthMask);
    HOOK(glDepthFunc);
    HOOK(glCullFace);
    HOOK(glFrontFace);
    HOOK(glColorMask);
    HOOK(glBindTexture);
    HOOK(glBindSampler);
    HOOK(glSamplerParameteri);
    HOOK(glVertexAttribPointer);
    HOOK(glUseProgram);
    HOOK(glBindBufferRange);
    HOOK(glBufferSubData);
    HOOK(glBufferData);
    HOOK(glTexImage2D);
    HOOK(glTexSubImage2D);
    HOOK(glCompressedTexImage2D);
}

std::string Readable(const char* name) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string text = status == 0 && demangled ? demangled : name;
    std::free(demangled);
    return text;
}
} // namespace BenchSupport
