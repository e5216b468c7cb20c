#include "gui/TextureRenderer.h"

#include "base/FrameClock.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"

#include <d3dx9.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const GUID CLSID_TextureRenderer = {
    0x71b3c8e0, 0x94a2, 0x4d17, {0x8b, 0x5e, 0x2f, 0x60, 0x1a, 0x93, 0xc4, 0x27}};

constexpr uint32_t MaxTextureSide = 2048;

// The smallest power of two not below the side, the side first cut to the largest texture.
uint32_t TextureSide(uint32_t side) {
    side = std::min(side, MaxTextureSide);
    uint32_t size = 1;
    while (size < side)
        size <<= 1;
    return size;
}

template <class T> void ReleaseInterface(T*& p) {
    if (p)
        p->Release();
    p = nullptr;
}

} // namespace

std::list<TextureRenderer::Stream*> TextureRenderer::StreamList;
bool TextureRenderer::TimerRunning = false;

TextureRenderer::TextureRenderer(IDirect3DDevice9* device)
    : CBaseVideoRenderer(CLSID_TextureRenderer, "Texture Renderer", nullptr, nullptr), device(device) {}

TextureRenderer::~TextureRenderer() {
    ReleaseTexture();
}

void TextureRenderer::ReleaseTexture() {
    if (engineTexture)
        RwTextureDestroy(engineTexture); // its raster holds its own texture reference
    engineTexture = nullptr;
    ReleaseInterface(texture);
}

HRESULT TextureRenderer::CheckMediaType(const CMediaType* type) {
    if (!type || type->formattype != FORMAT_VideoInfo)
        return E_INVALIDARG;
    if (type->majortype != MEDIATYPE_Video)
        return E_FAIL;
    if (type->subtype != MEDIASUBTYPE_RGB565)
        return E_FAIL;
    return S_OK;
}

HRESULT TextureRenderer::SetMediaType(const CMediaType* type) {
    if (!type || !type->pbFormat || type->cbFormat < sizeof(VIDEOINFOHEADER))
        return E_INVALIDARG;
    VIDEOINFOHEADER info;
    std::memcpy(&info, type->pbFormat, sizeof info);
    // Top-down bitmaps have a negative height.
    const int64_t w = info.bmiHeader.biWidth, h = std::llabs(int64_t(info.bmiHeader.biHeight));
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535)
        return E_INVALIDARG;
    if (!device)
        return E_FAIL;
    ReleaseTexture();
    videoWidth = uint32_t(w);
    videoHeight = uint32_t(h);
    if (FAILED(D3DXCreateTexture(device, TextureSide(videoWidth), TextureSide(videoHeight), 1, 0,
                                 D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture)))
        return E_FAIL;
    D3DSURFACE_DESC desc{};
    const HRESULT described = texture->GetLevelDesc(0, &desc);
    if (FAILED(described))
        return described;
    if (desc.Format != D3DFMT_R5G6B5)
        return E_FAIL;
    textureWidth = desc.Width;
    textureHeight = desc.Height;
    copyWidth = std::min(videoWidth, textureWidth);
    copyHeight = std::min(videoHeight, textureHeight);

    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, nullptr, 0)))
        return E_FAIL;
    for (uint32_t y = 0; y < copyHeight; ++y)
        std::memset(static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch), 0,
                    size_t(locked.Pitch));
    if (FAILED(texture->UnlockRect(0)))
        return E_FAIL;

    RwRaster* raster =
        RwRasterCreate(RwInt32(textureWidth), RwInt32(textureHeight), 16,
                       rwRASTERTYPETEXTURE | rwRASTERDONTALLOCATE | rwRASTERFORMAT565 | rwRASTERFORMATMIPMAP);
    if (!raster)
        return E_FAIL;
    RwD3D9RasterExt* ext = RwD3D9RasterExtension(raster);
    texture->AddRef();
    ext->texture = texture;
    ext->d3dFormat = D3DFMT_R5G6B5;
    raster->cFlags &= RwUInt8(~rwRASTERDONTALLOCATE);
    engineTexture = RwTextureCreate(raster);
    if (!engineTexture) {
        RwRasterDestroy(raster);
        return E_FAIL;
    }
    RwTextureSetFilterMode(engineTexture, rwFILTERLINEARMIPLINEAR);
    RwTextureSetAddressingU(engineTexture, rwTEXTUREADDRESSCLAMP);
    RwTextureSetAddressingV(engineTexture, rwTEXTUREADDRESSCLAMP);
    std::lock_guard<std::mutex> hold(frameLock);
    pending.assign(size_t(copyWidth) * 2 * copyHeight, 0);
    framePending = false;
    return S_OK;
}

