// A film file of any bytes through the filter graph: open, connect to a renderer, run briefly, stop. The
// graph must refuse or play it without crashing, and stop promptly.
#include <dshow.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const GUID CLSID_FuzzRenderer = {0x9, 0x8, 0x7, {6, 5, 4, 3, 2, 1, 0, 1}};

class Renderer : public CBaseVideoRenderer {
public:
    Renderer() : CBaseVideoRenderer(CLSID_FuzzRenderer, "Fuzz", nullptr, nullptr) {}
    HRESULT CheckMediaType(const CMediaType* type) override {
        return type->subtype == MEDIASUBTYPE_RGB565 ? S_OK : E_FAIL;
    }
    HRESULT DoRenderSample(IMediaSample* sample) override {
        BYTE* bytes = nullptr;
        sample->GetPointer(&bytes);
        const LONG n = sample->GetActualDataLength();
        unsigned sum = 0;
        for (LONG i = 0; i < n; i += 97)
            sum += bytes[i]; // every byte of the sample must be readable
        return sum == 0xFFFFFFFF ? E_FAIL : S_OK;
    }
};

std::string TempFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir ? dir : "/tmp") + "/fuzz_video_XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd >= 0)
        close(fd);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = TempFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    IGraphBuilder* graph = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph))))
        return 0;
    auto* renderer = new Renderer;
    graph->AddFilter(renderer, u"TEXTURERENDERER");
    std::u16string wide(path.begin(), path.end());
    IBaseFilter* source = nullptr;
    if (SUCCEEDED(graph->AddSourceFilter(wide.c_str(), u"SOURCE", &source))) {
        IPin *in = nullptr, *out = nullptr;
        renderer->FindPin(u"In", &in);
        source->FindPin(u"Output", &out);
        if (out && SUCCEEDED(graph->Connect(out, in))) {
            IMediaControl* control = nullptr;
            IMediaEvent* events = nullptr;
            graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
            graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&events));
            control->Run();
            long code = 0;
            LONG_PTR a = 0, b = 0;
            events->GetEvent(&code, &a, &b, 50);
            control->Stop();
            events->Release();
            control->Release();
        }
        if (in)
            in->Release();
        if (out)
            out->Release();
        source->Release();
    }
    renderer->Release();
    graph->Release();
    return 0;
}
