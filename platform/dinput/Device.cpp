#include "platform/dinput/Device.h"

#include "platform/win32/SdlWindow.h"

#include <cstring>

namespace DInput {
namespace {

constexpr DWORD kMaxBuffer = 65536; // records; a larger request gets this many

// The only property form taken: one DWORD for the whole device.
bool IsDeviceDword(LPCDIPROPHEADER header) {
    return header && header->dwSize == sizeof(DIPROPDWORD) && header->dwHeaderSize == sizeof(DIPROPHEADER) &&
           header->dwHow == DIPH_DEVICE;
}

} // namespace

Device::Device(const DIDATAFORMAT& format, DWORD axisMode, Uint32 sdlSubsystems)
    : format_(format), sdlSubsystems_(sdlSubsystems), axisMode_(axisMode) {
    SDL_InitSubSystem(sdlSubsystems_);
}

Device::~Device() {
    StopWatching();
    SDL_QuitSubSystem(sdlSubsystems_);
}

void Device::StartWatching() {
    SDL_AddEventWatch(&Device::Watch, this);
    watching_ = true;
}

void Device::StopWatching() {
    // Returns once no other thread is inside the watch, so the kind's members may go after it.
    if (watching_)
        SDL_DelEventWatch(&Device::Watch, this);
    watching_ = false;
}

HRESULT Device::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (iid == IID_IDirectInputDevice8A) {
        AddRef();
        *object = static_cast<IDirectInputDevice8A*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Device::AddRef() {
    return ++references_;
}

ULONG Device::Release() {
    ULONG left = --references_;
    if (left == 0) {
        Unacquire();
        StopWatching();
        delete this;
    }
    return left;
}

HRESULT Device::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    if (!IsDeviceDword(header))
        return DIERR_INVALIDPARAM;
    DWORD value = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
    std::lock_guard<std::mutex> guard(lock_);
    if (acquired_)
        return DIERR_ACQUIRED;
    if (property == DIPROP_BUFFERSIZE) {
        bufferSize_ = value < kMaxBuffer ? value : kMaxBuffer;
        ring_.assign(bufferSize_, DIDEVICEOBJECTDATA{}); // set up front: no allocation while events flow
        head_ = count_ = 0;
        return DI_OK;
    }
    if (property == DIPROP_AXISMODE) {
        if (value != DIPROPAXISMODE_ABS && value != DIPROPAXISMODE_REL)
            return DIERR_INVALIDPARAM;
        axisMode_ = value;
        return DI_OK;
    }
    return DIERR_UNSUPPORTED;
}

HRESULT Device::GetProperty(REFGUID property, LPDIPROPHEADER header) {
    if (!IsDeviceDword(header))
        return DIERR_INVALIDPARAM;
    DWORD& value = reinterpret_cast<DIPROPDWORD*>(header)->dwData;
    std::lock_guard<std::mutex> guard(lock_);
    if (property == DIPROP_BUFFERSIZE)
        value = bufferSize_;
    else if (property == DIPROP_AXISMODE)
        value = axisMode_;
    else
        return DIERR_UNSUPPORTED;
    return DI_OK;
}

bool Device::WindowHasFocus() const {
    if (focus_ >= 0)
        return focus_ == 1;
    SDL_Window* window = SDL_GetWindowFromID(windowId_);
    if (window && (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS))
        return true;
    // Drivers without a desktop never hand out focus; their one window counts as in front.
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

HRESULT Device::Acquire() {
    if (!Attached())
        return DIERR_INPUTLOST;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!formatSet_)
            return DIERR_INVALIDPARAM;
        if (acquired_)
            return DI_NOEFFECT;
        if ((cooperation_ & DISCL_FOREGROUND) && !WindowHasFocus())
            return DIERR_OTHERAPPHASPRIO;
        acquired_ = true;
        lost_ = false;
        overflow_ = false;
        head_ = count_ = 0;
        OnAcquired();
    }
    Engage(true);
    return DI_OK;
}

HRESULT Device::Unacquire() {
    bool was;
    {
        std::lock_guard<std::mutex> guard(lock_);
        lost_ = false;
        was = acquired_;
        if (acquired_)
            OnUnacquired();
        acquired_ = false;
    }
    Engage(false); // also after a loss, which happens inside the event watch where SDL may not be called
    return was ? DI_OK : DI_NOEFFECT;
}

HRESULT Device::CheckReadable() {
    if (acquired_)
        return DI_OK;
    if (lost_) {
        lost_ = false;
        return DIERR_INPUTLOST;
    }
    return DIERR_NOTACQUIRED;
}

