#include "platform/d3d9/Device.h"
#include "platform/d3d9/Presenter.h"

#include "platform/d3d9/ShaderTranslator.h"
#include "platform/d3d9/StreamRing.h"
#include "platform/d3d9/SwapChain.h"

#include "platform/win32/SdlWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <bit>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace D3D9 {

void ForgetObject(IDirect3DDevice9* device, const void* object) {
    static_cast<Device*>(device)->Forget(object);
}

namespace {

// The caller gets its own reference to what the device holds, or null when it holds nothing.
template <class Held, class Interface> HRESULT HandOut(Held* held, Interface** out) {
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = held;
    if (held)
        held->AddRef();
    return D3D_OK;
}

// Render states fall into groups that go to GL together.
enum : unsigned {
    GroupDepth = 1,
    GroupBlend = 2,
    GroupCull = 4,
    GroupStencil = 8,
    GroupColorMask = 16,
    GroupScissor = 32,
    GroupFill = 64,
    GroupBias = 128,
    GroupPoint = 256,
};

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = float((c >> 16) & 0xFF) / 255.0f;
    out[1] = float((c >> 8) & 0xFF) / 255.0f;
    out[2] = float(c & 0xFF) / 255.0f;
    out[3] = float(c >> 24) / 255.0f;
}

void ColorValue(const D3DCOLORVALUE& c, float out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// a * b for row-vector matrices (a is applied first).
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] =
                a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

// The matrix that carries normals: the inverse transpose of the upper 3x3.
D3DMATRIX NormalMatrix(const D3DMATRIX& m) {
    const float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32,
                i = m._33;
    float cofactor[3][3] = {{e * i - f * h, f * g - d * i, d * h - e * g},
                            {c * h - b * i, a * i - c * g, b * g - a * h},
                            {b * f - c * e, c * d - a * f, a * e - b * d}};
    float det = a * cofactor[0][0] + b * cofactor[0][1] + c * cofactor[0][2];
    float inv = det != 0.0f ? 1.0f / det : 0.0f;
    // inverse = adjugate / det, adjugate = cofactor transposed; the inverse transpose is cofactor / det.
    D3DMATRIX r{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            r.m[row][col] = cofactor[row][col] * inv;
    r._44 = 1.0f;
    return r;
}

// A stage's D3DTSS_TEXTURETRANSFORMFLAGS in its key. A value outside COUNT1 to COUNT4 (with or without
// PROJECTED) draws untransformed: an unset state's 0xFFFFFFFF would otherwise read as COUNT4 | PROJECTED
// and divide 2D coordinates by their zero fourth component.
void TransformFlags(DWORD flags, StageKey& stage) {
    const DWORD count = flags & ~DWORD(D3DTTFF_PROJECTED);
    const bool known = count <= D3DTTFF_COUNT4;
    stage.transform = known ? uint8_t(count) : 0;
    stage.projected = known && (flags & D3DTTFF_PROJECTED) != 0;
}

void StoreMatrix(float out[16], const D3DMATRIX& m) {
    std::memcpy(out, &m, sizeof(float) * 16);
}

GLenum CompareFunction(DWORD f) {
    static const GLenum table[] = {GL_ALWAYS,  GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                   GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return f < 9 ? table[f] : GL_ALWAYS;
}

GLenum StencilOperation(DWORD op) {
    static const GLenum table[] = {GL_KEEP, GL_KEEP,   GL_ZERO,      GL_REPLACE,  GL_INCR,
                                   GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op < 9 ? table[op] : GL_KEEP;
}

GLenum BlendFactor(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

// BOTHSRCALPHA and BOTHINVSRCALPHA set the destination factor too.
void BlendPair(DWORD src, DWORD dst, GLenum& glSrc, GLenum& glDst) {
    if (src == D3DBLEND_BOTHSRCALPHA) {
        glSrc = GL_SRC_ALPHA;
        glDst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        glSrc = GL_ONE_MINUS_SRC_ALPHA;
        glDst = GL_SRC_ALPHA;
    } else {
        glSrc = BlendFactor(src);
        glDst = BlendFactor(dst);
    }
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum AddressMode(DWORD a) {
    switch (a) {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
    case D3DTADDRESS_MIRRORONCE:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLsizei VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GLsizei(primitives);
    case D3DPT_LINELIST:
        return GLsizei(primitives * 2);
    case D3DPT_LINESTRIP:
        return GLsizei(primitives + 1);
    case D3DPT_TRIANGLELIST:
        return GLsizei(primitives * 3);
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return GLsizei(primitives + 2);
    default:
        return 0;
    }
}

unsigned Components(BYTE type) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
        return 1;
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_FLOAT16_2:
        return 2;
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
        return 3;
    default:
        return 4;
    }
}

// Attribute location of an element, or -1 for what no program reads. Blend weights and indices, tangents
// and binormals only reach vertex shaders (ShaderTranslator.cpp's InputLocation keeps the same numbers).
int AttributeLocation(const D3DVERTEXELEMENT9& e) {
    switch (e.Usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT:
        return e.UsageIndex == 0 ? 0 : -1;
    case D3DDECLUSAGE_NORMAL:
        return e.UsageIndex == 0 ? 1 : -1;
    case D3DDECLUSAGE_COLOR:
        return e.UsageIndex < 2 ? 2 + e.UsageIndex : -1;
    case D3DDECLUSAGE_TEXCOORD:
        return e.UsageIndex < 8 ? 4 + e.UsageIndex : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return e.UsageIndex == 0 ? 12 : -1;
    case D3DDECLUSAGE_BLENDINDICES:
        return e.UsageIndex == 0 ? 13 : -1;
    case D3DDECLUSAGE_TANGENT:
        return e.UsageIndex == 0 ? 14 : -1;
    case D3DDECLUSAGE_BINORMAL:
        return e.UsageIndex == 0 ? 15 : -1;
    default:
        return -1;
    }
}

void AttributePointer(GLuint location, BYTE type, GLsizei stride, size_t offset) {
    const void* pointer = reinterpret_cast<const void*>(offset);
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        glVertexAttribPointer(location, GLint(type - D3DDECLTYPE_FLOAT1 + 1), GL_FLOAT, GL_FALSE, stride,
                              pointer);
        break;
    case D3DDECLTYPE_D3DCOLOR:
        glVertexAttribPointer(location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, pointer);
        break;
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
        glVertexAttribPointer(location, 4, GL_UNSIGNED_BYTE, type == D3DDECLTYPE_UBYTE4N, stride, pointer);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT2N:
        glVertexAttribPointer(location, 2, GL_SHORT, type == D3DDECLTYPE_SHORT2N, stride, pointer);
        break;
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT4N:
        glVertexAttribPointer(location, 4, GL_SHORT, type == D3DDECLTYPE_SHORT4N, stride, pointer);
        break;
    case D3DDECLTYPE_USHORT2N:
        glVertexAttribPointer(location, 2, GL_UNSIGNED_SHORT, GL_TRUE, stride, pointer);
        break;
    case D3DDECLTYPE_USHORT4N:
        glVertexAttribPointer(location, 4, GL_UNSIGNED_SHORT, GL_TRUE, stride, pointer);
        break;
    case D3DDECLTYPE_UDEC3:
        glVertexAttribPointer(location, 4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE, stride, pointer);
        break;
    case D3DDECLTYPE_DEC3N:
        glVertexAttribPointer(location, 4, GL_INT_2_10_10_10_REV, GL_TRUE, stride, pointer);
        break;
    case D3DDECLTYPE_FLOAT16_2:
        glVertexAttribPointer(location, 2, GL_HALF_FLOAT, GL_FALSE, stride, pointer);
        break;
    case D3DDECLTYPE_FLOAT16_4:
        glVertexAttribPointer(location, 4, GL_HALF_FLOAT, GL_FALSE, stride, pointer);
        break;
    default:
        break;
    }
}

unsigned StateGroup(DWORD state) {
    switch (state) {
    case D3DRS_ZENABLE:
    case D3DRS_ZFUNC:
    case D3DRS_ZWRITEENABLE:
        return GroupDepth;
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_BLENDOP:
    case D3DRS_SEPARATEALPHABLENDENABLE:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
    case D3DRS_BLENDOPALPHA:
    case D3DRS_BLENDFACTOR:
        return GroupBlend;
    case D3DRS_CULLMODE:
        return GroupCull | GroupStencil;
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_TWOSIDEDSTENCILMODE:
    case D3DRS_CCW_STENCILFAIL:
    case D3DRS_CCW_STENCILZFAIL:
    case D3DRS_CCW_STENCILPASS:
    case D3DRS_CCW_STENCILFUNC:
        return GroupStencil;
    case D3DRS_COLORWRITEENABLE:
        return GroupColorMask;
    case D3DRS_SCISSORTESTENABLE:
        return GroupScissor;
    case D3DRS_FILLMODE:
        return GroupFill;
    case D3DRS_DEPTHBIAS:
    case D3DRS_SLOPESCALEDEPTHBIAS:
        return GroupBias;
    case D3DRS_POINTSIZE:
        return GroupPoint;
    default:
        return 0;
    }
}

bool ShapesProgram(DWORD state) {
    switch (state) {
    case D3DRS_LIGHTING:
    case D3DRS_LOCALVIEWER:
    case D3DRS_NORMALIZENORMALS:
    case D3DRS_COLORVERTEX:
    case D3DRS_SPECULARENABLE:
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE:
    case D3DRS_FOGENABLE:
    case D3DRS_FOGTABLEMODE:
    case D3DRS_FOGVERTEXMODE:
    case D3DRS_RANGEFOGENABLE:
    case D3DRS_SHADEMODE:
    case D3DRS_ALPHATESTENABLE:
    case D3DRS_ALPHAFUNC:
        return true;
    default:
        return false;
    }
}

// The rings that uniform blocks and vertices from user memory are written to.
constexpr size_t ringSize = 4 << 20;

} // namespace

// Creation and lifetime.

// The software rasteriser allocates its scene memory as it draws and frees it at every flush. By default the
// C library hands freed memory at the top of the heap back to the system, and the next frame faults it back
// in page by page; whether that happens depends on what else lies at the top of the heap, which made frame
// times swing by a factor of two from one run to the next. Keep freed memory for reuse instead.
static void KeepFreedMemory() {
#if defined(__GLIBC__)
    static const bool once = mallopt(M_TRIM_THRESHOLD, 256 << 20) != 0;
    (void)once;
#endif
}

// Mesa's rasterisers that run on the CPU: what costs least there differs (see TextureImage).
static bool SoftwareRasteriser() {
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    if (!renderer)
        return false;
    const std::string_view name(renderer);
    return name.find("llvmpipe") != name.npos || name.find("softpipe") != name.npos ||
           name.find("swrast") != name.npos;
}

HRESULT Device::Create(IDirect3D9* direct3d, HWND window, DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                       IDirect3DDevice9** out) {
    if (!parameters || !out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    HWND target = parameters->hDeviceWindow ? parameters->hDeviceWindow : window;
    SDL_Window* sdl = Win32::SdlWindow(target);
    if (!sdl)
        return D3DERR_INVALIDCALL;
    KeepFreedMemory();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(sdl);
    if (!context)
        return D3DERR_NOTAVAILABLE;
    SDL_GL_MakeCurrent(sdl, context);
    if (epoxy_gl_version() < 33) {
        SDL_GL_DeleteContext(context);
        return D3DERR_NOTAVAILABLE;
    }
    Device* device = new Device(direct3d, target, sdl, context, flags);
    if (!device->makeSwapBuffers(*parameters)) {
        device->Release();
        return D3DERR_INVALIDCALL;
    }
    device->resetState();
    device->applySwapInterval();
    *out = device;
    return D3D_OK;
}

Device::Device(IDirect3D9* direct3d, HWND window, SDL_Window* sdl, SDL_GLContext context, DWORD flags)
    : direct3d_(direct3d), window_(window), sdl_(sdl), context_(context), flags_(flags),
      transforms_(512, Identity()), vsConstants_(256 * 4), psConstants_(32 * 4) {
    direct3d_->AddRef();
    direct3d_->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps_);
    for (int i = 0; i < 256; ++i)
        gamma_.red[i] = gamma_.green[i] = gamma_.blue[i] = WORD(i * 257);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // Direct3D takes flat colours from the first vertex of a primitive.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenFramebuffers(1, &drawFramebuffer_);
    glGenFramebuffers(1, &readFramebuffer_);
    glGenFramebuffers(1, &copyFramebuffer_);
    GLint uniformAlignment = 256;
    glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &uniformAlignment);
    uniformAlignment_ = size_t(std::max(uniformAlignment, GLint(16)));
    uniformRing_ = std::make_unique<StreamRing>(ringSize);
    glGenSamplers(8, samplers_);
    for (GLuint i = 0; i < 8; ++i)
        glBindSampler(i, samplers_[i]);
    TextureImage::DecodeCompressed(SoftwareRasteriser());
    if (SoftwareRasteriser()) {
        handOverEvery_ = 10000;
        const char* own = std::getenv("CORVANE_PRESENT_THREAD");
        if (!own || std::string_view(own) != "0")
            presenter_ = Presenter::Create(sdl_, context_);
    }
    upVertices_ = std::make_unique<StreamRing>(ringSize);
    upIndices_ = std::make_unique<StreamRing>(ringSize / 4);
    if (epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic"))
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropyMax_);
    glState_.SetAnisotropic(anisotropyMax_ > 1.0f);
}

