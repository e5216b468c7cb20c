// DirectShow as the game uses it: one filter graph per film, a source filter for a file, intelligent connect
// to a video renderer of the game's own (derived from CBaseVideoRenderer), and the graph's control, position,
// event and seeking interfaces. Built on FFmpeg: the graph demuxes, decodes and converts to RGB565 on its own
// streaming thread and hands each frame to the renderer's DoRenderSample there.
#pragma once

#include <windows.h>

#include <cstdint>

// ---- identifiers

extern const GUID CLSID_FilterGraph;
extern const GUID IID_IGraphBuilder;
extern const GUID IID_IMediaControl;
extern const GUID IID_IMediaPosition;
extern const GUID IID_IMediaEvent;
extern const GUID IID_IMediaSeeking;
extern const GUID IID_IBaseFilter;
extern const GUID MEDIATYPE_Video;
extern const GUID MEDIATYPE_Audio;
extern const GUID MEDIASUBTYPE_RGB565;
extern const GUID MEDIASUBTYPE_PCM;
extern const GUID FORMAT_VideoInfo;
extern const GUID FORMAT_WaveFormatEx;
extern const GUID TIME_FORMAT_MEDIA_TIME;
extern const GUID TIME_FORMAT_FRAME;

typedef LONGLONG REFERENCE_TIME; // 100 ns units
typedef intptr_t LONG_PTR;
typedef double REFTIME; // seconds

#define E_ABORT ((HRESULT)0x80004004L)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216L)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217L)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218L)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204L)
#define VFW_E_UNSUPPORTED_STREAM ((HRESULT)0x80040265L)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209L)

#define EC_COMPLETE 0x01
#define EC_ERRORABORT 0x03

// ---- formats

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // negative: rows top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef struct _AMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
} AM_MEDIA_TYPE;
typedef AM_MEDIA_TYPE CMediaType;

// ---- interfaces

struct IMediaSample : IUnknown {
    virtual HRESULT GetPointer(BYTE** buffer) = 0;
    virtual LONG GetSize() = 0;
    virtual LONG GetActualDataLength() = 0;
    // Start and end in 100 ns units from the start of the stream.
    virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
};

typedef enum _PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 } PIN_DIRECTION;

struct IBaseFilter;

struct IPin : IUnknown {
    virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
    // The pin at the other end (a new reference), or VFW_E_NOT_CONNECTED.
    virtual HRESULT ConnectedTo(IPin** other) = 0;
    // Its name, copied into name (at most 128 characters with the terminator).
    virtual HRESULT QueryId(LPWSTR* id) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
};

struct IBaseFilter : IUnknown {
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
};

struct IGraphBuilder : IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR fileName, LPCWSTR filterName, IBaseFilter** filter) = 0;
    virtual HRESULT Connect(IPin* output, IPin* input) = 0;
    virtual HRESULT Render(IPin* output) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
};

struct IMediaPosition : IUnknown {
    virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
};

struct IMediaEvent : IUnknown {
    // E_ABORT when no event arrives within timeout milliseconds.
    virtual HRESULT GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeout) = 0;
    virtual HRESULT FreeEventParams(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

struct IMediaSeeking : IUnknown {
    virtual HRESULT SetTimeFormat(const GUID* format) = 0;
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
};

// ---- the renderer base class

namespace DShow {
class RendererPin;
class Graph;
} // namespace DShow

// A video renderer with one input pin "In". The graph offers it media types through CheckMediaType, sets the
// chosen one with SetMediaType before streaming starts, and calls DoRenderSample on its streaming thread for
// each frame when the frame is due.
class CBaseVideoRenderer : public IBaseFilter {
public:
    CBaseVideoRenderer(REFGUID clsid, const char* name, LPUNKNOWN outer, HRESULT* result);

    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    virtual HRESULT SetMediaType(const CMediaType* type);
    virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT EnumPins(IEnumPins** pins) override;

    const char* ObjectName() const { return objectName; }

protected:
    ~CBaseVideoRenderer() override;

private:
    friend class DShow::Graph;
    GUID classId;
    const char* objectName;
    ULONG references = 1;
    DShow::RendererPin* input;
};