HRESULT Device::GetDeviceState(DWORD size, LPVOID data) {
    if (!data)
        return DIERR_INVALIDPARAM;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!formatSet_ || size != format_.dwDataSize)
            return DIERR_INVALIDPARAM;
        HRESULT hr = CheckReadable();
        if (FAILED(hr))
            return hr;
    }
    if (!Attached()) {
        Unacquire();
        return DIERR_INPUTLOST;
    }
    ReadState(data);
    return DI_OK;
}

HRESULT Device::GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD count, DWORD flags) {
    if (!count || recordSize != sizeof(DIDEVICEOBJECTDATA))
        return DIERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock_);
    HRESULT hr = CheckReadable();
    if (FAILED(hr)) {
        *count = 0;
        return hr;
    }
    if (bufferSize_ == 0) {
        *count = 0;
        return DIERR_INVALIDPARAM; // not buffered
    }
    DWORD n = 0;
    while (n < *count && n < count_) {
        if (records)
            records[n] = At(n);
        ++n;
    }
    if (!(flags & DIGDD_PEEK)) {
        head_ = (head_ + n) % ring_.size();
        count_ -= n;
    }
    *count = n;
    if (overflow_) {
        overflow_ = false;
        return DI_BUFFEROVERFLOW;
    }
    return DI_OK;
}

HRESULT Device::SetDataFormat(LPCDIDATAFORMAT format) {
    if (format != &format_)
        return DIERR_INVALIDPARAM; // each kind of device serves its own format
    std::lock_guard<std::mutex> guard(lock_);
    if (acquired_)
        return DIERR_ACQUIRED;
    formatSet_ = true;
    return DI_OK;
}

HRESULT Device::SetCooperativeLevel(HWND window, DWORD flags) {
    bool exclusive = flags & DISCL_EXCLUSIVE, nonExclusive = flags & DISCL_NONEXCLUSIVE;
    bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
    if (exclusive == nonExclusive || foreground == background)
        return DIERR_INVALIDPARAM;
    SDL_Window* sdl = Win32::SdlWindow(window);
    if (!sdl)
        return DIERR_INVALIDPARAM;
    Uint32 id = SDL_GetWindowID(sdl);
    std::lock_guard<std::mutex> guard(lock_);
    if (acquired_)
        return DIERR_ACQUIRED;
    if (id != windowId_)
        focus_ = -1;
    windowId_ = id;
    cooperation_ = flags;
    return DI_OK;
}

HRESULT Device::GetObjectInfo(LPDIDEVICEOBJECTINSTANCEA object, DWORD objectId, DWORD how) {
    if (!object || object->dwSize != sizeof(DIDEVICEOBJECTINSTANCEA) || how != DIPH_BYOFFSET)
        return DIERR_INVALIDPARAM;
    DIDEVICEOBJECTINSTANCEA found{};
    found.dwSize = sizeof(found);
    found.dwOfs = objectId;
    if (!FindObject(objectId, found))
        return DIERR_OBJECTNOTFOUND;
    *object = found;
    return DI_OK;
}

bool Device::FindObject(DWORD, DIDEVICEOBJECTINSTANCEA&) const {
    return false;
}

HRESULT Device::Poll() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        HRESULT hr = CheckReadable();
        if (FAILED(hr))
            return hr;
    }
    return PollDevice();
}

void Device::Record(DWORD offset, DWORD data, Uint32 timestamp, bool relativeAxis) {
    if (relativeAxis) {
        for (size_t i = count_; i-- > 0;) {
            DIDEVICEOBJECTDATA& r = At(i);
            if (r.dwOfs == offset) {
                r.dwData = static_cast<DWORD>(static_cast<LONG>(r.dwData) + static_cast<LONG>(data));
                return;
            }
            if (r.dwOfs != DIMOFS_X && r.dwOfs != DIMOFS_Y && r.dwOfs != DIMOFS_Z)
                break;
        }
    }
    if (count_ >= ring_.size()) {
        overflow_ = bufferSize_ > 0;
        return;
    }
    DIDEVICEOBJECTDATA record{};
    record.dwOfs = offset;
    record.dwData = data;
    record.dwTimeStamp = timestamp;
    record.dwSequence = ++sequence_;
    ++count_;
    At(count_ - 1) = record;
}

int Device::Watch(void* self, SDL_Event* event) {
    static_cast<Device*>(self)->Observe(*event);
    return 0;
}

void Device::Observe(const SDL_Event& event) {
    std::lock_guard<std::mutex> guard(lock_);
    if (event.type == SDL_WINDOWEVENT && event.window.windowID == windowId_ && windowId_ != 0) {
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            focus_ = 1;
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            focus_ = 0;
            if (acquired_ && (cooperation_ & DISCL_FOREGROUND)) {
                // A foreground device is lost with the focus; the game re-acquires it when it comes back.
                acquired_ = false;
                lost_ = true;
                OnUnacquired();
            }
        }
        return;
    }
    if (acquired_)
        OnEvent(event);
}

} // namespace DInput