Device::~Device() {
    presenter_.reset();
    for (auto& texture : presentColour_)
        texture.reset();
    presentDepth_.reset();
    if (presentFramebuffer_)
        glDeleteFramebuffers(1, &presentFramebuffer_);
    // As a released full-screen Direct3D device gives the desktop back: the window is a window again (the
    // desktop's mode itself was never changed, so nothing is left behind should the process die instead).
    if (!parameters_.Windowed && Win32::SdlWindow(window_) == sdl_)
        coverDesktop(false);
    delete backBuffer_;
    delete autoDepth_;
    backBuffer_ = autoDepth_ = nullptr;
    fvfDeclarations_.clear();
    programs_.Clear();
    shaderPrograms_.Clear();
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteFramebuffers(1, &drawFramebuffer_);
    glDeleteFramebuffers(1, &readFramebuffer_);
    glDeleteFramebuffers(1, &copyFramebuffer_);
    uniformRing_.reset();
    glDeleteSamplers(8, samplers_);
    upVertices_.reset();
    upIndices_.reset();
    if (gammaProgram_)
        glDeleteProgram(gammaProgram_);
    if (gammaTexture_)
        glDeleteTextures(1, &gammaTexture_);
    if (gammaArray_)
        glDeleteVertexArrays(1, &gammaArray_);
    if (gammaSampler_)
        glDeleteSamplers(1, &gammaSampler_);
    SDL_GL_DeleteContext(context_);
    direct3d_->Release();
}

ULONG Device::Release() {
    ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT Device::QueryInterface(REFIID, void** object) {
    if (object)
        *object = nullptr;
    return E_NOINTERFACE;
}

void Device::Forget(const void* object) {
    // GL names of deleted objects come back for new ones: nothing cached by name may be trusted after this.
    boundElementBuffer_ = 0;
    std::fill(std::begin(boundTextures_), std::end(boundTextures_), 0u);
    dirty_ |= DirtyTextures | DirtyVertices;
    if (object == static_cast<const void*>(renderTarget_))
        renderTarget_ = nullptr, dirty_ |= DirtyTargets;
    if (object == static_cast<const void*>(depthStencil_))
        depthStencil_ = nullptr, dirty_ |= DirtyTargets;
    for (auto& texture : textures_)
        if (object == static_cast<const void*>(texture))
            texture = nullptr, dirty_ |= DirtyTextures | DirtyKey;
    for (Stream& stream : streams_)
        if (object == static_cast<const void*>(stream.buffer))
            stream.buffer = nullptr, dirty_ |= DirtyVertices;
    if (object == static_cast<const void*>(indices_))
        indices_ = nullptr;
    if (object == static_cast<const void*>(declaration_))
        declaration_ = nullptr, dirty_ |= DirtyVertices | DirtyKey;
    if (object == static_cast<const void*>(vertexShader_))
        vertexShader_ = nullptr;
    if (object == static_cast<const void*>(pixelShader_))
        pixelShader_ = nullptr;
}

bool Device::makeSwapBuffers(D3DPRESENT_PARAMETERS& in) {
    D3DPRESENT_PARAMETERS p = in;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(sdl_, &w, &h);
    if (p.BackBufferWidth == 0)
        p.BackBufferWidth = w > 0 ? UINT(w) : 1;
    if (p.BackBufferHeight == 0)
        p.BackBufferHeight = h > 0 ? UINT(h) : 1;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN)
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
    if (p.BackBufferCount == 0)
        p.BackBufferCount = 1;
    const FormatInfo* color = FindFormat(p.BackBufferFormat);
    if (!color || !color->renderTarget)
        return false;
    const FormatInfo* depth = nullptr;
    if (p.EnableAutoDepthStencil) {
        depth = FindFormat(p.AutoDepthStencilFormat);
        if (!depth || !depth->depth)
            return false;
    }
    delete backBuffer_;
    delete autoDepth_;
    backBuffer_ = autoDepth_ = nullptr;
    inWindow_ = false;
    backBuffer_ = new Surface(
        this, std::make_unique<TextureImage>(*color, p.BackBufferWidth, p.BackBufferHeight, 1, 1, false),
        D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, true);
    if (depth)
        autoDepth_ = new Surface(
            this, std::make_unique<TextureImage>(*depth, p.BackBufferWidth, p.BackBufferHeight, 1, 1, false),
            D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, true);
    if (presenter_)
        makePresentTargets(*color, depth, p.BackBufferWidth, p.BackBufferHeight);
    parameters_ = p;
    in = p;
    checkWindowFormats();
    return true;
}

void Device::applySwapInterval() {
    SDL_GL_SetSwapInterval(parameters_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    // Full screen covers the desktop without changing its mode (the window layer never changes it); Present
    // scales the back buffer into it.
    coverDesktop(!parameters_.Windowed);
}

// SDL's desktop full screen is a request to the window manager; with none (a bare X server, a kiosk) the
// window would keep the back buffer's size in a corner of the screen. So the window is also made borderless
// and given the whole display itself, and gets its own place and frame back afterwards.
void Device::coverDesktop(bool cover) {
    if (cover != covering_)
        coverDesktopOnce(cover);
    // The window's client area is the mode's size while covered: one size for the back buffer, the client
    // area and the engine's current mode.
    Win32::SetFullScreenClientSize(window_, covering_ ? int(parameters_.BackBufferWidth) : 0,
                                   covering_ ? int(parameters_.BackBufferHeight) : 0);
}

void Device::coverDesktopOnce(bool cover) {
    if (cover) {
        SDL_Rect bounds{};
        int display = SDL_GetWindowDisplayIndex(sdl_);
        if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0)
            return;
        SDL_GetWindowPosition(sdl_, &windowedRect_.x, &windowedRect_.y);
        SDL_GetWindowSize(sdl_, &windowedRect_.w, &windowedRect_.h);
        windowedBordered_ = (SDL_GetWindowFlags(sdl_) & SDL_WINDOW_BORDERLESS) == 0;
        SDL_SetWindowBordered(sdl_, SDL_FALSE);
        SDL_SetWindowPosition(sdl_, bounds.x, bounds.y);
        SDL_SetWindowSize(sdl_, bounds.w, bounds.h);
        SDL_SetWindowFullscreen(sdl_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    } else {
        SDL_SetWindowFullscreen(sdl_, 0);
        SDL_SetWindowBordered(sdl_, windowedBordered_ ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowSize(sdl_, windowedRect_.w, windowedRect_.h);
        SDL_SetWindowPosition(sdl_, windowedRect_.x, windowedRect_.y);
    }
    covering_ = cover;
}

void Device::resetState() {
    auto& rs = renderStates_;
    rs.fill(0);
    rs[D3DRS_ZENABLE] = autoDepth_ ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = std::bit_cast<DWORD>(0.0f);
    rs[D3DRS_FOGEND] = std::bit_cast<DWORD>(1.0f);
    rs[D3DRS_FOGDENSITY] = std::bit_cast<DWORD>(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_CCW_STENCILFAIL] = rs[D3DRS_CCW_STENCILZFAIL] = rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_POINTSIZE] = std::bit_cast<DWORD>(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = std::bit_cast<DWORD>(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = std::bit_cast<DWORD>(64.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (DWORD s = 0; s < 8; ++s) {
        DWORD* t = stageStates_[s];
        std::fill(t, t + D3D9_TEXTURESTAGESTATE_COUNT, 0);
        t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = s;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        DWORD* p = samplerStates_[s];
        std::fill(p, p + D3D9_SAMPLERSTATE_COUNT, 0);
        p[D3DSAMP_ADDRESSU] = p[D3DSAMP_ADDRESSV] = p[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        p[D3DSAMP_MAGFILTER] = p[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        p[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        p[D3DSAMP_MAXANISOTROPY] = 1;
        textures_[s] = nullptr;
    }
    std::fill(transforms_.begin(), transforms_.end(), Identity());
    lights_.clear();
    lightOn_.clear();
    lightSet_.clear();
    material_ = {};
    for (Stream& stream : streams_)
        stream = {};
    holdIndices(nullptr);
    declaration_ = nullptr;
    fvf_ = 0;
    vertexShader_ = nullptr;
    pixelShader_ = nullptr;
    std::fill(vsConstants_.begin(), vsConstants_.end(), 0.0f);
    std::fill(psConstants_.begin(), psConstants_.end(), 0.0f);
    renderTarget_ = backBuffer_;
    depthStencil_ = autoDepth_;
    viewport_ = {0, 0, backBuffer_->Width(), backBuffer_->Height(), 0.0f, 1.0f};
    scissor_ = {0, 0, LONG(backBuffer_->Width()), LONG(backBuffer_->Height())};
    inScene_ = false;
    dirty_ = DirtyAll;
    stateGroups_ = ~0u;
    samplersDirty_ = 0xFF;
    refreshUniforms();
}

void Device::refreshUniforms() {
    Uniforms& u = uniforms_;
    ColorValue(material_.Diffuse, u.materialDiffuse);
    ColorValue(material_.Ambient, u.materialAmbient);
    ColorValue(material_.Specular, u.materialSpecular);
    ColorValue(material_.Emissive, u.materialEmissive);
    u.materialPower[0] = material_.Power;
    ColorToFloats(renderStates_[D3DRS_AMBIENT], u.globalAmbient);
    ColorToFloats(renderStates_[D3DRS_TEXTUREFACTOR], u.textureFactor);
    ColorToFloats(renderStates_[D3DRS_FOGCOLOR], u.fogColor);
    u.fog[0] = std::bit_cast<float>(renderStates_[D3DRS_FOGSTART]);
    u.fog[1] = std::bit_cast<float>(renderStates_[D3DRS_FOGEND]);
    u.fog[2] = std::bit_cast<float>(renderStates_[D3DRS_FOGDENSITY]);
    u.alphaRef[0] = float(renderStates_[D3DRS_ALPHAREF] & 0xFF);
    for (int s = 0; s < 8; ++s) {
        ColorToFloats(stageStates_[s][D3DTSS_CONSTANT], u.stageConstant[s]);
        for (int j = 0; j < 4; ++j)
            u.bumpEnv[s][j] = std::bit_cast<float>(stageStates_[s][D3DTSS_BUMPENVMAT00 + j]);
    }
    uniformBlocksDirty_ = (1u << BlockCount) - 1;
}

void Device::touchUniforms(const void* field, size_t bytes) {
    size_t begin = size_t(static_cast<const char*>(field) - reinterpret_cast<const char*>(&uniforms_));
    for (unsigned b = 0; b < BlockCount; ++b)
        if (begin < uniformRanges[b].end && begin + bytes > uniformRanges[b].begin)
            uniformBlocksDirty_ |= 1u << b;
}

// Device-wide queries.

HRESULT Device::TestCooperativeLevel() {
    Log("TestCooperativeLevel");
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

UINT Device::GetAvailableTextureMem() {
    return 256u << 20;
}

HRESULT Device::EvictManagedResources() {
    Log("EvictManagedResources");
    return D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) {
    if (!direct3d)
        return D3DERR_INVALIDCALL;
    direct3d_->AddRef();
    *direct3d = direct3d_;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps)
        return D3DERR_INVALIDCALL;
    *caps = caps_;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT, D3DDISPLAYMODE* mode) {
    if (!mode)
        return D3DERR_INVALIDCALL;
    if (parameters_.Windowed)
        return direct3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, mode);
    *mode = {parameters_.BackBufferWidth, parameters_.BackBufferHeight,
             parameters_.FullScreen_RefreshRateInHz, parameters_.BackBufferFormat};
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    if (!parameters)
        return D3DERR_INVALIDCALL;
    *parameters = {D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, flags_};
    return D3D_OK;
}

// Another window drawn by the same GL context: the chain's back buffer is a render target like the
// device's, and its Present shows it in that window.
HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* parameters,
                                          IDirect3DSwapChain9** swapChain) {
    Log("CreateAdditionalSwapChain");
    if (swapChain)
        *swapChain = nullptr;
    if (!parameters || !swapChain || !parameters->Windowed)
        return D3DERR_INVALIDCALL;
    SDL_Window* window = Win32::SdlWindow(parameters->hDeviceWindow);
    if (!window || window == sdl_)
        return D3DERR_INVALIDCALL;
    // The context must be able to draw into the window: it was made for GL.
    if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) || SDL_GL_MakeCurrent(window, context_) != 0) {
        SDL_GL_MakeCurrent(sdl_, context_);
        return D3DERR_NOTAVAILABLE;
    }
    SDL_GL_MakeCurrent(sdl_, context_);
    D3DPRESENT_PARAMETERS p = *parameters;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    if (p.BackBufferWidth == 0)
        p.BackBufferWidth = w > 0 ? UINT(w) : 1;
    if (p.BackBufferHeight == 0)
        p.BackBufferHeight = h > 0 ? UINT(h) : 1;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN)
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    const FormatInfo* color = FindFormat(p.BackBufferFormat);
    if (!color || !color->renderTarget)
        return D3DERR_INVALIDCALL;
    auto backBuffer = std::make_unique<Surface>(
        this, std::make_unique<TextureImage>(*color, p.BackBufferWidth, p.BackBufferHeight, 1, 1, false),
        D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, true);
    *parameters = p;
    *swapChain = new SwapChain(this, window, p, std::move(backBuffer));
    return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT, IDirect3DSwapChain9** swapChain) {
    if (swapChain)
        *swapChain = nullptr;
    return D3DERR_NOTAVAILABLE;
}

// Frames.

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* parameters) {
    Log("Reset");
    if (!parameters)
        return D3DERR_INVALIDCALL;
    // As Direct3D 9 does, lost or not: a default-pool resource (or an additional swap chain) still alive
    // refuses the reset, which is what catches a caller that forgot to release one.
    if (defaultResources_ > 0)
        return D3DERR_INVALIDCALL;
    if (presenter_)
        presenter_->Wait();
    if (!makeSwapBuffers(*parameters))
        return D3DERR_INVALIDCALL;
    lost_ = false;
    resetState();
    applySwapInterval();
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    Log("Present");
    return PresentInto(sdl_, *backBuffer_);
}

HRESULT Device::PresentInto(SDL_Window* window, Surface& backBuffer) {
    unflushed_ = 0; // the swap hands over the rest
    if (window != sdl_)
        Log("Present(swap chain)");
    if (lost_)
        return D3DERR_DEVICELOST;
    if (presenter_) {
        if (window == sdl_ && &backBuffer == backBuffer_ && inWindow_ && windowFits()) {
            handOverFrame();
            return D3D_OK;
        }
        // Shown the old way, from the back buffer's texture: the presenter's last frame goes first.
        presenter_->Wait();
        if (inWindow_)
            leaveWindow();
    }
    if (inWindow_ && &backBuffer == backBuffer_) {
        if (windowFits()) {
            SDL_GL_SwapWindow(window);
            return D3D_OK;
        }
        leaveWindow();
    }
    flipRows(false);
    // Another window's chain: the one context draws into that window for the copy, then comes back.
    if (window != sdl_ && SDL_GL_MakeCurrent(window, context_) != 0) {
        SDL_GL_MakeCurrent(sdl_, context_);
        return D3DERR_INVALIDCALL;
    }
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window, &w, &h);
    GLint bw = GLint(backBuffer.Width()), bh = GLint(backBuffer.Height());
    glState_.Enable(GL_SCISSOR_TEST, false);
    glState_.ColorMask(0xF);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    if (gammaIdentity_) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                               backBuffer.Image().Name(), 0);
        // The back buffer holds its top row first; the window wants it last. A back buffer of another shape
        // (full screen in a 4:3 mode on a wide desktop) keeps its proportions between black bars.
        GLint x0 = 0, y0 = 0, x1 = w, y1 = h;
        if (bw != w || bh != h) {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            if (int64_t(w) * bh > int64_t(h) * bw) {
                GLint fit = GLint(int64_t(h) * bw / bh);
                x0 = (w - fit) / 2;
                x1 = x0 + fit;
            } else {
                GLint fit = GLint(int64_t(w) * bh / bw);
                y0 = (h - fit) / 2;
                y1 = y0 + fit;
            }
        }
        glBlitFramebuffer(0, 0, bw, bh, x0, y1, x1, y0, GL_COLOR_BUFFER_BIT,
                          bw == w && bh == h ? GL_NEAREST : GL_LINEAR);
    } else {
        if (!prepareGamma()) {
            if (window != sdl_)
                SDL_GL_MakeCurrent(sdl_, context_);
            return D3DERR_DRIVERINTERNALERROR;
        }
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, gammaTexture_);
        if (gammaChanged_) {
            for (int i = 0; i < 256; ++i) {
                gammaTexels_[i * 3] = gamma_.red[i];
                gammaTexels_[i * 3 + 1] = gamma_.green[i];
                gammaTexels_[i * 3 + 2] = gamma_.blue[i];
            }
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 1, GL_RGB, GL_UNSIGNED_SHORT, gammaTexels_.data());
            gammaChanged_ = false;
        }
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, backBuffer.Image().Name());
        glBindSampler(0, gammaSampler_);
        glBindSampler(1, gammaSampler_);
        glState_.Viewport(0, 0, w, h);
        glState_.Enable(GL_BLEND, false);
        glState_.Enable(GL_DEPTH_TEST, false);
        glState_.Enable(GL_STENCIL_TEST, false);
        glState_.Enable(GL_CULL_FACE, false);
        glState_.PolygonMode(GL_FILL);
        glUseProgram(gammaProgram_);
        glBindVertexArray(gammaArray_);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(vertexArray_);
        glBindSampler(0, samplers_[0]);
        glBindSampler(1, samplers_[1]);
        boundTextures_[0] = boundTextures_[1] = 0;
        program_ = 0;
        dirty_ |= DirtyViewport | DirtyKey | DirtyTextures;
    }
    SDL_GL_SwapWindow(window);
    if (window != sdl_)
        SDL_GL_MakeCurrent(sdl_, context_);
    dirty_ |= DirtyTargets;
    stateGroups_ |=
        GroupScissor | GroupColorMask | GroupBlend | GroupDepth | GroupStencil | GroupCull | GroupFill;
    return D3D_OK;
}

