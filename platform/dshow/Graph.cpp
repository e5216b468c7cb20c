// The filter graph on FFmpeg: a source filter that opens the file with libavformat, intelligent connect that
// puts a libavcodec decoder and a libswscale converter to RGB565 in front of the renderer, and one streaming
// thread per graph that paces frames by the stream clock, which stands still while the graph is paused.
#include "platform/win32/Files.h"
#include "platform/win32/Counted.h"

#include <dshow.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <AL/al.h>
#include <AL/alc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

const GUID CLSID_FilterGraph = {0x5b1e7a30, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IGraphBuilder = {0x5b1e7a31, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IMediaControl = {0x5b1e7a32, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IMediaPosition = {
    0x5b1e7a33, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IMediaEvent = {0x5b1e7a34, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IMediaSeeking = {0x5b1e7a35, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID IID_IBaseFilter = {0x5b1e7a36, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
// Media types are FOURCC identifiers: "vids", "auds".
const GUID MEDIATYPE_Video = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIATYPE_Audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_PCM = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_RGB565 = {
    0x5b1e7a40, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID FORMAT_VideoInfo = {0x5b1e7a41, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID FORMAT_WaveFormatEx = {
    0x5b1e7a42, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID TIME_FORMAT_MEDIA_TIME = {
    0x5b1e7a43, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};
const GUID TIME_FORMAT_FRAME = {0x5b1e7a44, 0x2c4d, 0x4e8f, {0x91, 0x3a, 0x6d, 0x20, 0x7c, 0x11, 0x4a, 0x01}};

namespace DShow {

namespace {

// Larger pictures are refused before any buffer is made for them.
constexpr int MaxDimension = 8192;
// A stream that yields no picture over this many packets in a row is treated as ended.
constexpr int MaxFruitlessPackets = 256;

std::u16string FromWide(LPCWSTR text) {
    std::u16string s;
    if (text)
        for (; *text; ++text)
            s.push_back(*text);
    return s;
}

std::string ToUtf8(LPCWSTR text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return {};
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(size_t(size - 1));
    return out;
}

using Win32::Counted;

} // namespace

class Graph;

// A pin: a name, a direction and the pin it is connected to (not counted: both filters live in one graph).
class Pin : public Counted<IPin> {
public:
    Pin(IBaseFilter* owner, std::u16string id, PIN_DIRECTION direction)
        : owner(owner), id(std::move(id)), direction(direction) {}
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    // The pins live as long as their filter.
    ULONG AddRef() override { return owner->AddRef(); }
    ULONG Release() override { return owner->Release(); }
    HRESULT QueryDirection(PIN_DIRECTION* out) override {
        if (!out)
            return E_POINTER;
        *out = direction;
        return S_OK;
    }
    HRESULT ConnectedTo(IPin** other) override {
        if (!other)
            return E_POINTER;
        *other = peer;
        if (!peer)
            return VFW_E_NOT_CONNECTED;
        peer->AddRef();
        return S_OK;
    }
    HRESULT QueryId(LPWSTR* out) override {
        if (!out || !*out)
            return E_POINTER;
        const size_t n = std::min<size_t>(id.size(), 127);
        std::copy_n(id.begin(), n, *out);
        (*out)[n] = 0;
        return S_OK;
    }

    IBaseFilter* owner;
    std::u16string id;
    PIN_DIRECTION direction;
    Pin* peer = nullptr;
};

class RendererPin : public Pin {
public:
    RendererPin(CBaseVideoRenderer* renderer) : Pin(renderer, u"In", PINDIR_INPUT), renderer(renderer) {}
    CBaseVideoRenderer* renderer;
};

// The enumerators of pins and filters: Next hands out referenced items in order. A list that holds its
// items keeps a reference to each for its own life (filters can leave the graph meanwhile); pins live as
// long as their filter.
template <class Interface, class Item, bool Holds> class ItemList : public Counted<Interface> {
public:
    explicit ItemList(std::vector<Item*> items) : items(std::move(items)) {
        if constexpr (Holds)
            for (Item* item : this->items)
                item->AddRef();
    }
    ~ItemList() override {
        if constexpr (Holds)
            for (Item* item : items)
                item->Release();
    }
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override {
        ULONG n = 0;
        for (; n < count && next < items.size(); ++n, ++next) {
            out[n] = items[next];
            out[n]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

private:
    std::vector<Item*> items;
    size_t next = 0;
};
using PinList = ItemList<IEnumPins, IPin, false>;

// The file source: the demuxer, with the video stream as "Output" and a sound stream, when the file has one,
// as "Audio".
class SourceFilter : public Counted<IBaseFilter> {
public:
    SourceFilter() : output(this, u"Output", PINDIR_OUTPUT), audio(this, u"Audio", PINDIR_OUTPUT) {}
    ~SourceFilter() override { avformat_close_input(&format); }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IBaseFilter) {
            *object = static_cast<IBaseFilter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT FindPin(LPCWSTR id, IPin** pin) override {
        if (!pin)
            return E_POINTER;
        const std::u16string name = FromWide(id);
        *pin = name == output.id ? &output : (name == audio.id && audioStream >= 0) ? &audio : nullptr;
        if (!*pin)
            return VFW_E_NOT_FOUND;
        (*pin)->AddRef();
        return S_OK;
    }
    HRESULT EnumPins(IEnumPins** pins) override {
        if (!pins)
            return E_POINTER;
        std::vector<IPin*> list{&output};
        if (audioStream >= 0)
            list.push_back(&audio);
        *pins = new PinList(std::move(list));
        return S_OK;
    }

    // Opens the file and finds its streams; false when it is no film.
    bool Open(const std::string& path, AVIOInterruptCB interrupt) {
        format = avformat_alloc_context();
        if (!format)
            return false;
        format->interrupt_callback = interrupt;
        // Local files only: a film name is never a network address.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened = avformat_open_input(&format, path.c_str(), nullptr, &options);
        av_dict_free(&options);
        if (opened < 0)
            return false; // frees the context
        if (avformat_find_stream_info(format, nullptr) < 0)
            return false;
        videoStream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        audioStream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, videoStream, nullptr, 0);
        if (audioStream < 0)
            audioStream = -1;
        return videoStream >= 0;
    }

    AVFormatContext* format = nullptr;
    int videoStream = -1;
    int audioStream = -1;
    Pin output;
    Pin audio;
};

// One converted frame handed to the renderer.
class Sample : public IMediaSample {
public:
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the streaming thread's stack for one call.
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetPointer(BYTE** out) override {
        if (!out)
            return E_POINTER;
        *out = bytes.data();
        return S_OK;
    }
    LONG GetSize() override { return LONG(bytes.size()); }
    LONG GetActualDataLength() override { return LONG(bytes.size()); }
    HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
        if (start)
            *start = startTime;
        if (end)
            *end = endTime;
        return S_OK;
    }

    std::vector<BYTE> bytes;
    REFERENCE_TIME startTime = 0, endTime = 0;
};

using FilterList = ItemList<IEnumFilters, IBaseFilter, true>;

class Graph : public IGraphBuilder,
              public IMediaControl,
              public IMediaPosition,
              public IMediaEvent,
              public IMediaSeeking {
public:
    Graph() = default;

    // ---- IUnknown (one count for every interface)
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == IID_IGraphBuilder)
            *object = static_cast<IGraphBuilder*>(this);
        else if (iid == IID_IMediaControl)
            *object = static_cast<IMediaControl*>(this);
        else if (iid == IID_IMediaPosition)
            *object = static_cast<IMediaPosition*>(this);
        else if (iid == IID_IMediaEvent)
            *object = static_cast<IMediaEvent*>(this);
        else if (iid == IID_IMediaSeeking)
            *object = static_cast<IMediaSeeking*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references; }
    ULONG Release() override {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

    // ---- IGraphBuilder
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR) override {
        if (!filter)
            return E_POINTER;
        filter->AddRef();
        filters.push_back(filter);
        return S_OK;
    }

    HRESULT AddSourceFilter(LPCWSTR fileName, LPCWSTR name, IBaseFilter** out) override {
        if (!fileName || !out)
            return E_POINTER;
        *out = nullptr;
        if (source)
            return E_FAIL; // one film per graph
        auto* filter = new SourceFilter;
        if (!filter->Open(Win32::NativePath(ToUtf8(fileName)), {&Graph::Interrupted, this})) {
            filter->Release();
            return VFW_E_NOT_FOUND;
        }
        AddFilter(filter, name);
        source = filter;
        *out = filter; // the creation reference goes to the caller
        return S_OK;
    }

    HRESULT Connect(IPin* output, IPin* input) override {
        if (!output || !input || !source)
            return E_POINTER;
        if (output != &source->output)
            return VFW_E_CANNOT_CONNECT;
        auto* in = dynamic_cast<RendererPin*>(input);
        if (!in)
            return VFW_E_CANNOT_CONNECT;
        if (source->output.peer || in->peer)
            return VFW_E_ALREADY_CONNECTED;
        if (!OpenDecoder())
            return VFW_E_UNSUPPORTED_STREAM;

        VIDEOINFOHEADER info{};
        info.rcSource = info.rcTarget = {0, 0, width, height};
        info.AvgTimePerFrame = frameRate > 0 ? REFERENCE_TIME(1e7 / frameRate) : 0;
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 16;
        info.bmiHeader.biSizeImage = DWORD(width) * 2 * DWORD(height);
        AM_MEDIA_TYPE type{};
        type.majortype = MEDIATYPE_Video;
        type.subtype = MEDIASUBTYPE_RGB565;
        type.bFixedSizeSamples = TRUE;
        type.lSampleSize = info.bmiHeader.biSizeImage;
        type.formattype = FORMAT_VideoInfo;
        type.cbFormat = sizeof info;
        type.pbFormat = reinterpret_cast<BYTE*>(&info);
        CBaseVideoRenderer* target = in->renderer;
        if (target->CheckMediaType(&type) != S_OK)
            return VFW_E_CANNOT_CONNECT;
        if (FAILED(target->SetMediaType(&type)))
            return VFW_E_CANNOT_CONNECT;
        renderer = target;
        source->output.peer = in;
        in->peer = &source->output;
        return S_OK;
    }

    // The sound track plays through the sound device's OpenAL context; without one it cannot be rendered.
    HRESULT Render(IPin* output) override {
        if (!output)
            return E_POINTER;
        if (!source || output != &source->audio || source->audioStream < 0)
            return VFW_E_CANNOT_RENDER;
        if (source->audio.peer)
            return VFW_E_ALREADY_CONNECTED;
        if (worker.joinable() || !alcGetCurrentContext() || !OpenSound())
            return VFW_E_CANNOT_RENDER;
        soundPin.owner = source; // the sound renderer lives as long as the source
        source->audio.peer = &soundPin;
        return S_OK;
    }

    HRESULT EnumFilters(IEnumFilters** out) override {
        if (!out)
            return E_POINTER;
        *out = new FilterList(filters);
        return S_OK;
    }

    // ---- IMediaControl
    HRESULT Run() override {
        if (!renderer)
            return VFW_E_NOT_CONNECTED;
        StartThread();
        {
            std::lock_guard<std::mutex> hold(lock);
            if (mode == Mode::Running)
                return S_OK;
            runStart = Clock::now();
            mode = Mode::Running;
            wake.notify_all();
        }
        SoundState(Mode::Running, false);
        return S_OK;
    }

    HRESULT Pause() override {
        if (!renderer)
            return VFW_E_NOT_CONNECTED;
        StartThread();
        {
            std::lock_guard<std::mutex> hold(lock);
            if (mode == Mode::Paused)
                return S_OK;
            if (mode == Mode::Running)
                pausedAt = StreamTimeLocked();
            mode = Mode::Paused;
            wake.notify_all();
        }
        SoundState(Mode::Paused, false);
        return S_OK;
    }

    // Waits until no frame is being delivered, so the renderer may be torn down after it.
    HRESULT Stop() override {
        SoundState(Mode::Stopped, true);
        std::unique_lock<std::mutex> hold(lock);
        if (mode == Mode::Running)
            pausedAt = StreamTimeLocked();
        mode = Mode::Stopped;
        wake.notify_all();
        idle.wait(hold, [this] { return !delivering; });
        return S_OK;
    }

    // ---- IMediaPosition
    HRESULT put_CurrentPosition(REFTIME time) override {
        if (!renderer)
            return VFW_E_NOT_CONNECTED;
        std::lock_guard<std::mutex> hold(lock);
        seekTo = std::max(0.0, time);
        pausedAt = seekTo;
        runStart = Clock::now();
        seekPending = true;
        wake.notify_all();
        return S_OK;
    }
    HRESULT get_CurrentPosition(REFTIME* time) override {
        if (!time)
            return E_POINTER;
        std::lock_guard<std::mutex> hold(lock);
        *time = StreamTimeLocked();
        return S_OK;
    }

    // ---- IMediaEvent
    HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeout) override {
        if (!code || !param1 || !param2)
            return E_POINTER;
        std::unique_lock<std::mutex> hold(lock);
        if (events.empty() && timeout != 0)
            wake.wait_for(hold, std::chrono::milliseconds(timeout < 0 ? 3600000 : timeout),
                          [this] { return !events.empty(); });
        if (events.empty())
            return E_ABORT;
        *code = events.front();
        *param1 = *param2 = 0;
        events.pop_front();
        return S_OK;
    }
    HRESULT FreeEventParams(long, LONG_PTR, LONG_PTR) override { return S_OK; }

    // ---- IMediaSeeking
    HRESULT SetTimeFormat(const GUID* format) override {
        if (!format)
            return E_POINTER;
        if (*format != TIME_FORMAT_MEDIA_TIME && *format != TIME_FORMAT_FRAME)
            return E_INVALIDARG;
        timeFormat = *format;
        return S_OK;
    }
    HRESULT GetDuration(LONGLONG* duration) override {
        if (!duration)
            return E_POINTER;
        if (!source || !renderer)
            return VFW_E_NOT_CONNECTED;
        const double seconds = DurationSeconds();
        if (seconds <= 0)
            return E_FAIL;
        if (timeFormat == TIME_FORMAT_FRAME) {
            const AVStream* stream = source->format->streams[source->videoStream];
            if (stream->nb_frames > 0)
                *duration = stream->nb_frames;
            else if (frameRate > 0)
                *duration = LONGLONG(seconds * frameRate + 0.5);
            else
                return E_FAIL;
        } else {
            *duration = LONGLONG(seconds * 1e7);
        }
        return S_OK;
    }

private:
    using Clock = std::chrono::steady_clock;
    enum class Mode { Stopped, Paused, Running };

    ~Graph() {
        {
            std::lock_guard<std::mutex> hold(lock);
            quit = true;
            wake.notify_all();
        }
        if (worker.joinable())
            worker.join();
        CloseSound();
        sws_freeContext(scaler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        if (source)
            source->output.peer = nullptr;
        for (IBaseFilter* f : filters)
            f->Release();
    }

    static int Interrupted(void* self) { return static_cast<Graph*>(self)->quit.load() ? 1 : 0; }

    double DurationSeconds() const {
        if (source->format->duration > 0)
            return double(source->format->duration) / AV_TIME_BASE;
        const AVStream* stream = source->format->streams[source->videoStream];
        if (stream->duration > 0)
            return double(stream->duration) * av_q2d(stream->time_base);
        return 0;
    }

    bool OpenDecoder() {
        const AVStream* stream = source->format->streams[source->videoStream];
        const AVCodecParameters* par = stream->codecpar;
        if (par->width <= 0 || par->height <= 0 || par->width > MaxDimension || par->height > MaxDimension)
            return false;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (!codec)
            return false;
        decoder = avcodec_alloc_context3(codec);
        if (!decoder || avcodec_parameters_to_context(decoder, par) < 0)
            return false;
        decoder->thread_count = 1; // the game runs several films and its own threads
        if (avcodec_open2(decoder, codec, nullptr) < 0)
            return false;
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!frame || !packet)
            return false;
        width = par->width;
        height = par->height;
        const AVRational rate =
            stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        timeBase = av_q2d(stream->time_base);
        startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        sample.bytes.assign(size_t(width) * 2 * size_t(height), 0);
        return true;
    }

    bool OpenSound() {
        const AVCodecParameters* par = source->format->streams[source->audioStream]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        if (!codec || par->sample_rate <= 0 || par->sample_rate > 384000 || par->ch_layout.nb_channels <= 0)
            return false;
        soundDecoder = avcodec_alloc_context3(codec);
        if (!soundDecoder || avcodec_parameters_to_context(soundDecoder, par) < 0 ||
            avcodec_open2(soundDecoder, codec, nullptr) < 0)
            return false;
        soundChannels = std::min(soundDecoder->ch_layout.nb_channels, 2);
        soundRate = soundDecoder->sample_rate;
        soundFormat = soundChannels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, soundChannels);
        const int made =
            swr_alloc_set_opts2(&resampler, &layout, AV_SAMPLE_FMT_S16, soundRate, &soundDecoder->ch_layout,
                                soundDecoder->sample_fmt, soundRate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (made < 0 || swr_init(resampler) < 0)
            return false;
        soundFrame = av_frame_alloc();
        alGetError();
        alGenSources(1, &soundSource);
        if (alGetError() != AL_NO_ERROR || !soundFrame) {
            soundSource = 0;
            return false;
        }
        return true;
    }

    void CloseSound() {
        if (soundSource) {
            alSourceStop(soundSource);
            alSourcei(soundSource, AL_BUFFER, 0);
            alDeleteSources(1, &soundSource);
        }
        if (!soundBuffers.empty())
            alDeleteBuffers(ALsizei(soundBuffers.size()), soundBuffers.data());
        swr_free(&resampler);
        av_frame_free(&soundFrame);
        avcodec_free_context(&soundDecoder);
    }

    // A free OpenAL buffer: a played one back from the source, else a new one while the pool is small.
    ALuint FreeBuffer() {
        ALint processed = 0;
        alGetSourcei(soundSource, AL_BUFFERS_PROCESSED, &processed);
        while (processed-- > 0) {
            ALuint b = 0;
            alSourceUnqueueBuffers(soundSource, 1, &b);
            freeBuffers.push_back(b);
        }
        if (freeBuffers.empty() && soundBuffers.size() < 64) {
            ALuint b = 0;
            alGenBuffers(1, &b);
            if (alGetError() == AL_NO_ERROR) {
                soundBuffers.push_back(b);
                freeBuffers.push_back(b);
            }
        }
        if (freeBuffers.empty())
            return 0;
        const ALuint b = freeBuffers.back();
        freeBuffers.pop_back();
        return b;
    }

    // Decodes a sound packet and queues its samples; a buffer pool that is full drops them.
    void QueueSound(const AVPacket* p) {
        std::lock_guard<std::mutex> holdSound(soundLock);
        if (avcodec_send_packet(soundDecoder, p) < 0)
            return;
        while (avcodec_receive_frame(soundDecoder, soundFrame) == 0) {
            const int count = swr_get_out_samples(resampler, soundFrame->nb_samples);
            if (count > 0) {
                pcm.resize(size_t(count) * size_t(soundChannels));
                uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
                const int got =
                    swr_convert(resampler, out, count, const_cast<const uint8_t**>(soundFrame->extended_data),
                                soundFrame->nb_samples);
                const ALuint buffer = got > 0 ? FreeBuffer() : 0;
                if (buffer) {
                    alBufferData(buffer, soundFormat, pcm.data(),
                                 ALsizei(size_t(got) * size_t(soundChannels) * 2), soundRate);
                    alSourceQueueBuffers(soundSource, 1, &buffer);
                    samplesQueued += uint64_t(got);
                }
            }
            av_frame_unref(soundFrame);
        }
        ALint playing = 0;
        alGetSourcei(soundSource, AL_SOURCE_STATE, &playing);
        std::lock_guard<std::mutex> hold(lock);
        if (mode == Mode::Running && playing != AL_PLAYING)
            alSourcePlay(soundSource);
    }

    // Follows the graph's state: playing while running, held while paused, emptied when stopped or seeking.
    void SoundState(Mode to, bool flush) {
        std::lock_guard<std::mutex> holdSound(soundLock);
        if (!soundSource)
            return;
        if (flush || to == Mode::Stopped) {
            alSourceStop(soundSource);
            ALint processed = 0;
            alGetSourcei(soundSource, AL_BUFFERS_PROCESSED, &processed);
            while (processed-- > 0) {
                ALuint b = 0;
                alSourceUnqueueBuffers(soundSource, 1, &b);
                freeBuffers.push_back(b);
            }
        } else if (to == Mode::Paused) {
            alSourcePause(soundSource);
        } else {
            // Playing again would restart a playing source's queue: the scheduler runs a film every frame.
            ALint queued = 0, playing = 0;
            alGetSourcei(soundSource, AL_BUFFERS_QUEUED, &queued);
            alGetSourcei(soundSource, AL_SOURCE_STATE, &playing);
            if (queued > 0 && playing != AL_PLAYING)
                alSourcePlay(soundSource);
        }
    }

    double StreamTimeLocked() const {
        if (mode != Mode::Running)
            return pausedAt;
        return pausedAt + std::chrono::duration<double>(Clock::now() - runStart).count();
    }

    void StartThread() {
        if (!worker.joinable())
            worker = std::thread(&Graph::Stream, this);
    }

    // Decodes the next picture into the sample; false at the end of the stream or on a broken one.
    bool DecodeNext(double& pts) {
        int fruitless = 0;
        while (!quit) {
            const int got = avcodec_receive_frame(decoder, frame);
            if (got == 0) {
                if (frame->width != width || frame->height != height) {
                    av_frame_unref(frame);
                    if (++fruitless > MaxFruitlessPackets)
                        return false;
                    continue; // a picture of another size than the connection's is skipped
                }
                const int64_t stamp = frame->best_effort_timestamp;
                pts = stamp != AV_NOPTS_VALUE ? double(stamp - startPts) * timeBase : lastPts + FrameStep();
                if (!(pts >= 0) || pts > lastPts + 10.0)
                    pts = lastPts + FrameStep(); // broken stamps must not hold the film forever
                Convert();
                av_frame_unref(frame);
                lastPts = pts;
                return true;
            }
            if (got == AVERROR_EOF)
                return false;
            if (got != AVERROR(EAGAIN))
                return false;
            if (draining)
                return false;
            const int read = av_read_frame(source->format, packet);
            if (read < 0) {
                draining = true;
                avcodec_send_packet(decoder, nullptr);
                continue;
            }
            if (soundSource && packet->stream_index == source->audioStream)
                QueueSound(packet);
            if (packet->stream_index == source->videoStream) {
                if (avcodec_send_packet(decoder, packet) < 0 && ++fruitless > MaxFruitlessPackets) {
                    av_packet_unref(packet);
                    return false;
                }
                ++fruitless;
                if (fruitless > MaxFruitlessPackets) {
                    av_packet_unref(packet);
                    return false;
                }
            }
            av_packet_unref(packet);
        }
        return false;
    }

    double FrameStep() const { return frameRate > 0 ? 1.0 / frameRate : 0.04; }

    void Convert() {
        // Same size, so no filter is run; without full-chroma interpolation swscale takes its vectorised
        // YUV-to-RGB path, which costs less than the decoding (the full-chroma one cost more).
        scaler = sws_getCachedContext(scaler, width, height, AVPixelFormat(frame->format), width, height,
                                      AV_PIX_FMT_RGB565LE, SWS_POINT, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {sample.bytes.data(), nullptr, nullptr, nullptr};
        int strides[4] = {width * 2, 0, 0, 0};
        if (scaler)
            sws_scale(scaler, frame->data, frame->linesize, 0, height, planes, strides);
    }

    void Seek(double seconds) {
        const AVStream* stream = source->format->streams[source->videoStream];
        const int64_t target = startPts + int64_t(seconds / timeBase);
        if (av_seek_frame(source->format, source->videoStream, target, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(source->format, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
        (void)stream;
        avcodec_flush_buffers(decoder);
        if (soundDecoder) {
            avcodec_flush_buffers(soundDecoder);
            SoundState(Mode::Running, true);
        }
        draining = false;
        lastPts = 0;
    }

    // The streaming thread: decode ahead one picture, wait until the stream clock reaches it, deliver it.
    void Stream() {
        std::unique_lock<std::mutex> hold(lock);
        bool ended = false, havePicture = false;
        double pts = 0;
        while (!quit) {
            if (seekPending) {
                const double to = seekTo;
                seekPending = false;
                hold.unlock();
                Seek(to);
                hold.lock();
                ended = havePicture = false;
                continue;
            }
            if (mode == Mode::Stopped || ended) {
                wake.wait(hold);
                continue;
            }
            if (!havePicture) {
                hold.unlock();
                const bool got = DecodeNext(pts);
                hold.lock();
                if (quit)
                    break; // asked while decoding: no wait may follow
                if (seekPending)
                    continue;
                if (!got) {
                    ended = true;
                    events.push_back(EC_COMPLETE);
                    wake.notify_all();
                    continue;
                }
                havePicture = true;
            }
            const double now = StreamTimeLocked();
            if (mode != Mode::Running || pts > now) {
                if (mode == Mode::Running)
                    wake.wait_for(hold, std::chrono::duration<double>(std::min(pts - now, 0.5)));
                else
                    wake.wait(hold);
                continue;
            }
            sample.startTime = REFERENCE_TIME(pts * 1e7);
            sample.endTime = REFERENCE_TIME((pts + FrameStep()) * 1e7);
            delivering = true;
            hold.unlock();
            renderer->DoRenderSample(&sample);
            hold.lock();
            delivering = false;
            idle.notify_all();
            havePicture = false;
        }
    }

    std::atomic<ULONG> references{1};
    std::vector<IBaseFilter*> filters; // one reference each
    SourceFilter* source = nullptr;
    CBaseVideoRenderer* renderer = nullptr;
    GUID timeFormat = TIME_FORMAT_MEDIA_TIME;

    // The decoder side, used by the streaming thread once it runs.
    AVCodecContext* decoder = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    int width = 0, height = 0;
    double frameRate = 0, timeBase = 0, lastPts = 0;
    int64_t startPts = 0;
    bool draining = false;
    Sample sample;

    // The sound track, when rendered: decoder, converter to 16-bit samples and an OpenAL streaming source.
    AVCodecContext* soundDecoder = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* soundFrame = nullptr;
    ALuint soundSource = 0;
    std::vector<ALuint> soundBuffers, freeBuffers;
    ALenum soundFormat = 0;
    int soundRate = 0, soundChannels = 0;
    std::vector<int16_t> pcm;
    Pin soundPin{nullptr, u"In", PINDIR_INPUT};
    uint64_t samplesQueued = 0;
    std::mutex soundLock; // the OpenAL source and its buffer pool, between the two threads

    // Shared with the streaming thread.
    std::mutex lock;
    std::condition_variable wake, idle;
    std::thread worker;
    std::atomic<bool> quit{false};
    Mode mode = Mode::Stopped;
    Clock::time_point runStart;
    double pausedAt = 0, seekTo = 0;
    bool seekPending = false, delivering = false;
    std::deque<long> events;
};

} // namespace DShow

// ---- the renderer base class

CBaseVideoRenderer::CBaseVideoRenderer(REFGUID clsid, const char* name, LPUNKNOWN, HRESULT* result)
    : classId(clsid), objectName(name), input(new DShow::RendererPin(this)) {
    if (result)
        *result = S_OK;
}

CBaseVideoRenderer::~CBaseVideoRenderer() {
    delete input;
}

HRESULT CBaseVideoRenderer::SetMediaType(const CMediaType*) {
    return S_OK;
}

HRESULT CBaseVideoRenderer::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IBaseFilter) {
        *object = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CBaseVideoRenderer::AddRef() {
    return ++references;
}

ULONG CBaseVideoRenderer::Release() {
    const ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT CBaseVideoRenderer::FindPin(LPCWSTR id, IPin** pin) {
    if (!pin)
        return E_POINTER;
    if (DShow::FromWide(id) != input->id) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = input;
    AddRef();
    return S_OK;
}

HRESULT CBaseVideoRenderer::EnumPins(IEnumPins** pins) {
    if (!pins)
        return E_POINTER;
    *pins = new DShow::PinList({input});
    return S_OK;
}

namespace {

HRESULT CreateGraph(REFIID iid, void** object) {
    static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true); // broken films are reported by state
    (void)quiet;
    auto* graph = new DShow::Graph;
    const HRESULT hr = graph->QueryInterface(iid, object);
    graph->Release();
    return hr;
}

const bool registered = CoRegisterClassCreator(CLSID_FilterGraph, CreateGraph);

} // namespace
