// Films as textures: a video renderer filter that takes RGB565 frames and keeps the newest one for the
// texture, the stream record of one filter graph per film, and the scheduler that runs a film while its
// widget is drawn and pauses it otherwise.
#pragma once

#include <d3d9.h>
#include <dshow.h>

#include <cstdint>
#include <list>
#include <mutex>
#include <vector>

struct RwTexture;

class TextureRenderer : public CBaseVideoRenderer {
public:
    struct Interfaces {
        IGraphBuilder* graph = nullptr;
        IMediaControl* control = nullptr;
        IMediaPosition* position = nullptr;
        IMediaEvent* event = nullptr;
    };

    // Allocated and freed by its user.
    struct Stream {
        TextureRenderer* renderer = nullptr; // the graph owns it
        Interfaces* interfaces = nullptr;
        uint8_t loop = 0;
        uint32_t lastUpdate = 0;
    };

    enum State : int32_t { Stopped = 0, Playing = 1, Ready = 2 };

    // Builds the graph for the file; the state ends Ready on success, Stopped on failure.
    static void Open(Stream* stream, IDirect3DDevice9* device, const char* fileName, bool playOtherStreams);
    // Only when Ready: runs the film (from the start when it had ended); Playing on success.
    static void Play(Stream* stream, bool loop);
    // Once per drawn frame while the state is not Stopped: the frame stamp, the newest picture into the
    // texture, and the end of the film.
    static void Update(Stream* stream);
    static int32_t* GetState(Stream* stream);
    static void Close(Stream* stream);
    // The scheduler's step, once per frame from Desktop::Update (it stands for the 10 ms timer): each playing
    // film whose widget was drawn this frame or the last runs, every other one pauses.
    static void TimerProc();

    static std::list<Stream*> StreamList;
    static bool TimerRunning;

    explicit TextureRenderer(IDirect3DDevice9* device);

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    // On the graph's streaming thread: the frame is kept until the main thread's next Update.
    HRESULT DoRenderSample(IMediaSample* sample) override;

    // Copies a waiting frame into the texture; main thread.
    void Upload();

    IDirect3DTexture9* texture = nullptr;
    IDirect3DDevice9* device;
    int32_t state = Stopped;
    RwTexture* engineTexture = nullptr;
    uint32_t videoWidth = 0, videoHeight = 0;
    uint32_t textureWidth = 0, textureHeight = 0;
    int64_t frameCount = 0;
    double frameRate = 0;
    int64_t lastFrame = -1;
    // The film reached its end without looping: the next Play starts it from the beginning.
    bool ended = false;
    // Pictures delivered since the graph was built; read by tests and the benchmark.
    uint64_t framesDelivered = 0;
    uint64_t framesUploaded = 0;

private:
    ~TextureRenderer() override;
    void ReleaseTexture();

    std::mutex frameLock;
    std::vector<uint8_t> pending; // rows of copyWidth x 2 bytes, copyHeight of them
    uint32_t copyWidth = 0, copyHeight = 0;
    bool framePending = false;
};