// Whether the window's own frame buffer holds what the back buffer and the automatic depth surface hold (the
// same bits per channel, depth and stencil), and GL can flip the rows it draws: then a frame can be drawn
// there directly.
void Device::checkWindowFormats() {
    windowFormats_ = false;
    if (epoxy_gl_version() < 45 && !epoxy_has_gl_extension("GL_ARB_clip_control"))
        return;
    if (presenter_) {
        windowFormats_ = true;
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    dirty_ |= DirtyTargets;
    auto windowBits = [](GLenum attachment, GLenum size) {
        GLint type = GL_NONE, bits = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
        if (type != GL_NONE)
            glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, size, &bits);
        return bits;
    };
    auto surfaceBits = [](Surface* surface, GLenum size) {
        GLint bits = 0;
        if (surface) {
            BindScratch(GL_TEXTURE_2D, surface->Image().Name());
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, size, &bits);
        }
        return bits;
    };
    const std::pair<GLenum, GLenum> color[] = {{GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, GL_TEXTURE_RED_SIZE},
                                               {GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE, GL_TEXTURE_GREEN_SIZE},
                                               {GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE, GL_TEXTURE_BLUE_SIZE},
                                               {GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE, GL_TEXTURE_ALPHA_SIZE}};
    for (const auto& sizes : color)
        if (windowBits(GL_BACK_LEFT, sizes.first) != surfaceBits(backBuffer_, sizes.second))
            return;
    // Without an automatic depth surface the window's depth buffer is never used.
    if (autoDepth_ && (windowBits(GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE) !=
                           surfaceBits(autoDepth_, GL_TEXTURE_DEPTH_SIZE) ||
                       windowBits(GL_STENCIL, GL_FRAMEBUFFER_ATTACHMENT_STENCIL_SIZE) !=
                           surfaceBits(autoDepth_, GL_TEXTURE_STENCIL_SIZE)))
        return;
    windowFormats_ = true;
}

bool Device::windowFits() {
    if (!windowFormats_ || !gammaIdentity_ || lost_)
        return false;
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(sdl_, &w, &h);
    return w == GLint(backBuffer_->Width()) && h == GLint(backBuffer_->Height());
}

void Device::WaitForPresentedFrames() {
    if (presenter_)
        presenter_->Wait();
}

// The frame drawn in the presenter's frame buffer is fenced and queued; the drawing thread goes on with the
// next frame while the presenter waits for this one's pixels and shows it.
void Device::handOverFrame() {
    GLsync fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();
    presenter_->Show(presentColour_[presentNext_]->Name(), fence, GLint(backBuffer_->Width()),
                     GLint(backBuffer_->Height()),
                     parameters_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    // The next frame goes to the texture of the frame before last, which the presenter has shown by the time
    // Show returns. Like the window's back buffer after a swap, it holds an older frame.
    presentNext_ = (presentNext_ + 1) % 3;
    owed_ = parameters_.SwapEffect == D3DSWAPEFFECT_COPY;
    glBindFramebuffer(GL_FRAMEBUFFER, presentFramebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           presentColour_[presentNext_]->Name(), 0);
    dirty_ |= DirtyTargets;
}

// A copied swap keeps the back buffer as it was; the texture drawn next holds an older frame, so the one
// handed over is copied into it, unless the next frame starts by clearing it all.
void Device::payPresentedFrame() {
    owed_ = false;
    const GLint w = GLint(backBuffer_->Width()), h = GLint(backBuffer_->Height());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           presentColour_[(presentNext_ + 2) % 3]->Name(), 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFramebuffer_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           presentColour_[presentNext_]->Name(), 0);
    glState_.Enable(GL_SCISSOR_TEST, false);
    glState_.ColorMask(0xF);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    stateGroups_ |= GroupScissor | GroupColorMask;
}

// The presenter's frame buffer stands for the window's: three colour textures drawn in turn and a depth
// texture, in the back buffer's and the depth surface's own formats.
void Device::makePresentTargets(const FormatInfo& colour, const FormatInfo* depth, UINT width, UINT height) {
    presenter_->Wait();
    for (auto& texture : presentColour_)
        texture = std::make_unique<TextureImage>(colour, width, height, 1, 1, false);
    presentDepth_ = depth ? std::make_unique<TextureImage>(*depth, width, height, 1, 1, false) : nullptr;
    presentNext_ = 0;
    owed_ = false;
    if (!presentFramebuffer_)
        glGenFramebuffers(1, &presentFramebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, presentFramebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, presentColour_[0]->Name(), 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    if (depth)
        glFramebufferTexture2D(GL_FRAMEBUFFER,
                               depth->stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                               GL_TEXTURE_2D, presentDepth_->Name(), 0);
    dirty_ |= DirtyTargets;
}

// The back buffer and the automatic depth surface, drawn in the window, go back into their textures (rows
// top first again).
void Device::leaveWindow() {
    if (owed_)
        payPresentedFrame();
    inWindow_ = false;
    GLint w = GLint(backBuffer_->Width()), h = GLint(backBuffer_->Height());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, presentFramebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFramebuffer_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           backBuffer_->Image().Name(), 0);
    GLbitfield mask = GL_COLOR_BUFFER_BIT;
    if (autoDepth_) {
        bool stencil = autoDepth_->Image().Format().stencil;
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER,
                               stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D,
                               autoDepth_->Image().Name(), 0);
        mask |= GL_DEPTH_BUFFER_BIT | (stencil ? GL_STENCIL_BUFFER_BIT : 0);
        autoDepth_->Image().MarkDrawn();
    }
    glState_.Enable(GL_SCISSOR_TEST, false);
    glBlitFramebuffer(0, 0, w, h, 0, h, w, 0, mask, GL_NEAREST);
    backBuffer_->Image().MarkDrawn();
    dirty_ |= DirtyTargets;
    stateGroups_ |= GroupScissor;
}

