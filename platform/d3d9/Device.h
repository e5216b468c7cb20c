// The Direct3D 9 device over one GL 3.3 core context on the SDL window of its HWND.
//
// Every target (the back buffer too) is a GL texture drawn through a frame buffer object, stored with the top
// row first as Direct3D lays out memory; Present copies the back buffer to the window upside down. So
// viewport, scissor and lock coordinates need no flipping, and textures drawn into read back as they would.
// A frame that starts by clearing the whole back buffer, when the window's frame buffer has its size and
// formats, is drawn straight into the window instead (rows flipped by clip control) and Present only swaps;
// anything that reads or copies the back buffer brings it back into its texture first. On a rasteriser that
// runs on the CPU under X11, a presenter's frame buffer stands for the window's: such a frame is drawn into
// one of its textures and handed to the presenter's thread, which shows it while the next is drawn.
#pragma once

#include "platform/d3d9/Buffer.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/GlState.h"
#include "platform/d3d9/Shader.h"
#include "platform/d3d9/ShaderProgram.h"
#include "platform/d3d9/Surface.h"
#include "platform/d3d9/Texture.h"
#include "platform/d3d9/VertexDeclaration.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace D3D9 {

class StreamRing;
class Presenter;

// A number the call log shows in hexadecimal.
struct LogHex {
    DWORD value;
};

namespace detail {
inline void AppendLog(std::string& entry, const char* text) {
    entry += text;
}
inline void AppendLog(std::string& entry, std::string_view text) {
    entry += text;
}
inline void AppendLog(std::string& entry, LogHex number) {
    char text[16];
    auto end = std::to_chars(text, text + sizeof text, unsigned(number.value), 16).ptr;
    for (char* c = text; c != end; ++c)
        *c = char(std::toupper(static_cast<unsigned char>(*c)));
    entry.append(text, end);
}
template <class T> void AppendLog(std::string& entry, T number) {
    char text[24];
    if constexpr (std::is_enum_v<T>)
        entry.append(
            text,
            std::to_chars(text, text + sizeof text, static_cast<std::underlying_type_t<T>>(number)).ptr);
    else
        entry.append(text, std::to_chars(text, text + sizeof text, number).ptr);
}
} // namespace detail

class Device final : public IDirect3DDevice9 {
public:
    static HRESULT Create(IDirect3D9* direct3d, HWND window, DWORD flags, D3DPRESENT_PARAMETERS* parameters,
                          IDirect3DDevice9** out);
    ~Device();

    // Call log for tests. An entry is put together from its parts only while logging is on: draws and state
    // changes log on every call.
    bool Logging() const { return logging_; }
    template <class... Parts> void Log(const Parts&... parts) {
        if (!logging_)
            return;
        std::string entry;
        (detail::AppendLog(entry, parts), ...);
        log_.push_back(std::move(entry));
    }
    void SetLogging(bool on) { logging_ = on; }
    // Tests: whether the back buffer is being drawn in the window's own frame buffer.
    bool BackBufferInWindow() const { return inWindow_; }
    bool PresentsFromItsOwnThread() const { return presenter_ != nullptr; }
    void WaitForPresentedFrames();
    std::vector<std::string> TakeLog() { return std::move(log_); }
    // Tests: the device behaves as lost until a Reset (which, lost or not, needs every default-pool resource
    // released).
    void Lose() { lost_ = true; }
    size_t ProgramCount() const { return programs_.Size(); }
    size_t RangeFaults() const { return rangeFaults_; }
    // An object is going away: nothing may stay bound to it.
    void Forget(const void* object);
    // A surface's pixels are about to be read or written other than by drawing: the back buffer and the
    // automatic depth surface come back from the window into their textures.
    void Touch(const Surface* surface) {
        if (inWindow_ && surface && (surface == backBuffer_ || surface == autoDepth_))
            leaveWindow();
    }