HRESULT TextureRenderer::DoRenderSample(IMediaSample* sample) {
    BYTE* bytes = nullptr;
    if (!sample || FAILED(sample->GetPointer(&bytes)) || !bytes)
        return E_FAIL;
    // The sample's rows are videoWidth x 2 bytes apart; a short sample is refused, not over-read.
    const size_t sourceStride = size_t(videoWidth) * 2;
    if (size_t(std::max<LONG>(sample->GetActualDataLength(), 0)) < sourceStride * videoHeight)
        return E_FAIL;
    REFERENCE_TIME start = 0, end = 0;
    sample->GetTime(&start, &end);
    std::lock_guard<std::mutex> hold(frameLock);
    const size_t rowBytes = size_t(copyWidth) * 2;
    for (uint32_t y = 0; y < copyHeight; ++y)
        std::memcpy(pending.data() + y * rowBytes, bytes + y * sourceStride, rowBytes);
    framePending = true;
    ++framesDelivered;
    if (frameRate > 0)
        lastFrame = int64_t(double(start) / 1e7 * frameRate + 0.5);
    return S_OK;
}

void TextureRenderer::Upload() {
    std::lock_guard<std::mutex> hold(frameLock);
    if (!framePending || !texture)
        return;
    // Only the picture's part of the texture goes to the device.
    const RECT area = {0, 0, LONG(copyWidth), LONG(copyHeight)};
    D3DLOCKED_RECT locked{};
    if (FAILED(texture->LockRect(0, &locked, &area, 0)))
        return;
    const size_t rowBytes = size_t(copyWidth) * 2;
    for (uint32_t y = 0; y < copyHeight; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + size_t(y) * size_t(locked.Pitch),
                    pending.data() + y * rowBytes, rowBytes);
    texture->UnlockRect(0);
    framePending = false;
    ++framesUploaded;
}

void TextureRenderer::Open(Stream* stream, IDirect3DDevice9* device, const char* fileName,
                           bool playOtherStreams) {
    if (!stream)
        return;
    if (StreamList.empty())
        TimerRunning = true;
    StreamList.push_back(stream);
    stream->lastUpdate = Base::FrameClock::FrameCounter;
    stream->interfaces = new Interfaces;
    Interfaces& in = *stream->interfaces;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&in.graph))))
        return;
    auto* renderer = new TextureRenderer(device);
    stream->renderer = renderer;
    in.graph->AddFilter(renderer, u"TEXTURERENDERER");
    renderer->Release(); // the graph's reference keeps it
    auto fail = [renderer] { renderer->state = Stopped; };

    // A name that does not fit MAX_PATH wide characters is refused, not cut to another file's name.
    WCHAR wide[MAX_PATH];
    if (!fileName || MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide, MAX_PATH) <= 0)
        return fail();
    IBaseFilter* source = nullptr;
    if (FAILED(in.graph->AddSourceFilter(wide, u"SOURCE", &source)))
        return fail();
    IPin* input = nullptr;
    IPin* output = nullptr;
    HRESULT connected = renderer->FindPin(u"In", &input);
    if (SUCCEEDED(connected))
        connected = source->FindPin(u"Output", &output);
    if (SUCCEEDED(connected))
        connected = in.graph->Connect(output, input);
    ReleaseInterface(input);
    ReleaseInterface(output);

    if (SUCCEEDED(connected) && playOtherStreams) {
        IPin* last = nullptr;
        IEnumFilters* filters = nullptr;
        if (SUCCEEDED(in.graph->EnumFilters(&filters))) {
            IBaseFilter* filter = nullptr;
            while (filters->Next(1, &filter, nullptr) == S_OK) {
                IEnumPins* pins = nullptr;
                if (SUCCEEDED(filter->EnumPins(&pins))) {
                    IPin* pin = nullptr;
                    while (pins->Next(1, &pin, nullptr) == S_OK) {
                        PIN_DIRECTION direction{};
                        IPin* other = nullptr;
                        pin->QueryDirection(&direction);
                        if (direction == PINDIR_OUTPUT && pin->ConnectedTo(&other) == VFW_E_NOT_CONNECTED) {
                            ReleaseInterface(last);
                            last = pin;
                            last->AddRef();
                        }
                        ReleaseInterface(other);
                        pin->Release();
                    }
                    pins->Release();
                }
                filter->Release();
            }
            filters->Release();
        }
        if (last)
            in.graph->Render(last); // a film whose sound cannot be played still shows
        ReleaseInterface(last);
    }
    ReleaseInterface(source);
    if (FAILED(connected))
        return fail();

    in.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&in.control));
    in.graph->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&in.position));
    in.graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&in.event));
    IMediaSeeking* seeking = nullptr;
    in.graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
    LONGLONG duration = 0, frames = 0;
    const bool known = seeking && SUCCEEDED(seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME)) &&
                       SUCCEEDED(seeking->GetDuration(&duration)) &&
                       SUCCEEDED(seeking->SetTimeFormat(&TIME_FORMAT_FRAME)) &&
                       SUCCEEDED(seeking->GetDuration(&frames)) && duration > 0;
    ReleaseInterface(seeking);
    if (!known || !in.control || !in.position || !in.event)
        return fail();
    renderer->frameCount = frames;
    renderer->frameRate = double(frames) / double(duration) * 10000000.0;
    renderer->state = Ready;
}