// Drawing into the window: GL's rows count upwards there, so clip control flips what is drawn and viewport
// and scissor rows are flipped by hand.
void Device::flipRows(bool on) {
    LONG height = on ? LONG(backBuffer_->Height()) : 0;
    if (height == flipHeight_)
        return;
    if ((height != 0) != (flipHeight_ != 0))
        glClipControl(on ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
    flipHeight_ = height;
    dirty_ |= DirtyViewport;
    stateGroups_ |= GroupScissor;
}

// The gamma pass's program, ramp texture, sampler and vertex array, made once.
bool Device::prepareGamma() {
    if (gammaProgram_)
        return true;
    const char* vs = "#version 330 core\nout vec2 uv;\nvoid main() {\n"
                     "    vec2 p = vec2(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0);\n"
                     "    uv = vec2(p.x * 0.5 + 0.5, 0.5 - p.y * 0.5);\n"
                     "    gl_Position = vec4(p, 0.0, 1.0);\n}\n";
    const char* fs = "#version 330 core\nin vec2 uv;\nuniform sampler2D image;\n"
                     "uniform sampler2D ramp;\nout vec4 color;\nvoid main() {\n"
                     "    vec4 c = texture(image, uv);\n"
                     "    ivec3 i = ivec3(floor(clamp(c.rgb, 0.0, 1.0) * 255.0 + 0.5));\n"
                     "    color = vec4(texelFetch(ramp, ivec2(i.r, 0), 0).r, texelFetch(ramp, ivec2(i.g, "
                     "0), 0).g,\n                 texelFetch(ramp, ivec2(i.b, 0), 0).b, 1.0);\n}\n";
    gammaProgram_ = LinkProgram(vs, fs);
    if (!gammaProgram_)
        return false;
    SetSamplerUnits(gammaProgram_, {{"image", 0}, {"ramp", 1}});
    glGenTextures(1, &gammaTexture_);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, gammaTexture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB16, 256, 1, 0, GL_RGB, GL_UNSIGNED_SHORT, nullptr);
    glActiveTexture(GL_TEXTURE0);
    boundTextures_[1] = 0;
    glGenSamplers(1, &gammaSampler_);
    glSamplerParameteri(gammaSampler_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(gammaSampler_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGenVertexArrays(1, &gammaArray_);
    gammaChanged_ = true;
    return true;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    if (!surface || swapChain != 0 || index != 0)
        return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *surface = backBuffer_;
    return D3D_OK;
}

// There is no raster beam to watch: report a blank every other poll, so a wait for the next one ends at once.
HRESULT Device::GetRasterStatus(UINT, D3DRASTER_STATUS* status) {
    if (!status)
        return D3DERR_INVALIDCALL;
    vblank_ = !vblank_;
    status->InVBlank = vblank_;
    status->ScanLine = 0;
    return D3D_OK;
}

// Applied when the back buffer goes to the window, not to the display: nothing stays dark after a crash.
void Device::SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP* ramp) {
    if (!ramp)
        return;
    Log("SetGammaRamp");
    gamma_ = *ramp;
    gammaChanged_ = true;
    gammaIdentity_ = true;
    for (int i = 0; i < 256; ++i)
        if (ramp->red[i] != i * 257 || ramp->green[i] != i * 257 || ramp->blue[i] != i * 257)
            gammaIdentity_ = false;
}

void Device::GetGammaRamp(UINT, D3DGAMMARAMP* ramp) {
    if (ramp)
        *ramp = gamma_;
}

// Resources.

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE*) {
    Log("CreateTexture(", width, ", ", height, ", ", levels, ", 0x", LogHex{usage}, ", ", format, ", ", pool,
        ")");
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || width == 0 || height == 0)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && (!info->renderTarget || pool != D3DPOOL_DEFAULT))
        return D3DERR_INVALIDCALL;
    if (((usage & D3DUSAGE_DEPTHSTENCIL) != 0) != info->depth)
        return D3DERR_INVALIDCALL;
    unsigned full = TextureImage::FullChain(width, height);
    bool autoMips = (usage & D3DUSAGE_AUTOGENMIPMAP) && !info->compressed && !info->depth;
    if (!autoMips)
        usage &= ~DWORD(D3DUSAGE_AUTOGENMIPMAP);
    unsigned count = autoMips || levels == 0 ? full : std::min(levels, full);
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && !autoMips)
        count = 1;
    bool cpuOnly = pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH;
    *texture = new Texture(this, std::make_unique<TextureImage>(*info, width, height, count, 1, cpuOnly),
                           usage, pool);
    return D3D_OK;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, HANDLE*) {
    Log("CreateCubeTexture(", edge, ", ", levels, ", 0x", LogHex{usage}, ", ", format, ", ", pool, ")");
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || edge == 0 || info->depth)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && (!info->renderTarget || pool != D3DPOOL_DEFAULT))
        return D3DERR_INVALIDCALL;
    unsigned full = TextureImage::FullChain(edge, edge);
    bool autoMips = (usage & D3DUSAGE_AUTOGENMIPMAP) && !info->compressed;
    if (!autoMips)
        usage &= ~DWORD(D3DUSAGE_AUTOGENMIPMAP);
    unsigned count = autoMips || levels == 0 ? full : std::min(levels, full);
    bool cpuOnly = pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH;
    *texture = new CubeTexture(this, std::make_unique<TextureImage>(*info, edge, edge, count, 6, cpuOnly),
                               usage, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE*) {
    Log("CreateVertexBuffer(", length, ", 0x", LogHex{usage}, ", 0x", LogHex{fvf}, ", ", pool, ")");
    if (!buffer || length == 0)
        return D3DERR_INVALIDCALL;
    *buffer = new VertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE*) {
    Log("CreateIndexBuffer(", length, ", 0x", LogHex{usage}, ", ", format, ", ", pool, ")");
    if (!buffer || length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    *buffer = new IndexBuffer(this, length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE, DWORD,
                                   BOOL, IDirect3DSurface9** surface, HANDLE*) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || !info->renderTarget || width == 0 || height == 0)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(this, std::make_unique<TextureImage>(*info, width, height, 1, 1, false),
                           D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, false);
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE,
                                          DWORD, BOOL, IDirect3DSurface9** surface, HANDLE*) {
    Log("CreateDepthStencilSurface(", width, ", ", height, ", ", format, ")");
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || !info->depth || width == 0 || height == 0)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(this, std::make_unique<TextureImage>(*info, width, height, 1, 1, false),
                           D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, false);
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE*) {
    Log("CreateOffscreenPlainSurface(", width, ", ", height, ", ", format, ", ", pool, ")");
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const FormatInfo* info = FindFormat(format);
    if (!info || info->depth || width == 0 || height == 0)
        return D3DERR_INVALIDCALL;
    bool cpuOnly = pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH;
    *surface = new Surface(this, std::make_unique<TextureImage>(*info, width, height, 1, 1, cpuOnly), 0, pool,
                           false);
    return D3D_OK;
}

namespace {

// Copies a rectangle of pixels (or whole 4x4 blocks) between two images of one format.
bool CopyRect(TextureImage& from, unsigned fromFace, unsigned fromLevel, const RECT& r, TextureImage& to,
              unsigned toFace, unsigned toLevel, LONG x, LONG y) {
    const FormatInfo& f = from.Format();
    if (&f != &to.Format() && f.format != to.Format().format)
        return false;
    LONG w = r.right - r.left, h = r.bottom - r.top;
    if (r.left < 0 || r.top < 0 || w <= 0 || h <= 0 || x < 0 || y < 0 ||
        r.right > LONG(from.Width(fromLevel)) || r.bottom > LONG(from.Height(fromLevel)) ||
        x + w > LONG(to.Width(toLevel)) || y + h > LONG(to.Height(toLevel)))
        return false;
    const unsigned char* src = from.Bytes(fromFace, fromLevel);
    unsigned char* dst = to.Bytes(toFace, toLevel);
    size_t srcPitch = from.Pitch(fromLevel), dstPitch = to.Pitch(toLevel);
    if (f.compressed) {
        if ((r.left | r.top | x | y) & 3)
            return false;
        size_t rowBytes = size_t((w + 3) / 4) * f.bytes;
        for (LONG row = 0; row < (h + 3) / 4; ++row)
            std::memcpy(dst + (y / 4 + row) * dstPitch + size_t(x / 4) * f.bytes,
                        src + (r.top / 4 + row) * srcPitch + size_t(r.left / 4) * f.bytes, rowBytes);
    } else {
        for (LONG row = 0; row < h; ++row)
            std::memcpy(dst + (y + row) * dstPitch + size_t(x) * f.bytes,
                        src + (r.top + row) * srcPitch + size_t(r.left) * f.bytes, size_t(w) * f.bytes);
    }
    RECT written{x, y, x + w, y + h};
    to.Upload(toFace, toLevel, &written);
    return true;
}

} // namespace

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                              IDirect3DSurface9* destination, const POINT* destPoint) {
    Log("UpdateSurface");
    if (!source || !destination)
        return D3DERR_INVALIDCALL;
    Surface* from = static_cast<Surface*>(source);
    Surface* to = static_cast<Surface*>(destination);
    Touch(from);
    Touch(to);
    RECT r = sourceRect ? *sourceRect : RECT{0, 0, LONG(from->Width()), LONG(from->Height())};
    LONG x = destPoint ? destPoint->x : 0, y = destPoint ? destPoint->y : 0;
    if (!CopyRect(from->Image(), from->Face(), from->Level(), r, to->Image(), to->Face(), to->Level(), x, y))
        return D3DERR_INVALIDCALL;
    if (to->Image().AutoMips() && to->Level() == 0)
        to->Image().GenerateMips();
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) {
    Log("UpdateTexture");
    TextureBinding* from = BindingOf(source);
    TextureBinding* to = BindingOf(destination);
    if (!from || !to || from->image->Faces() != to->image->Faces())
        return D3DERR_INVALIDCALL;
    TextureImage& a = *from->image;
    TextureImage& b = *to->image;
    unsigned levels = std::min(a.Levels(), b.Levels());
    for (unsigned face = 0; face < a.Faces(); ++face)
        for (unsigned level = 0; level < levels; ++level) {
            RECT r{0, 0, LONG(a.Width(level)), LONG(a.Height(level))};
            if (!CopyRect(a, face, level, r, b, face, level, 0, 0))
                return D3DERR_INVALIDCALL;
        }
    if (b.AutoMips())
        b.GenerateMips();
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) {
    Log("GetRenderTargetData");
    if (!renderTarget || !destination)
        return D3DERR_INVALIDCALL;
    Surface* from = static_cast<Surface*>(renderTarget);
    Surface* to = static_cast<Surface*>(destination);
    Touch(from);
    if (from->Width() != to->Width() || from->Height() != to->Height() ||
        from->Image().Format().format != to->Image().Format().format || from->Image().CpuOnly())
        return D3DERR_INVALIDCALL;
    const FormatInfo& f = from->Image().Format();
    BindScratch(from->Image().Target(), from->Image().Name());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    unsigned char* out = to->Image().Bytes(to->Face(), to->Level());
    if (from->Image().Levels() == 1 && from->Image().Faces() == 1) {
        glGetTexImage(GL_TEXTURE_2D, 0, f.layout, f.type, out);
    } else {
        // One face or level: read it through a frame buffer.
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                               from->Image().FaceTarget(from->Face()), from->Image().Name(),
                               GLint(from->Level()));
        glReadPixels(0, 0, GLsizei(from->Width()), GLsizei(from->Height()), f.layout, f.type, out);
    }
    if (!to->Image().CpuOnly())
        to->Image().Upload(to->Face(), to->Level(), nullptr);
    return D3D_OK;
}

HRESULT Device::GetFrontBufferData(UINT, IDirect3DSurface9*) {
    return D3DERR_NOTAVAILABLE;
}

namespace {

void Attach(GLenum target, Surface& s) {
    TextureImage& image = s.Image();
    const FormatInfo& f = image.Format();
    GLenum face = image.FaceTarget(s.Face());
    if (f.depth) {
        glFramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        glFramebufferTexture2D(target, f.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT, face,
                               image.Name(), GLint(s.Level()));
    } else {
        glFramebufferTexture2D(target, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
        glFramebufferTexture2D(target, GL_COLOR_ATTACHMENT0, face, image.Name(), GLint(s.Level()));
    }
}

} // namespace

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                            const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    Log("StretchRect");
    if (!source || !destination)
        return D3DERR_INVALIDCALL;
    Surface* from = static_cast<Surface*>(source);
    Surface* to = static_cast<Surface*>(destination);
    Touch(from);
    Touch(to);
    if (from->Image().CpuOnly() || to->Image().CpuOnly() || from->Image().Format().compressed ||
        from->Image().Format().depth != to->Image().Format().depth)
        return D3DERR_INVALIDCALL;
    RECT s = sourceRect ? *sourceRect : RECT{0, 0, LONG(from->Width()), LONG(from->Height())};
    RECT d = destRect ? *destRect : RECT{0, 0, LONG(to->Width()), LONG(to->Height())};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
    Attach(GL_READ_FRAMEBUFFER, *from);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, copyFramebuffer_);
    Attach(GL_DRAW_FRAMEBUFFER, *to);
    glState_.Enable(GL_SCISSOR_TEST, false);
    glState_.ColorMask(0xF);
    bool depth = from->Image().Format().depth;
    GLbitfield mask = depth
                          ? GL_DEPTH_BUFFER_BIT | (from->Image().Format().stencil ? GL_STENCIL_BUFFER_BIT : 0)
                          : GL_COLOR_BUFFER_BIT;
    glBlitFramebuffer(s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, mask,
                      filter == D3DTEXF_LINEAR && !depth ? GL_LINEAR : GL_NEAREST);
    to->Image().MarkDrawn(to->Level());
    dirty_ |= DirtyTargets;
    stateGroups_ |= GroupScissor | GroupColorMask;
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    Log("ColorFill");
    if (!surface)
        return D3DERR_INVALIDCALL;
    Surface* s = static_cast<Surface*>(surface);
    if (s->Image().CpuOnly() || s->Image().Format().depth || s->Image().Format().compressed)
        return D3DERR_INVALIDCALL;
    Touch(s);
    RECT r = rect ? *rect : RECT{0, 0, LONG(s->Width()), LONG(s->Height())};
    glBindFramebuffer(GL_FRAMEBUFFER, copyFramebuffer_);
    Attach(GL_FRAMEBUFFER, *s);
    glState_.Enable(GL_SCISSOR_TEST, true);
    glState_.Scissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
    glState_.ColorMask(0xF);
    float c[4];
    ColorToFloats(color, c);
    glClearColor(c[0], c[1], c[2], c[3]);
    glClear(GL_COLOR_BUFFER_BIT);
    s->Image().MarkDrawn(s->Level());
    dirty_ |= DirtyTargets;
    stateGroups_ |= GroupScissor | GroupColorMask;
    return D3D_OK;
}