    void ResourceMade(D3DPOOL pool) {
        if (pool == D3DPOOL_DEFAULT)
            ++defaultResources_;
    }
    void ResourceGone(D3DPOOL pool) {
        if (pool == D3DPOOL_DEFAULT)
            --defaultResources_;
    }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT EvictManagedResources() override;
    HRESULT GetDirect3D(IDirect3D9** direct3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* parameters,
                                      IDirect3DSwapChain9** swapChain) override;
    HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
    UINT GetNumberOfSwapChains() override { return 1; }
    HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const RGNDATA* dirty) override;
    // Shows a back buffer in a window: the device's own, or an additional swap chain's.
    HRESULT PresentInto(SDL_Window* window, Surface& backBuffer);
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* status) override;
    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
    void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples,
                               DWORD quality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* shared) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples,
                                      DWORD quality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* shared) override;
    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                          const POINT* destPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* destination) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destination) override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destination) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* destination,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT ValidateDevice(DWORD* passes) override;
    HRESULT SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) override;
    HRESULT GetPaletteEntries(UINT palette, PALETTEENTRY* entries) override;
    HRESULT SetCurrentTexturePalette(UINT palette) override;
    HRESULT GetCurrentTexturePalette(UINT* palette) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* data,
                            UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                   const void* data, UINT stride) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShaderConstantF(UINT first, const float* data, UINT count) override;
    HRESULT GetVertexShaderConstantF(UINT first, float* data, UINT count) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                            UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** buffer) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShaderConstantF(UINT first, const float* data, UINT count) override;
    HRESULT GetPixelShaderConstantF(UINT first, float* data, UINT count) override;

