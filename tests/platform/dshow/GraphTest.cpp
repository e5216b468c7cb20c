// The filter graph on its own: pins and intelligent connect to a renderer that counts its frames, the
// sound track rendered only where there is a sound device, and a film with sound played to its end.
#include <AL/al.h>
#include <AL/alc.h>
#include <dshow.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

const GUID CLSID_CountingRenderer = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};

class CountingRenderer : public CBaseVideoRenderer {
public:
    CountingRenderer() : CBaseVideoRenderer(CLSID_CountingRenderer, "Counting", nullptr, nullptr) {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->subtype == MEDIASUBTYPE_RGB565 ? S_OK : E_FAIL;
    }
    HRESULT SetMediaType(const CMediaType* type) override {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
        width = info->bmiHeader.biWidth;
        height = info->bmiHeader.biHeight;
        return S_OK;
    }
    HRESULT DoRenderSample(IMediaSample*) override {
        ++frames;
        return S_OK;
    }
    std::atomic<int> frames{0};
    LONG width = 0, height = 0;
};

template <class T> void Free(T*& p) {
    if (p)
        p->Release();
    p = nullptr;
}

struct Film {
    IGraphBuilder* graph = nullptr;
    IBaseFilter* source = nullptr;
    CountingRenderer* renderer = new CountingRenderer;
    Film() {
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&graph)),
                  S_OK);
        graph->AddFilter(renderer, u"TEXTURERENDERER");
        const std::string name = std::string(CORVANE_BINARY_DIR) + "/data/Data/Movies/TestPattern.avi";
        std::u16string wide(name.begin(), name.end());
        EXPECT_EQ(graph->AddSourceFilter(wide.c_str(), u"SOURCE", &source), S_OK);
        IPin *in = nullptr, *out = nullptr;
        renderer->FindPin(u"In", &in);
        source->FindPin(u"Output", &out);
        EXPECT_EQ(graph->Connect(out, in), S_OK);
        Free(in);
        Free(out);
    }
    ~Film() {
        Free(source);
        renderer->Release();
        Free(graph);
    }
    HRESULT RenderSound() {
        IPin* sound = nullptr;
        EXPECT_EQ(source->FindPin(u"Audio", &sound), S_OK);
        const HRESULT hr = graph->Render(sound);
        Free(sound);
        return hr;
    }
};

TEST(Graph, ConnectsThePatternTopDownInRgb565) {
    Film film;
    EXPECT_EQ(film.renderer->width, 320);
    EXPECT_EQ(film.renderer->height, -240);
    IPin* in = nullptr;
    IPin* other = nullptr;
    film.renderer->FindPin(u"In", &in);
    EXPECT_EQ(in->ConnectedTo(&other), S_OK);
    Free(other);
    Free(in);
    IPin* missing = nullptr;
    EXPECT_EQ(film.source->FindPin(u"Nothing", &missing), VFW_E_NOT_FOUND);
    // No sound device: the sound track cannot be rendered, and says so.
    ASSERT_EQ(alcGetCurrentContext(), nullptr);
    EXPECT_EQ(film.RenderSound(), VFW_E_CANNOT_RENDER);
}

TEST(Graph, PlaysWithItsSoundTrackToTheEnd) {
    ALCdevice* device = alcOpenDevice(nullptr);
    ASSERT_NE(device, nullptr);
    ALCcontext* context = alcCreateContext(device, nullptr);
    ASSERT_TRUE(alcMakeContextCurrent(context));
    {
        Film film;
        ASSERT_EQ(film.RenderSound(), S_OK);
        EXPECT_EQ(film.RenderSound(), VFW_E_ALREADY_CONNECTED);
        IPin* sound = nullptr;
        IPin* other = nullptr;
        film.source->FindPin(u"Audio", &sound);
        EXPECT_EQ(sound->ConnectedTo(&other), S_OK);
        Free(other);
        Free(sound);
        IMediaControl* control = nullptr;
        IMediaEvent* events = nullptr;
        film.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
        film.graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
        ASSERT_EQ(control->Run(), S_OK);
        long code = 0;
        LONG_PTR a = 0, b = 0;
        // The film lasts 3 s; its end arrives as an event.
        ASSERT_EQ(events->GetEvent(&code, &a, &b, 10000), S_OK);
        EXPECT_EQ(code, EC_COMPLETE);
        EXPECT_EQ(film.renderer->frames.load(), 75);
        control->Stop();
        Free(control);
        Free(events);
    }
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context);
    alcCloseDevice(device);
}

} // namespace