// Targets.

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    Log("SetRenderTarget(", index, ")");
    if (index != 0 || !surface)
        return D3DERR_INVALIDCALL;
    Surface* s = static_cast<Surface*>(surface);
    if (!(s->Usage() & D3DUSAGE_RENDERTARGET) || s->Image().CpuOnly())
        return D3DERR_INVALIDCALL;
    renderTarget_ = s;
    viewport_ = {0, 0, s->Width(), s->Height(), 0.0f, 1.0f};
    scissor_ = {0, 0, LONG(s->Width()), LONG(s->Height())};
    dirty_ |= DirtyTargets | DirtyViewport;
    stateGroups_ |= GroupScissor;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
    if (!surface || index != 0)
        return D3DERR_INVALIDCALL;
    *surface = renderTarget_;
    if (!renderTarget_)
        return D3DERR_NOTFOUND;
    renderTarget_->AddRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    Log("SetDepthStencilSurface");
    Surface* s = static_cast<Surface*>(surface);
    if (s && !s->Image().Format().depth)
        return D3DERR_INVALIDCALL;
    depthStencil_ = s;
    dirty_ |= DirtyTargets;
    stateGroups_ |= GroupDepth | GroupStencil;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = depthStencil_;
    if (!depthStencil_)
        return D3DERR_NOTFOUND;
    depthStencil_->AddRef();
    return D3D_OK;
}

HRESULT Device::BeginScene() {
    Log("BeginScene");
    if (inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    Log("EndScene");
    if (!inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

void Device::bindTargets() {
    if (inWindow_) {
        bool back = renderTarget_ == backBuffer_;
        bool autoDepth = depthStencil_ && depthStencil_ == autoDepth_;
        if (back && (autoDepth || !depthStencil_)) {
            if (owed_)
                payPresentedFrame();
            glBindFramebuffer(GL_FRAMEBUFFER, presentFramebuffer_);
            flipRows(true);
            dirty_ &= ~DirtyTargets;
            return;
        }
        // One of the two with another surface: both come back to their textures.
        if (back || autoDepth)
            leaveWindow();
    }
    flipRows(false);
    glBindFramebuffer(GL_FRAMEBUFFER, drawFramebuffer_);
    if (renderTarget_) {
        TextureImage& image = renderTarget_->Image();
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, image.FaceTarget(renderTarget_->Face()),
                               image.Name(), GLint(renderTarget_->Level()));
    } else {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    }
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
    if (depthStencil_) {
        TextureImage& image = depthStencil_->Image();
        glFramebufferTexture2D(
            GL_FRAMEBUFFER, image.Format().stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
            image.FaceTarget(depthStencil_->Face()), image.Name(), GLint(depthStencil_->Level()));
    }
    dirty_ &= ~DirtyTargets;
}

// A software rasteriser bins draws on the calling thread and starts its drawing threads on them only at a
// flush; left to Present, the whole frame is binned first and then drawn while this thread waits. Flushing
// every so many primitives lets the rasteriser draw the frame's first part while the rest is binned.
void Device::handOver(UINT primitives) {
    if (handOverEvery_ == 0)
        return;
    unflushed_ += primitives;
    if (unflushed_ >= handOverEvery_) {
        glFlush();
        unflushed_ = 0;
    }
}

void Device::markTargetsDrawn() {
    if (renderTarget_)
        renderTarget_->Image().MarkDrawn(renderTarget_->Level());
    if (depthStencil_)
        depthStencil_->Image().MarkDrawn();
}

// Clears the viewport (or the given rectangles inside it), and only the scissor rectangle when that test is
// on.
HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil) {
    Log("Clear(", count, ", 0x", LogHex{flags}, ", 0x", LogHex{color}, ")");
    if (lost_)
        return D3D_OK;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !depthStencil_->Image().Format().stencil)
        return D3DERR_INVALIDCALL;
    RECT area{LONG(viewport_.X), LONG(viewport_.Y), LONG(viewport_.X + viewport_.Width),
              LONG(viewport_.Y + viewport_.Height)};
    if (renderStates_[D3DRS_SCISSORTESTENABLE]) {
        area.left = std::max(area.left, scissor_.left);
        area.top = std::max(area.top, scissor_.top);
        area.right = std::min(area.right, scissor_.right);
        area.bottom = std::min(area.bottom, scissor_.bottom);
    }
    // A frame that starts by clearing all of the back buffer and its depth surface needs nothing of what
    // they held: it can be drawn in the window.
    if (renderTarget_ == backBuffer_ && (flags & D3DCLEAR_TARGET) && (count == 0 || !rects) &&
        area.left <= 0 && area.top <= 0 && area.right >= LONG(backBuffer_->Width()) &&
        area.bottom >= LONG(backBuffer_->Height()) &&
        (autoDepth_ ? depthStencil_ == autoDepth_ && (flags & D3DCLEAR_ZBUFFER) &&
                          (!autoDepth_->Image().Format().stencil || (flags & D3DCLEAR_STENCIL))
                    : !depthStencil_) &&
        windowFits()) {
        owed_ = false;
        if (!inWindow_) {
            inWindow_ = true;
            dirty_ |= DirtyTargets;
        }
    }
    if (dirty_ & DirtyTargets)
        bindTargets();
    GLbitfield bits = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorToFloats(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        glState_.ColorMask(0xF);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glState_.DepthMask(true);
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(GLint(stencil & 0xFF));
        glStencilMask(0xFF);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (!bits)
        return D3D_OK;
    glState_.Enable(GL_SCISSOR_TEST, true);
    auto clearRect = [&](LONG l, LONG t, LONG r, LONG b) {
        l = std::max(l, area.left);
        t = std::max(t, area.top);
        r = std::min(r, area.right);
        b = std::min(b, area.bottom);
        if (r <= l || b <= t)
            return;
        glState_.Scissor(l, glRow(t, b - t), r - l, b - t);
        glClear(bits);
    };
    if (count > 0 && rects) {
        for (DWORD i = 0; i < count; ++i)
            clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    } else {
        clearRect(area.left, area.top, area.right, area.bottom);
    }
    markTargetsDrawn();
    stateGroups_ |= GroupScissor | GroupColorMask | GroupDepth | GroupStencil;
    return D3D_OK;
}

// Transforms, viewport, material and lights.

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix || DWORD(state) >= transforms_.size())
        return D3DERR_INVALIDCALL;
    Log("SetTransform(", state, ")");
    transforms_[state] = *matrix;
    if (state == D3DTS_VIEW)
        dirty_ |= DirtyTransforms | DirtyLights;
    else if (state == D3DTS_PROJECTION)
        dirty_ |= DirtyTransforms | DirtyKey;
    else if (state == D3DTS_WORLD)
        dirty_ |= DirtyTransforms;
    else if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
        dirty_ |= DirtyTextureTransforms;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix || DWORD(state) >= transforms_.size())
        return D3DERR_INVALIDCALL;
    *matrix = transforms_[state];
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix || DWORD(state) >= transforms_.size())
        return D3DERR_INVALIDCALL;
    D3DMATRIX product = Multiply(*matrix, transforms_[state]);
    return SetTransform(state, &product);
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport)
        return D3DERR_INVALIDCALL;
    Log("SetViewport(", viewport->X, ", ", viewport->Y, ", ", viewport->Width, ", ", viewport->Height, ")");
    if (renderTarget_ && (viewport->X + viewport->Width > renderTarget_->Width() ||
                          viewport->Y + viewport->Height > renderTarget_->Height() || viewport->Width == 0 ||
                          viewport->Height == 0))
        return D3DERR_INVALIDCALL;
    viewport_ = *viewport;
    dirty_ |= DirtyViewport;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport)
        return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (!material)
        return D3DERR_INVALIDCALL;
    Log("SetMaterial");
    material_ = *material;
    Uniforms& u = uniforms_;
    ColorValue(material_.Diffuse, u.materialDiffuse);
    ColorValue(material_.Ambient, u.materialAmbient);
    ColorValue(material_.Specular, u.materialSpecular);
    ColorValue(material_.Emissive, u.materialEmissive);
    u.materialPower[0] = material_.Power;
    touchUniforms(u.materialDiffuse, sizeof(float) * 20);
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (!material)
        return D3DERR_INVALIDCALL;
    *material = material_;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    Log("SetLight(", index, ")");
    if (index >= lights_.size()) {
        lights_.resize(index + 1);
        lightOn_.resize(index + 1);
        lightSet_.resize(index + 1);
    }
    if (lightOn_[index] && lights_[index].Type != light->Type)
        dirty_ |= DirtyKey;
    lights_[index] = *light;
    lightSet_[index] = true;
    if (lightOn_[index])
        dirty_ |= DirtyLights;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) {
    if (!light || index >= lights_.size() || !lightSet_[index])
        return D3DERR_INVALIDCALL;
    *light = lights_[index];
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    Log("LightEnable(", index, ", ", enable ? 1 : 0, ")");
    if (index >= lights_.size()) {
        lights_.resize(index + 1);
        lightOn_.resize(index + 1);
        lightSet_.resize(index + 1);
    }
    if (!lightSet_[index]) {
        // A light enabled before it was set is a white directional light pointing along +z.
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = {0.0f, 0.0f, 1.0f};
        lights_[index] = light;
        lightSet_[index] = true;
    }
    if (lightOn_[index] != bool(enable)) {
        lightOn_[index] = enable != FALSE;
        dirty_ |= DirtyKey | DirtyLights;
    }
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable || index >= lights_.size() || !lightSet_[index])
        return D3DERR_INVALIDCALL;
    *enable = lightOn_[index] ? TRUE : FALSE;
    return D3D_OK;
}

// States.

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (DWORD(state) >= renderStates_.size())
        return D3DERR_INVALIDCALL;
    Log("SetRenderState(", state, ", ", value, ")");
    DWORD& slot = renderStates_[state];
    if (slot == value)
        return D3D_OK;
    slot = value;
    stateGroups_ |= StateGroup(state);
    if (ShapesProgram(state))
        dirty_ |= DirtyKey;
    Uniforms& u = uniforms_;
    switch (state) {
    case D3DRS_ALPHAREF:
        u.alphaRef[0] = float(value & 0xFF);
        touchUniforms(u.alphaRef, 16);
        break;
    case D3DRS_TEXTUREFACTOR:
        ColorToFloats(value, u.textureFactor);
        touchUniforms(u.textureFactor, 16);
        break;
    case D3DRS_AMBIENT:
        ColorToFloats(value, u.globalAmbient);
        touchUniforms(u.globalAmbient, 16);
        break;
    case D3DRS_FOGCOLOR:
        ColorToFloats(value, u.fogColor);
        touchUniforms(u.fogColor, 16);
        break;
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
        u.fog[state - D3DRS_FOGSTART] = std::bit_cast<float>(value);
        touchUniforms(u.fog, 16);
        break;
    default:
        break;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || DWORD(state) >= renderStates_.size())
        return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (!texture || stage >= 8)
        return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (*texture)
        (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    Log("SetTexture(", stage, ", ", (texture ? "texture" : "null"), ")");
    if (stage >= 8)
        return stage >= 256 ? D3D_OK : D3DERR_INVALIDCALL; // vertex texture samplers: not offered
    IDirect3DBaseTexture9*& slot = textures_[stage];
    if (slot == texture)
        return D3D_OK;
    auto kind = [](IDirect3DBaseTexture9* t) {
        return t ? (t->GetType() == D3DRTYPE_CUBETEXTURE ? 2 : 1) : 0;
    };
    if (kind(slot) != kind(texture))
        dirty_ |= DirtyKey;
    slot = texture;
    dirty_ |= DirtyTextures;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= 8 || DWORD(type) >= D3D9_TEXTURESTAGESTATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= 8 || DWORD(type) >= D3D9_TEXTURESTAGESTATE_COUNT)
        return D3DERR_INVALIDCALL;
    Log("SetTextureStageState(", stage, ", ", type, ", ", value, ")");
    DWORD& slot = stageStates_[stage][type];
    if (slot == value)
        return D3D_OK;
    slot = value;
    switch (type) {
    case D3DTSS_CONSTANT:
        ColorToFloats(value, uniforms_.stageConstant[stage]);
        touchUniforms(uniforms_.stageConstant[stage], 16);
        break;
    case D3DTSS_BUMPENVMAT00:
    case D3DTSS_BUMPENVMAT01:
    case D3DTSS_BUMPENVMAT10:
    case D3DTSS_BUMPENVMAT11:
        uniforms_.bumpEnv[stage][type - D3DTSS_BUMPENVMAT00] = std::bit_cast<float>(value);
        touchUniforms(&uniforms_.bumpEnv[stage][type - D3DTSS_BUMPENVMAT00], 4);
        break;
    case D3DTSS_BUMPENVLSCALE:
    case D3DTSS_BUMPENVLOFFSET:
        break;
    default:
        dirty_ |= DirtyKey;
    }
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (!value || sampler >= 8 || DWORD(type) >= D3D9_SAMPLERSTATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = samplerStates_[sampler][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= 8 || DWORD(type) >= D3D9_SAMPLERSTATE_COUNT)
        return sampler >= 256 ? D3D_OK : D3DERR_INVALIDCALL;
    Log("SetSamplerState(", sampler, ", ", type, ", ", value, ")");
    DWORD& slot = samplerStates_[sampler][type];
    if (slot == value)
        return D3D_OK;
    slot = value;
    samplersDirty_ |= 1u << sampler;
    return D3D_OK;
}