private:
    Device(IDirect3D9* direct3d, HWND window, SDL_Window* sdl, SDL_GLContext context, DWORD flags);
    bool makeSwapBuffers(D3DPRESENT_PARAMETERS& parameters);
    void resetState();
    void holdIndices(IndexBuffer* buffer);
    void refreshUniforms();
    void applySamplers();
    void applySwapInterval();
    void coverDesktop(bool cover);
    void coverDesktopOnce(bool cover);
    bool prepareGamma();
    // The back buffer drawn in the window (see the top of this file).
    void checkWindowFormats();
    bool windowFits();
    void leaveWindow();
    void handOverFrame();
    void payPresentedFrame();
    void makePresentTargets(const FormatInfo& colour, const FormatInfo* depth, UINT width, UINT height);
    void flipRows(bool on);
    // GL's bottom-up row of a rectangle given by its top row, in the bound frame buffer.
    GLint glRow(LONG top, LONG height) const {
        return flipHeight_ ? GLint(flipHeight_ - top - height) : GLint(top);
    }

    // What a draw brings up to date before it goes to GL. False when nothing is to be drawn; skipped then
    // says what the draw answers (D3D_OK for a lost device, an error for a draw that cannot be done).
    bool prepareDraw(HRESULT& skipped);
    bool useShaderProgram();
    template <class Shader, class Interface> HRESULT createShader(const DWORD* function, Interface** shader);
    HRESULT checkShader(const DWORD* function, bool vertex);
    void bindTargets();
    void applyRenderStates();
    void buildKey();
    void updateUniforms();
    void bindTextures();
    void bindVertexArrays(GLuint upBuffer, size_t upOffset, UINT upStride);
    HRESULT drawUp(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                   UINT minIndex, UINT numVertices, const void* data, UINT stride);
    void drawLastPixels(D3DPRIMITIVETYPE type, GLsizei count, GLint first, GLenum indexType,
                        size_t indexOffset, size_t indexSize);
    void markTargetsDrawn();
    // Flushes the draws made so far once enough primitives have gathered (software rasteriser only).
    void handOver(UINT primitives);

    ULONG refs_ = 1;
    IDirect3D9* direct3d_;
    HWND window_;
    SDL_Window* sdl_;
    SDL_GLContext context_;
    DWORD flags_;
    D3DPRESENT_PARAMETERS parameters_{};
    // The window's place and frame before full screen covered the desktop with it.
    bool covering_ = false;
    SDL_Rect windowedRect_{};
    bool windowedBordered_ = true;
    D3DCAPS9 caps_{};
    bool logging_ = false;
    std::vector<std::string> log_;
    bool lost_ = false;
    UINT handOverEvery_ = 0; // primitives between flushes; 0 = leave flushing to Present
    UINT unflushed_ = 0;
    bool inScene_ = false;
    bool vblank_ = false;
    long defaultResources_ = 0;

    Surface* backBuffer_ = nullptr;
    Surface* autoDepth_ = nullptr;
    // Shows frames from its own thread (software rasteriser, X11). Its frame buffer then stands for the
    // window's: a frame drawn "in the window" is drawn into it.
    std::unique_ptr<Presenter> presenter_;
    // Drawn in turn: one being drawn and up to two queued for the presenter.
    std::unique_ptr<TextureImage> presentColour_[3], presentDepth_;
    GLuint presentFramebuffer_ = 0; // 0 (the window's own) without a presenter
    unsigned presentNext_ = 0;
    bool owed_ = false;          // the texture drawn next lacks the frame handed over (see payPresentedFrame)
    bool inWindow_ = false;      // their pixels are in the window's frame buffer, not in their textures
    bool windowFormats_ = false; // the window's frame buffer holds what those two do, and rows can be flipped
    LONG flipHeight_ = 0;        // the window is bound, drawn with rows flipped: its height
    Surface* renderTarget_ = nullptr;
    Surface* depthStencil_ = nullptr;

    // Direct3D state
    std::array<DWORD, 256> renderStates_{};
    DWORD stageStates_[8][D3D9_TEXTURESTAGESTATE_COUNT]{};
    DWORD samplerStates_[8][D3D9_SAMPLERSTATE_COUNT]{};
    std::vector<D3DMATRIX> transforms_;
    std::vector<D3DLIGHT9> lights_;
    std::vector<bool> lightOn_;
    std::vector<bool> lightSet_;
    D3DMATERIAL9 material_{};
    D3DVIEWPORT9 viewport_{};
    RECT scissor_{};
    IDirect3DBaseTexture9* textures_[8]{};
    struct Stream {
        VertexBuffer* buffer = nullptr;
        UINT offset = 0, stride = 0;
    };
    Stream streams_[8];
    IndexBuffer* indices_ = nullptr;
    VertexDeclaration* declaration_ = nullptr;
    DWORD fvf_ = 0;
    std::map<DWORD, std::unique_ptr<VertexDeclaration>> fvfDeclarations_;
    VertexShader* vertexShader_ = nullptr;
    PixelShader* pixelShader_ = nullptr;
    std::vector<float> vsConstants_, psConstants_;
    D3DGAMMARAMP gamma_{};
    bool gammaIdentity_ = true;
    UINT palette_ = 0;

    // What changed since the last draw.
    enum : unsigned {
        DirtyTargets = 1,
        DirtyRenderStates = 2,
        DirtyKey = 4,
        DirtyTransforms = 8,
        DirtyLights = 16,
        DirtyTextures = 32,
        DirtyVertices = 64,
        DirtyViewport = 128,
        DirtyTextureTransforms = 256,
        DirtyAll = 0xFFFF,
    };
    unsigned dirty_ = DirtyAll;
    unsigned stateGroups_ = ~0u; // render-state groups (see Device.cpp) to send to GL
    unsigned enabledArrays_ = 0;
    unsigned uniformBlocksDirty_ = (1u << BlockCount) - 1; // bits 1 << UniformBlock to send
    void touchUniforms(const void* field, size_t bytes);

    // GL side
    GlState glState_;
    unsigned samplersDirty_ = 0xFF; // units whose sampler states changed since the last draw
    ProgramCache programs_;
    ShaderProgramCache shaderPrograms_;
    const ShaderProgram* shaderProgram_ = nullptr; // for the bound shaders and key_, null when to be found
    bool shaderConstantsDirty_ = true;
    ProgramKey key_{};
    GLuint program_ = 0;
    Uniforms uniforms_{};
    std::unique_ptr<StreamRing> uniformRing_;
    size_t uniformAlignment_ = 256;
    GLuint vertexArray_ = 0;
    GLuint drawFramebuffer_ = 0, readFramebuffer_ = 0, copyFramebuffer_ = 0;
    GLuint samplers_[8]{};
    GLuint boundTextures_[8]{};
    GLenum boundTargets_[8]{};
    std::unique_ptr<StreamRing> upVertices_, upIndices_;
    GLuint upBuffer_ =
        0; // what the attribute pointers of draws from user memory point into, with which stride
    UINT upStride_ = 0;
    GLuint boundElementBuffer_ = 0;
    bool vertexArraysFromUp_ = false;
    // Kept between draws: the end vertices of a line list, drawn as points.
    std::vector<GLint> lastPixelFirsts_, lastPixelBases_;
    std::vector<GLsizei> lastPixelCounts_;
    size_t rangeFaults_ = 0; // indexed draws whose indices fall outside their declared vertices
    std::vector<const void*> lastPixelOffsets_;
    GLuint gammaProgram_ = 0, gammaTexture_ = 0, gammaArray_ = 0, gammaSampler_ = 0;
    bool gammaChanged_ = true;                          // the ramp texture is behind gamma_
    std::array<unsigned short, 256 * 3> gammaTexels_{}; // its upload, kept to allocate nothing per frame
    float anisotropyMax_ = 1.0f;
};

} // namespace D3D9