void TextureRenderer::Play(Stream* stream, bool loop) {
    if (!stream || !stream->renderer || stream->renderer->state != Ready)
        return;
    stream->loop = loop;
    // A film that has ended starts again from its beginning.
    if (stream->renderer->ended && FAILED(stream->interfaces->position->put_CurrentPosition(0.0))) {
        stream->renderer->state = Stopped;
        return;
    }
    stream->renderer->ended = false;
    stream->renderer->state = SUCCEEDED(stream->interfaces->control->Run()) ? Playing : Stopped;
}

void TextureRenderer::Update(Stream* stream) {
    if (!stream)
        return;
    stream->lastUpdate = Base::FrameClock::FrameCounter;
    TextureRenderer* renderer = stream->renderer;
    if (!renderer)
        return;
    renderer->Upload();
    if (renderer->state != Playing)
        return;
    long code = 0;
    LONG_PTR a = 0, b = 0;
    if (stream->interfaces->event->GetEvent(&code, &a, &b, 0) == S_OK) {
        if (code == EC_COMPLETE) {
            if (stream->loop)
                stream->interfaces->position->put_CurrentPosition(0.0);
            else {
                renderer->state = Ready;
                renderer->ended = true;
            }
        } else if (code == EC_ERRORABORT) {
            renderer->state = Stopped;
        }
        stream->interfaces->event->FreeEventParams(code, a, b);
    }
}

int32_t* TextureRenderer::GetState(Stream* stream) {
    static int32_t none = Stopped;
    none = Stopped;
    return stream && stream->renderer ? &stream->renderer->state : &none;
}

void TextureRenderer::TimerProc() {
    const uint32_t now = Base::FrameClock::FrameCounter;
    for (Stream* stream : StreamList) {
        TextureRenderer* renderer = stream->renderer;
        if (!renderer || renderer->state != Playing)
            continue;
        const bool drawn = now - stream->lastUpdate <= 1;
        const HRESULT hr = drawn ? stream->interfaces->control->Run() : stream->interfaces->control->Pause();
        if (FAILED(hr))
            renderer->state = Stopped;
    }
}

void TextureRenderer::Close(Stream* stream) {
    if (!stream)
        return;
    StreamList.remove(stream);
    if (StreamList.empty())
        TimerRunning = false;
    Interfaces* in = stream->interfaces;
    if (in && in->control)
        in->control->Stop();
    if (stream->renderer) {
        stream->renderer->state = Stopped;
        stream->renderer->ReleaseTexture();
    }
    if (in) {
        ReleaseInterface(in->event);
        ReleaseInterface(in->position);
        ReleaseInterface(in->control);
        ReleaseInterface(in->graph); // the graph takes the renderer with it
        delete in;
    }
    stream->interfaces = nullptr;
    stream->renderer = nullptr;
}