// The sampler objects of the units whose states changed, as the next draw samples them: states set and set
// back between two draws send nothing.
void Device::applySamplers() {
    for (unsigned sampler = 0; samplersDirty_ >> sampler; ++sampler) {
        if (!(samplersDirty_ & (1u << sampler)))
            continue;
        const DWORD* p = samplerStates_[sampler];
        SamplerParameters gl;
        gl.wrap[0] = GLint(AddressMode(p[D3DSAMP_ADDRESSU]));
        gl.wrap[1] = GLint(AddressMode(p[D3DSAMP_ADDRESSV]));
        gl.wrap[2] = GLint(AddressMode(p[D3DSAMP_ADDRESSW]));
        ColorToFloats(p[D3DSAMP_BORDERCOLOR], gl.border);
        gl.magFilter = p[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST;
        const bool linear = p[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
        switch (p[D3DSAMP_MIPFILTER]) {
        case D3DTEXF_NONE:
            gl.minFilter = linear ? GL_LINEAR : GL_NEAREST;
            break;
        case D3DTEXF_POINT:
            gl.minFilter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
            break;
        default:
            gl.minFilter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        }
        const bool anisotropic =
            p[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || p[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
        gl.anisotropy =
            anisotropic ? std::clamp(float(p[D3DSAMP_MAXANISOTROPY]), 1.0f, anisotropyMax_) : 1.0f;
        gl.lodBias = std::bit_cast<float>(p[D3DSAMP_MIPMAPLODBIAS]);
        gl.minLod = float(p[D3DSAMP_MAXMIPLEVEL]);
        glState_.Sampler(sampler, samplers_[sampler], gl);
    }
    samplersDirty_ = 0;
}

HRESULT Device::ValidateDevice(DWORD* passes) {
    if (passes)
        *passes = 1;
    return D3D_OK;
}

// Palettes are not offered (no P8 format); the calls only keep their values.
HRESULT Device::SetPaletteEntries(UINT, const PALETTEENTRY* entries) {
    return entries ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::GetPaletteEntries(UINT, PALETTEENTRY*) {
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetCurrentTexturePalette(UINT palette) {
    Log("SetCurrentTexturePalette(", palette, ")");
    palette_ = palette;
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* palette) {
    if (!palette)
        return D3DERR_INVALIDCALL;
    *palette = palette_;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
    if (!rect)
        return D3DERR_INVALIDCALL;
    Log("SetScissorRect(", rect->left, ", ", rect->top, ", ", rect->right, ", ", rect->bottom, ")");
    scissor_ = *rect;
    stateGroups_ |= GroupScissor;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) {
    if (!rect)
        return D3DERR_INVALIDCALL;
    *rect = scissor_;
    return D3D_OK;
}

// Vertex formats, streams and shaders.

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                        IDirect3DVertexDeclaration9** declaration) {
    Log("CreateVertexDeclaration");
    if (!elements || !declaration)
        return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    for (size_t i = 0; i < MAXD3DDECLLENGTH + 1; ++i) {
        list.push_back(elements[i]);
        if (elements[i].Stream == 0xFF || elements[i].Type == D3DDECLTYPE_UNUSED)
            break;
    }
    *declaration = new VertexDeclaration(this, std::move(list), true);
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    Log("SetVertexDeclaration(", (declaration ? "declaration" : "null"), ")");
    auto* d = static_cast<VertexDeclaration*>(declaration);
    fvf_ = 0;
    if (d == declaration_)
        return D3D_OK;
    declaration_ = d;
    dirty_ |= DirtyVertices | DirtyKey;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) {
    return HandOut(declaration_, declaration);
}

HRESULT Device::SetFVF(DWORD fvf) {
    Log("SetFVF(0x", LogHex{fvf}, ")");
    if (fvf == 0)
        return D3D_OK;
    if (fvf == fvf_ && declaration_)
        return D3D_OK;
    auto found = fvfDeclarations_.find(fvf);
    if (found == fvfDeclarations_.end()) {
        std::vector<D3DVERTEXELEMENT9> elements = VertexDeclaration::FromFvf(fvf);
        if (elements.empty())
            return D3DERR_INVALIDCALL;
        found =
            fvfDeclarations_.emplace(fvf, std::make_unique<VertexDeclaration>(this, elements, false)).first;
    }
    fvf_ = fvf;
    if (declaration_ != found->second.get()) {
        declaration_ = found->second.get();
        dirty_ |= DirtyVertices | DirtyKey;
    }
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    if (!fvf)
        return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

namespace {

// Shader constants are registers of four floats. The range is checked in 64 bits: first + count in 32 bits
// could wrap past the end and pass.
bool ConstantRangeFits(const std::vector<float>& registers, UINT first, const void* data, UINT count) {
    return data && (uint64_t(first) + count) * 4 <= registers.size();
}

HRESULT StoreConstants(std::vector<float>& registers, UINT first, const float* data, UINT count) {
    if (!ConstantRangeFits(registers, first, data, count))
        return D3DERR_INVALIDCALL;
    std::copy_n(data, size_t(count) * 4, registers.begin() + size_t(first) * 4);
    return D3D_OK;
}

HRESULT LoadConstants(const std::vector<float>& registers, UINT first, float* data, UINT count) {
    if (!ConstantRangeFits(registers, first, data, count))
        return D3DERR_INVALIDCALL;
    std::copy_n(registers.begin() + size_t(first) * 4, size_t(count) * 4, data);
    return D3D_OK;
}

} // namespace

// A shader the translator took, or null and the reason it was refused.
template <class Shader, class Interface>
HRESULT Device::createShader(const DWORD* function, Interface** shader) {
    if (!function || !shader)
        return D3DERR_INVALIDCALL;
    *shader = nullptr;
    if (HRESULT refused = checkShader(function, std::is_same_v<Shader, VertexShader>); refused != D3D_OK)
        return refused;
    *shader = new Shader(this, function);
    return D3D_OK;
}

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
    Log("CreateVertexShader");
    return createShader<VertexShader>(function, shader);
}

// A shader this device can draw, or the reason on stderr and INVALIDCALL: a device that reports no shader
// version takes none, and the translator must take the stream.
HRESULT Device::checkShader(const DWORD* function, bool vertex) {
    const DWORD version = function[0];
    const bool supported = vertex
                               ? caps_.VertexShaderVersion >= version && (version & 0xFFFF0000) == 0xFFFE0000
                               : caps_.PixelShaderVersion >= version && (version & 0xFFFF0000) == 0xFFFF0000;
    std::string why = supported ? CheckShader(function, ShaderTokenCount(function)) : "version not supported";
    if (why.empty())
        return D3D_OK;
    Log("shader refused: ", why.c_str());
    std::fprintf(stderr, "d3d9: %s shader refused: %s\n", vertex ? "vertex" : "pixel", why.c_str());
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
    Log("SetVertexShader(", (shader ? "shader" : "null"), ")");
    vertexShader_ = static_cast<VertexShader*>(shader);
    dirty_ |= DirtyKey;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) {
    return HandOut(vertexShader_, shader);
}

HRESULT Device::SetVertexShaderConstantF(UINT first, const float* data, UINT count) {
    Log("SetVertexShaderConstantF(", first, ", ", count, ")");
    shaderConstantsDirty_ = true;
    return StoreConstants(vsConstants_, first, data, count);
}

HRESULT Device::GetVertexShaderConstantF(UINT first, float* data, UINT count) {
    return LoadConstants(vsConstants_, first, data, count);
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    Log("CreatePixelShader");
    return createShader<PixelShader>(function, shader);
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
    Log("SetPixelShader(", (shader ? "shader" : "null"), ")");
    pixelShader_ = static_cast<PixelShader*>(shader);
    dirty_ |= DirtyKey;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) {
    return HandOut(pixelShader_, shader);
}

HRESULT Device::SetPixelShaderConstantF(UINT first, const float* data, UINT count) {
    Log("SetPixelShaderConstantF(", first, ", ", count, ")");
    shaderConstantsDirty_ = true;
    return StoreConstants(psConstants_, first, data, count);
}

HRESULT Device::GetPixelShaderConstantF(UINT first, float* data, UINT count) {
    return LoadConstants(psConstants_, first, data, count);
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    Log("SetStreamSource(", stream, ", ", (buffer ? "buffer" : "null"), ", ", offset, ", ", stride, ")");
    if (stream >= 8)
        return D3DERR_INVALIDCALL;
    Stream& s = streams_[stream];
    auto* b = static_cast<VertexBuffer*>(buffer);
    if (s.buffer == b && s.offset == offset && s.stride == stride)
        return D3D_OK;
    s = {b, offset, stride};
    dirty_ |= DirtyVertices;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    if (stream >= 8 || !buffer || !offset || !stride)
        return D3DERR_INVALIDCALL;
    const Stream& s = streams_[stream];
    *buffer = s.buffer;
    if (s.buffer)
        s.buffer->AddRef();
    *offset = s.offset;
    *stride = s.stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer) {
    Log("SetIndices(", (buffer ? "buffer" : "null"), ")");
    holdIndices(static_cast<IndexBuffer*>(buffer));
    return D3D_OK;
}

void Device::holdIndices(IndexBuffer* buffer) {
    // The device keeps a reference to the buffer it holds, so a buffer the caller has released stays
    // usable while set. Cleared before the release: the last one forgets the buffer on this device.
    if (buffer)
        buffer->AddRef();
    IndexBuffer* previous = std::exchange(indices_, buffer);
    if (previous)
        previous->Release();
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** buffer) {
    return HandOut(indices_, buffer);
}

// Drawing.

void Device::applyRenderStates() {
    const auto& rs = renderStates_;
    unsigned g = stateGroups_;
    stateGroups_ = 0;
    if (g & GroupDepth) {
        if (depthStencil_ && rs[D3DRS_ZENABLE]) {
            glState_.Enable(GL_DEPTH_TEST, true);
            glState_.DepthFunc(CompareFunction(rs[D3DRS_ZFUNC]));
        } else {
            glState_.Enable(GL_DEPTH_TEST, false);
        }
        glState_.DepthMask(rs[D3DRS_ZWRITEENABLE] != 0);
    }
    if (g & GroupBlend) {
        if (rs[D3DRS_ALPHABLENDENABLE]) {
            glState_.Enable(GL_BLEND, true);
            GLenum src, dst, srcAlpha, dstAlpha;
            BlendPair(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], src, dst);
            GLenum op = BlendEquation(rs[D3DRS_BLENDOP]), opAlpha = op;
            if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
                BlendPair(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], srcAlpha, dstAlpha);
                opAlpha = BlendEquation(rs[D3DRS_BLENDOPALPHA]);
            } else {
                srcAlpha = src;
                dstAlpha = dst;
            }
            glState_.BlendFunc(src, dst, srcAlpha, dstAlpha);
            glState_.BlendEquation(op, opAlpha);
            float c[4];
            ColorToFloats(rs[D3DRS_BLENDFACTOR], c);
            glState_.BlendColor(c);
        } else {
            glState_.Enable(GL_BLEND, false);
        }
    }
    // GL sees the same window coordinates as Direct3D but counts y upwards, so what Direct3D calls clockwise
    // GL calls counter-clockwise.
    bool frontIsCw = true; // GL's front faces are Direct3D's clockwise ones
    if (g & (GroupCull | GroupStencil)) {
        DWORD cull = rs[D3DRS_CULLMODE];
        frontIsCw = cull != D3DCULL_CW;
        if (g & GroupCull) {
            if (cull == D3DCULL_CW || cull == D3DCULL_CCW) {
                glState_.Enable(GL_CULL_FACE, true);
                glState_.CullFace(GL_BACK);
                glState_.FrontFace(cull == D3DCULL_CW ? GL_CW : GL_CCW);
            } else {
                glState_.Enable(GL_CULL_FACE, false);
                glState_.FrontFace(GL_CCW);
            }
        }
    }
    if (g & GroupStencil) {
        if (rs[D3DRS_STENCILENABLE] && depthStencil_ && depthStencil_->Image().Format().stencil) {
            glState_.Enable(GL_STENCIL_TEST, true);
            GLint ref = GLint(rs[D3DRS_STENCILREF] & 0xFF);
            GLuint mask = rs[D3DRS_STENCILMASK] & 0xFF;
            auto side = [&](GLenum face, bool ccwStates) {
                DWORD func = ccwStates ? rs[D3DRS_CCW_STENCILFUNC] : rs[D3DRS_STENCILFUNC];
                DWORD fail = ccwStates ? rs[D3DRS_CCW_STENCILFAIL] : rs[D3DRS_STENCILFAIL];
                DWORD zfail = ccwStates ? rs[D3DRS_CCW_STENCILZFAIL] : rs[D3DRS_STENCILZFAIL];
                DWORD pass = ccwStates ? rs[D3DRS_CCW_STENCILPASS] : rs[D3DRS_STENCILPASS];
                glStencilFuncSeparate(face, CompareFunction(func), ref, mask);
                glStencilOpSeparate(face, StencilOperation(fail), StencilOperation(zfail),
                                    StencilOperation(pass));
            };
            bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
            side(GL_FRONT, twoSided && !frontIsCw);
            side(GL_BACK, twoSided && frontIsCw);
            glStencilMask(rs[D3DRS_STENCILWRITEMASK] & 0xFF);
        } else {
            glState_.Enable(GL_STENCIL_TEST, false);
        }
    }
    if (g & GroupColorMask) {
        glState_.ColorMask(unsigned(rs[D3DRS_COLORWRITEENABLE]));
    }
    if (g & GroupScissor) {
        if (rs[D3DRS_SCISSORTESTENABLE]) {
            glState_.Enable(GL_SCISSOR_TEST, true);
            LONG height = std::max(0L, long(scissor_.bottom - scissor_.top));
            glState_.Scissor(scissor_.left, glRow(scissor_.top, height),
                             GLsizei(std::max(0L, long(scissor_.right - scissor_.left))), GLsizei(height));
        } else {
            glState_.Enable(GL_SCISSOR_TEST, false);
        }
    }
    if (g & GroupFill) {
        DWORD f = rs[D3DRS_FILLMODE];
        glState_.PolygonMode(f == D3DFILL_POINT ? GL_POINT : f == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    }
    if (g & GroupBias) {
        float bias = std::bit_cast<float>(rs[D3DRS_DEPTHBIAS]),
              slope = std::bit_cast<float>(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
        if (bias != 0.0f || slope != 0.0f) {
            bool d16 = depthStencil_ && depthStencil_->Image().Format().internal == GL_DEPTH_COMPONENT16;
            glState_.Enable(GL_POLYGON_OFFSET_FILL, true);
            glState_.PolygonOffset(slope, bias * (d16 ? 65535.0f : 16777215.0f));
        } else {
            glState_.Enable(GL_POLYGON_OFFSET_FILL, false);
        }
    }
    if (g & GroupPoint)
        glState_.PointSize(std::max(1.0f, std::bit_cast<float>(rs[D3DRS_POINTSIZE])));
}

void Device::buildKey() {
    ProgramKey& k = key_;
    std::memset(&k, 0, sizeof k);
    const auto& rs = renderStates_;
    if (declaration_) {
        k.pretransformed = declaration_->Pretransformed();
        for (const D3DVERTEXELEMENT9& e : declaration_->Elements()) {
            if (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 0)
                k.normal = 1;
            else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0)
                k.color0 = 1;
            else if (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 1)
                k.color1 = 1;
            else if (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex < 8)
                k.texcoordSize[e.UsageIndex] = uint8_t(Components(e.Type));
        }
    }
    if (k.pretransformed)
        k.normal = 0;
    k.specular = rs[D3DRS_SPECULARENABLE] != 0;
    if (rs[D3DRS_LIGHTING] && !k.pretransformed) {
        k.lighting = 1;
        k.localViewer = rs[D3DRS_LOCALVIEWER] != 0;
        k.normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
        k.colorVertex = rs[D3DRS_COLORVERTEX] != 0;
        if (k.colorVertex) {
            k.diffuseSource = uint8_t(std::min<DWORD>(rs[D3DRS_DIFFUSEMATERIALSOURCE], 2));
            k.ambientSource = uint8_t(std::min<DWORD>(rs[D3DRS_AMBIENTMATERIALSOURCE], 2));
            k.specularSource = uint8_t(std::min<DWORD>(rs[D3DRS_SPECULARMATERIALSOURCE], 2));
            k.emissiveSource = uint8_t(std::min<DWORD>(rs[D3DRS_EMISSIVEMATERIALSOURCE], 2));
        }
        for (size_t i = 0; i < lights_.size() && k.lightCount < 8; ++i)
            if (lightOn_[i])
                k.lightType[k.lightCount++] = uint8_t(lights_[i].Type);
    }
    if (rs[D3DRS_FOGENABLE]) {
        // Fog by depth when the projection is orthographic (no w), by eye distance otherwise.
        k.fogFromZ = transforms_[D3DTS_PROJECTION]._34 == 0.0f;
        if (rs[D3DRS_FOGTABLEMODE] >= D3DFOG_EXP && rs[D3DRS_FOGTABLEMODE] <= D3DFOG_LINEAR) {
            k.fog = FogTable;
            k.fogMode = uint8_t(rs[D3DRS_FOGTABLEMODE]);
        } else if (rs[D3DRS_FOGVERTEXMODE] >= D3DFOG_EXP && rs[D3DRS_FOGVERTEXMODE] <= D3DFOG_LINEAR &&
                   !k.pretransformed) {
            k.fog = FogVertex;
            k.fogMode = uint8_t(rs[D3DRS_FOGVERTEXMODE]);
            k.fogRange = rs[D3DRS_RANGEFOGENABLE] != 0;
            k.fogFromZ = 0;
        } else {
            k.fog = FogSpecularAlpha;
            k.fogFromZ = 0;
        }
    }
    k.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    if (rs[D3DRS_ALPHATESTENABLE])
        k.alphaFunc = uint8_t(std::clamp<DWORD>(rs[D3DRS_ALPHAFUNC], D3DCMP_NEVER, D3DCMP_ALWAYS));
    for (int i = 0; i < 8; ++i) {
        const DWORD* t = stageStates_[i];
        if (t[D3DTSS_COLOROP] <= D3DTOP_DISABLE || t[D3DTSS_COLOROP] > D3DTOP_LERP)
            break;
        StageKey& s = k.stage[i];
        s.colorOp = uint8_t(t[D3DTSS_COLOROP]);
        s.colorArg1 = uint8_t(t[D3DTSS_COLORARG1]);
        s.colorArg2 = uint8_t(t[D3DTSS_COLORARG2]);
        s.alphaOp = uint8_t(std::min<DWORD>(t[D3DTSS_ALPHAOP], D3DTOP_LERP));
        s.alphaArg1 = uint8_t(t[D3DTSS_ALPHAARG1]);
        s.alphaArg2 = uint8_t(t[D3DTSS_ALPHAARG2]);
        if (s.colorOp == D3DTOP_MULTIPLYADD || s.colorOp == D3DTOP_LERP)
            s.colorArg0 = uint8_t(t[D3DTSS_COLORARG0]);
        if (s.alphaOp == D3DTOP_MULTIPLYADD || s.alphaOp == D3DTOP_LERP)
            s.alphaArg0 = uint8_t(t[D3DTSS_ALPHAARG0]);
        s.resultTemp = t[D3DTSS_RESULTARG] == D3DTA_TEMP;
        IDirect3DBaseTexture9* texture = textures_[i];
        s.texture = texture ? (texture->GetType() == D3DRTYPE_CUBETEXTURE ? 2 : 1) : 0;
        s.coordIndex = uint8_t(t[D3DTSS_TEXCOORDINDEX] & 7);
        s.coordGen = uint8_t(std::min<DWORD>(t[D3DTSS_TEXCOORDINDEX] >> 16, 4));
        TransformFlags(t[D3DTSS_TEXTURETRANSFORMFLAGS], s);
        k.stageCount = uint8_t(i + 1);
    }
    dirty_ &= ~DirtyKey;
}

bool Device::useShaderProgram() {
    if (dirty_ & DirtyKey) {
        buildKey();
        shaderProgram_ = nullptr;
    }
    if (!shaderProgram_) {
        ShaderProgramKey k;
        k.vertexShader = vertexShader_ ? vertexShader_->Id() : 0;
        k.pixelShader = pixelShader_ ? pixelShader_->Id() : 0;
        if (!vertexShader_) {
            // The fixed function's vertex half gives each stage the shader reads its coordinates.
            k.fixed = key_;
            const int stages = pixelShader_->Stages();
            for (int i = k.fixed.stageCount; i < stages; ++i) {
                const DWORD* t = stageStates_[i];
                StageKey& st = k.fixed.stage[i];
                st = StageKey{};
                st.colorOp = st.alphaOp = D3DTOP_SELECTARG1;
                st.colorArg1 = st.alphaArg1 = D3DTA_CURRENT;
                st.coordIndex = uint8_t(t[D3DTSS_TEXCOORDINDEX] & 7);
                st.coordGen = uint8_t(std::min<DWORD>(t[D3DTSS_TEXCOORDINDEX] >> 16, 4));
                TransformFlags(t[D3DTSS_TEXTURETRANSFORMFLAGS], st);
            }
            k.fixed.stageCount = uint8_t(std::max<int>(k.fixed.stageCount, stages));
        } else if (!pixelShader_) {
            k.fixed = key_;
        }
        k.flat = key_.flat;
        k.alphaFunc = key_.alphaFunc;
        k.fog = key_.fog;
        k.fogMode = key_.fogMode;
        k.fogFromZ = key_.fog == FogTable ? key_.fogFromZ : 0;
        for (int i = 0; i < 4; ++i)
            if (textures_[i] && textures_[i]->GetType() == D3DRTYPE_CUBETEXTURE)
                k.cubeMask |= uint8_t(1u << i);
        shaderProgram_ = &shaderPrograms_.Get(k, vertexShader_ ? &vertexShader_->Tokens() : nullptr,
                                              pixelShader_ ? &pixelShader_->Tokens() : nullptr);
    }
    if (!shaderProgram_->program)
        return false;
    if (program_ != shaderProgram_->program) {
        glUseProgram(shaderProgram_->program);
        program_ = shaderProgram_->program;
        shaderConstantsDirty_ = true;
    }
    updateUniforms();
    if (shaderConstantsDirty_) {
        if (shaderProgram_->vertexConstants >= 0)
            glUniform4fv(shaderProgram_->vertexConstants, VertexShaderConstants, vsConstants_.data());
        if (shaderProgram_->pixelConstants >= 0)
            glUniform4fv(shaderProgram_->pixelConstants, PixelShaderConstants, psConstants_.data());
        shaderConstantsDirty_ = false;
    }
    return true;
}

void Device::updateUniforms() {
    Uniforms& u = uniforms_;
    if (dirty_ & DirtyViewport) {
        float w = float(viewport_.Width), h = float(viewport_.Height);
        // Direct3D puts pixel centres on integers and GL on halves. With the rows stored top first, Mesa's
        // rule for centres on an edge (bottom-left in GL's terms) is Direct3D's top-left rule.
        const float shift = 0.5f;
        u.screen[0] = 2.0f / w;
        u.screen[1] = 2.0f / h;
        u.screen[2] = float(viewport_.X) - shift;
        u.screen[3] = float(viewport_.Y) - shift;
        u.pixelOffset[0] = 2.0f * shift / w;
        u.pixelOffset[1] = 2.0f * shift / h;
        float range = viewport_.MaxZ - viewport_.MinZ;
        u.pixelOffset[2] = range != 0.0f ? 2.0f / range : 0.0f;
        u.pixelOffset[3] = range != 0.0f ? -2.0f * viewport_.MinZ / range - 1.0f : 0.0f;
        touchUniforms(u.screen, 32);
        glState_.Viewport(GLint(viewport_.X), glRow(LONG(viewport_.Y), LONG(viewport_.Height)),
                          GLsizei(viewport_.Width), GLsizei(viewport_.Height));
        glState_.DepthRange(viewport_.MinZ, viewport_.MaxZ);
        dirty_ &= ~DirtyViewport;
    }
    if (dirty_ & DirtyTransforms) {
        const D3DMATRIX& world = transforms_[D3DTS_WORLD];
        D3DMATRIX worldView = Multiply(world, transforms_[D3DTS_VIEW]);
        StoreMatrix(u.worldViewProj, Multiply(worldView, transforms_[D3DTS_PROJECTION]));
        StoreMatrix(u.worldView, worldView);
        StoreMatrix(u.normalMatrix, NormalMatrix(worldView));
        touchUniforms(u.worldViewProj, sizeof(float) * 16 * 3);
        dirty_ &= ~DirtyTransforms;
    }
    if (dirty_ & DirtyTextureTransforms) {
        for (int i = 0; i < 8; ++i)
            StoreMatrix(u.textureMatrix[i], transforms_[D3DTS_TEXTURE0 + i]);
        touchUniforms(u.textureMatrix, sizeof u.textureMatrix);
        dirty_ &= ~DirtyTextureTransforms;
    }
    if (dirty_ & DirtyLights) {
        const D3DMATRIX& view = transforms_[D3DTS_VIEW];
        int n = 0;
        for (size_t i = 0; i < lights_.size() && n < 8; ++i) {
            if (!lightOn_[i])
                continue;
            const D3DLIGHT9& l = lights_[i];
            ColorValue(l.Diffuse, u.lightDiffuse[n]);
            ColorValue(l.Specular, u.lightSpecular[n]);
            ColorValue(l.Ambient, u.lightAmbient[n]);
            const D3DVECTOR& p = l.Position;
            const D3DVECTOR& d = l.Direction;
            for (int c = 0; c < 3; ++c) {
                u.lightPosition[n][c] =
                    p.x * view.m[0][c] + p.y * view.m[1][c] + p.z * view.m[2][c] + view.m[3][c];
                u.lightDirection[n][c] = d.x * view.m[0][c] + d.y * view.m[1][c] + d.z * view.m[2][c];
            }
            float length = std::sqrt(u.lightDirection[n][0] * u.lightDirection[n][0] +
                                     u.lightDirection[n][1] * u.lightDirection[n][1] +
                                     u.lightDirection[n][2] * u.lightDirection[n][2]);
            for (int c = 0; c < 3 && length > 0.0f; ++c)
                u.lightDirection[n][c] /= length;
            u.lightPosition[n][3] = l.Range;
            u.lightDirection[n][3] = l.Falloff;
            u.lightAttenuation[n][0] = l.Attenuation0;
            u.lightAttenuation[n][1] = l.Attenuation1;
            u.lightAttenuation[n][2] = l.Attenuation2;
            u.lightSpot[n][0] = std::cos(l.Theta * 0.5f);
            u.lightSpot[n][1] = std::cos(l.Phi * 0.5f);
            ++n;
        }
        touchUniforms(u.lightDiffuse, sizeof(float) * 4 * 8 * 7);
        dirty_ &= ~DirtyLights;
    }
    // Each changed block, at a place in the ring that no queued draw reads.
    const GLuint ring = uniformRing_->Name();
    for (unsigned b = 0; uniformBlocksDirty_ >> b; ++b) {
        if (!(uniformBlocksDirty_ & (1u << b)))
            continue;
        const UniformRange& r = uniformRanges[b];
        const char* base = reinterpret_cast<const char*>(&u);
        size_t offset = uniformRing_->Write(base + r.begin, r.end - r.begin, uniformAlignment_);
        glBindBufferRange(GL_UNIFORM_BUFFER, b, uniformRing_->Name(), GLintptr(offset),
                          GLsizeiptr(r.end - r.begin));
    }
    // A ring that grew is another buffer: the blocks left where they were point into the old one.
    uniformBlocksDirty_ = uniformRing_->Name() != ring ? (1u << BlockCount) - 1 : 0;
    if (uniformBlocksDirty_)
        updateUniforms();
}

void Device::bindTextures() {
    for (int i = 0; i < 8; ++i) {
        TextureBinding* binding = BindingOf(textures_[i]);
        if (!binding || !binding->image || binding->image->CpuOnly())
            continue;
        GLuint name = binding->image->Name();
        GLenum target = binding->image->Target();
        if (boundTextures_[i] == name && boundTargets_[i] == target)
            continue;
        glActiveTexture(GL_TEXTURE0 + GLenum(i));
        glBindTexture(target, name);
        boundTextures_[i] = name;
        boundTargets_[i] = target;
    }
    dirty_ &= ~DirtyTextures;
}

void Device::bindVertexArrays(GLuint upBuffer, size_t upOffset, UINT upStride) {
    unsigned enabled = 0;
    GLuint bound = 0;
    for (const D3DVERTEXELEMENT9& e : declaration_->Elements()) {
        int location = AttributeLocation(e);
        if (location < 0 || e.Stream >= 8)
            continue;
        GLuint buffer;
        size_t offset;
        GLsizei stride;
        if (upBuffer) {
            if (e.Stream != 0)
                continue;
            buffer = upBuffer;
            offset = upOffset + e.Offset;
            stride = GLsizei(upStride);
        } else {
            const Stream& s = streams_[e.Stream];
            if (!s.buffer)
                continue;
            buffer = s.buffer->Store().Name();
            offset = size_t(s.offset) + e.Offset;
            stride = GLsizei(s.stride);
        }
        if (buffer != bound) {
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
            bound = buffer;
        }
        AttributePointer(GLuint(location), e.Type, stride, offset);
        enabled |= 1u << location;
    }
    unsigned change = enabled ^ enabledArrays_;
    for (GLuint i = 0; change; ++i, change >>= 1)
        if (change & 1) {
            if (enabled & (1u << i))
                glEnableVertexAttribArray(i);
            else
                glDisableVertexAttribArray(i);
        }
    enabledArrays_ = enabled;
    vertexArraysFromUp_ = upBuffer != 0;
    dirty_ &= ~DirtyVertices;
}

bool Device::prepareDraw(HRESULT& skipped) {
    skipped = D3D_OK;
    if (lost_ || !declaration_ || !renderTarget_)
        return false;
    if (dirty_ & DirtyTargets)
        bindTargets();
    if (stateGroups_)
        applyRenderStates();
    if (vertexShader_ || pixelShader_) {
        // A program that GL refuses cannot draw, and says so.
        if (!useShaderProgram()) {
            Log("draw refused: the shaders do not link");
            skipped = D3DERR_INVALIDCALL;
            return false;
        }
    } else if (dirty_ & DirtyKey) {
        buildKey();
        GLuint program = programs_.Get(key_);
        if (program != program_) {
            glUseProgram(program);
            program_ = program;
        }
    } else if (!program_) {
        return false;
    }
    if (!program_)
        return false;
    updateUniforms();
    if (samplersDirty_)
        applySamplers();
    if (dirty_ & DirtyTextures)
        bindTextures();
    for (IDirect3DBaseTexture9* texture : textures_) {
        TextureBinding* binding = BindingOf(texture);
        if (binding && binding->image->MipsStale())
            binding->image->GenerateMips();
    }
    return true;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    Log("DrawPrimitive(", type, ", ", startVertex, ", ", primitiveCount, ")");
    GLsizei count = VertexCount(type, primitiveCount);
    if (count == 0)
        return D3DERR_INVALIDCALL;
    if (HRESULT skipped; !prepareDraw(skipped))
        return skipped;
    if ((dirty_ & DirtyVertices) || vertexArraysFromUp_)
        bindVertexArrays(0, 0, 0);
    glDrawArrays(PrimitiveMode(type), GLint(startVertex), count);
    drawLastPixels(type, count, GLint(startVertex), 0, 0, 0);
    markTargetsDrawn();
    handOver(primitiveCount);
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount) {
    Log("DrawIndexedPrimitive(", type, ", ", baseVertex, ", ", minIndex, ", ", numVertices, ", ", startIndex,
        ", ", primitiveCount, ")");
    GLsizei count = VertexCount(type, primitiveCount);
    if (count == 0 || !indices_)
        return D3DERR_INVALIDCALL;
    // The range lets the rasteriser shade the vertices once, in order, instead of gathering them index by
    // index. It is the indices' own: a declared range that misses some would have it read vertices it
    // never shaded.
    UINT low = 0, high = 0;
    if (!indices_->Range(startIndex, UINT(count), low, high)) {
        Log("draw refused: the indices run past the end of the buffer");
        return D3DERR_INVALIDCALL;
    }
    if (low < minIndex || high - minIndex >= numVertices)
        ++rangeFaults_;
    if (HRESULT skipped; !prepareDraw(skipped))
        return skipped;
    if ((dirty_ & DirtyVertices) || vertexArraysFromUp_)
        bindVertexArrays(0, 0, 0);
    GLuint elements = indices_->Store().Name();
    if (elements != boundElementBuffer_) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elements);
        boundElementBuffer_ = elements;
    }
    const GLenum indexType = indices_->Format() == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const size_t indexSize = indexType == GL_UNSIGNED_INT ? 4 : 2;
    const size_t offset = size_t(startIndex) * indexSize;
    glDrawRangeElementsBaseVertex(PrimitiveMode(type), low, high, count, indexType,
                                  reinterpret_cast<const void*>(offset), baseVertex);
    drawLastPixels(type, count, baseVertex, indexType, offset, indexSize);
    markTargetsDrawn();
    handOver(primitiveCount);
    return D3D_OK;
}

// GL leaves out the last pixel of every line; Direct3D 9 draws it while D3DRS_LASTPIXEL is TRUE (its
// default). The missing pixels are drawn as one-pixel points at the lines' end vertices: every second
// vertex of a list, the last of a strip. Without index type the vertices are drawn in order from first.
void Device::drawLastPixels(D3DPRIMITIVETYPE type, GLsizei count, GLint first, GLenum indexType,
                            size_t indexOffset, size_t indexSize) {
    if (!renderStates_[D3DRS_LASTPIXEL] || (type != D3DPT_LINELIST && type != D3DPT_LINESTRIP))
        return;
    const float pointSize = std::max(1.0f, std::bit_cast<float>(renderStates_[D3DRS_POINTSIZE]));
    glState_.PointSize(1.0f);
    if (type == D3DPT_LINESTRIP) {
        if (indexType)
            glDrawElementsBaseVertex(
                GL_POINTS, 1, indexType,
                reinterpret_cast<const void*>(indexOffset + size_t(count - 1) * indexSize), first);
        else
            glDrawArrays(GL_POINTS, first + count - 1, 1);
    } else {
        const size_t lines = size_t(count / 2);
        lastPixelCounts_.assign(lines, 1);
        if (indexType) {
            lastPixelOffsets_.resize(lines);
            lastPixelBases_.assign(lines, first);
            for (size_t i = 0; i < lines; ++i)
                lastPixelOffsets_[i] = reinterpret_cast<const void*>(indexOffset + (2 * i + 1) * indexSize);
            glMultiDrawElementsBaseVertex(GL_POINTS, lastPixelCounts_.data(), indexType,
                                          lastPixelOffsets_.data(), GLsizei(lines), lastPixelBases_.data());
        } else {
            lastPixelFirsts_.resize(lines);
            for (size_t i = 0; i < lines; ++i)
                lastPixelFirsts_[i] = first + GLint(2 * i + 1);
            glMultiDrawArrays(GL_POINTS, lastPixelFirsts_.data(), lastPixelCounts_.data(), GLsizei(lines));
        }
    }
    glState_.PointSize(pointSize);
}

HRESULT Device::drawUp(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                       UINT minIndex, UINT numVertices, const void* data, UINT stride) {
    GLsizei count = VertexCount(type, primitiveCount);
    if (count == 0 || !data || stride == 0)
        return D3DERR_INVALIDCALL;
    // Direct3D forgets stream 0 and the index buffer after a draw from user memory.
    if (streams_[0].buffer) {
        streams_[0] = {};
        dirty_ |= DirtyVertices;
    }
    holdIndices(nullptr);
    // Only the declared vertices are copied: indices beyond them would reach whatever the ring held.
    UINT low = 0, high = 0;
    if (indices) {
        if (indexFormat == D3DFMT_INDEX32)
            IndexBounds(static_cast<const uint32_t*>(indices), size_t(count), low, high);
        else
            IndexBounds(static_cast<const uint16_t*>(indices), size_t(count), low, high);
        if (low < minIndex || high - minIndex >= numVertices) {
            ++rangeFaults_;
            Log("draw refused: indices outside the declared vertices");
            return D3DERR_INVALIDCALL;
        }
    }
    if (HRESULT skipped; !prepareDraw(skipped))
        return skipped;
    // The vertices go to the ring at a multiple of their stride, so the draw starts at a vertex number and
    // the attribute pointers stay put from one draw to the next.
    size_t vertices = indices ? size_t(minIndex) + numVertices : size_t(count);
    size_t offset = upVertices_->Write(data, vertices * stride, stride);
    if ((dirty_ & DirtyVertices) || !vertexArraysFromUp_ || upStride_ != stride ||
        upBuffer_ != upVertices_->Name()) {
        bindVertexArrays(upVertices_->Name(), 0, stride);
        upStride_ = stride;
        upBuffer_ = upVertices_->Name();
    }
    GLint first = GLint(offset / stride);
    if (indices) {
        bool wide = indexFormat == D3DFMT_INDEX32;
        size_t indexOffset = upIndices_->Write(indices, size_t(count) * (wide ? 4 : 2), 4);
        if (boundElementBuffer_ != upIndices_->Name()) {
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndices_->Name());
            boundElementBuffer_ = upIndices_->Name();
        }
        glDrawRangeElementsBaseVertex(PrimitiveMode(type), low, high, count,
                                      wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                                      reinterpret_cast<const void*>(indexOffset), first);
        drawLastPixels(type, count, first, wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, indexOffset,
                       wide ? 4 : 2);
    } else {
        glDrawArrays(PrimitiveMode(type), first, count);
        drawLastPixels(type, count, first, 0, 0, 0);
    }
    markTargetsDrawn();
    handOver(primitiveCount);
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* data, UINT stride) {
    Log("DrawPrimitiveUP(", type, ", ", primitiveCount, ", ", stride, ")");
    return drawUp(type, primitiveCount, nullptr, D3DFMT_UNKNOWN, 0, 0, data, stride);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                       UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                       const void* data, UINT stride) {
    Log("DrawIndexedPrimitiveUP(", type, ", ", minIndex, ", ", numVertices, ", ", primitiveCount, ", ",
        stride, ")");
    if (!indices || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    return drawUp(type, primitiveCount, indices, indexFormat, minIndex, numVertices, data, stride);
}

} // namespace D3D9
