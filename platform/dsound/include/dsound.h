// The part of the DirectSound 8 interface that the game calls, played through OpenAL.
// Buffers keep their PCM themselves; a playing buffer feeds its OpenAL source through a short queue, so it
// may be written while it plays (a streaming ring) and reports a play cursor of its own.
#pragma once

#include <windows.h>

typedef const GUID* LPCGUID;
typedef LONG* LPLONG;

#define DS_OK S_OK
#define DSERR_GENERIC E_FAIL
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_INVALIDCALL ((HRESULT)0x88780032L)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001EL)
#define DSERR_NODRIVER ((HRESULT)0x88780078L)
#define DSERR_BADFORMAT ((HRESULT)0x88780064L)

// Cooperative levels: all of them behave alike here.
#define DSSCL_NORMAL 0x1
#define DSSCL_PRIORITY 0x2
#define DSSCL_EXCLUSIVE 0x3
#define DSSCL_WRITEPRIMARY 0x4

#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_STATIC 0x00000002
#define DSBCAPS_LOCHARDWARE 0x00000004
#define DSBCAPS_LOCSOFTWARE 0x00000008
#define DSBCAPS_CTRL3D 0x00000010
#define DSBCAPS_CTRLFREQUENCY 0x00000020
#define DSBCAPS_CTRLPAN 0x00000040
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_CTRLPOSITIONNOTIFY 0x00000100
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000

#define DSBPLAY_LOOPING 0x00000001

#define DSBSTATUS_PLAYING 0x00000001
#define DSBSTATUS_BUFFERLOST 0x00000002
#define DSBSTATUS_LOOPING 0x00000004

#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002

// Volume in hundredths of a decibel; pan is the attenuation of the opposite side, in the same unit.
#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0
#define DSBPAN_LEFT (-10000)
#define DSBPAN_CENTER 0
#define DSBPAN_RIGHT 10000
#define DSBFREQUENCY_ORIGINAL 0
#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 200000
#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF

#define WAVE_FORMAT_PCM 1

typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX, *LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

// dwSize is sizeof(DSBUFFERDESC): pointers make it larger than on 32-bit Windows.
typedef struct _DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    LPWAVEFORMATEX lpwfxFormat;
    GUID guid3DAlgorithm;
} DSBUFFERDESC, *LPDSBUFFERDESC;
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

// COM-style: the creator holds one reference, Release at zero frees. QueryInterface gives the 3D interfaces
// below (a buffer made with DSBCAPS_CTRL3D: IDirectSound3DBuffer; the primary buffer: the listener).
struct IDirectSoundBuffer : IUnknown {
    virtual HRESULT GetCurrentPosition(LPDWORD playCursor, LPDWORD writeCursor) = 0;
    virtual HRESULT GetVolume(LPLONG volume) = 0;
    virtual HRESULT GetPan(LPLONG pan) = 0;
    virtual HRESULT GetFrequency(LPDWORD frequency) = 0;
    virtual HRESULT GetStatus(LPDWORD status) = 0;
    virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2,
                         LPDWORD bytes2, DWORD flags) = 0;
    virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD position) = 0;
    virtual HRESULT SetVolume(LONG volume) = 0;
    virtual HRESULT SetPan(LONG pan) = 0;
    virtual HRESULT SetFrequency(DWORD frequency) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) = 0;
    virtual HRESULT Restore() = 0;
};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;
typedef IDirectSoundBuffer IDirectSoundBuffer8;
typedef IDirectSoundBuffer8* LPDIRECTSOUNDBUFFER8;

struct IDirectSound8 : IUnknown {
    // outer must be null (no aggregation).
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) = 0;
    // The duplicate shares the original's sample data, which lives until the last of them is released.
    virtual HRESULT DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};
typedef IDirectSound8* LPDIRECTSOUND8;

// ---- 3D sound: a buffer made with DSBCAPS_CTRL3D (mono, without DSBCAPS_CTRLPAN) is placed in space by its
// IDirectSound3DBuffer; the primary buffer's IDirectSound3DListener is the listener. Coordinates are
// left-handed: +x right, +y up, +z ahead of a listener in its default orientation. Attenuation follows the
// inverse distance from the minimum distance, held beyond the maximum.
typedef float D3DVALUE;

#define DS3D_IMMEDIATE 0x00000000
// Deferred settings take effect at once here; CommitDeferredSettings has nothing left to do.
#define DS3D_DEFERRED 0x00000001

#define DS3DMODE_NORMAL 0x00000000
#define DS3DMODE_HEADRELATIVE 0x00000001
#define DS3DMODE_DISABLE 0x00000002

#define DS3D_DEFAULTMINDISTANCE 1.0f
#define DS3D_DEFAULTMAXDISTANCE 1000000000.0f
#define DS3D_DEFAULTDISTANCEFACTOR 1.0f
#define DS3D_DEFAULTROLLOFFFACTOR 1.0f
#define DS3D_DEFAULTDOPPLERFACTOR 1.0f

// Our own interface ids: nothing outside this layer hands them out.
inline const GUID IID_IDirectSound3DBuffer = {
    0x6C6F7230, 0x0001, 0x4433, {0x44, 0x42, 0x75, 0x66, 0x66, 0x65, 0x72, 0x31}};
inline const GUID IID_IDirectSound3DListener = {
    0x6C6F7230, 0x0002, 0x4433, {0x44, 0x4C, 0x69, 0x73, 0x74, 0x65, 0x6E, 0x31}};

struct IDirectSound3DBuffer : IUnknown {
    virtual HRESULT SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) = 0;
    virtual HRESULT SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) = 0;
    virtual HRESULT SetMinDistance(D3DVALUE distance, DWORD apply) = 0;
    virtual HRESULT SetMaxDistance(D3DVALUE distance, DWORD apply) = 0;
    virtual HRESULT SetMode(DWORD mode, DWORD apply) = 0;
    virtual HRESULT GetMode(LPDWORD mode) = 0;
};
typedef IDirectSound3DBuffer* LPDIRECTSOUND3DBUFFER;
typedef IDirectSound3DBuffer IDirectSound3DBuffer8;

struct IDirectSound3DListener : IUnknown {
    virtual HRESULT SetPosition(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) = 0;
    virtual HRESULT SetVelocity(D3DVALUE x, D3DVALUE y, D3DVALUE z, DWORD apply) = 0;
    // front: where the listener faces; top: its up direction.
    virtual HRESULT SetOrientation(D3DVALUE frontX, D3DVALUE frontY, D3DVALUE frontZ, D3DVALUE topX,
                                   D3DVALUE topY, D3DVALUE topZ, DWORD apply) = 0;
    // Metres per unit of distance (the speed of sound is 343.3 m/s).
    virtual HRESULT SetDistanceFactor(D3DVALUE metresPerUnit, DWORD apply) = 0;
    virtual HRESULT SetDopplerFactor(D3DVALUE factor, DWORD apply) = 0;
    virtual HRESULT SetRolloffFactor(D3DVALUE factor, DWORD apply) = 0;
    virtual HRESULT CommitDeferredSettings() = 0;
};
typedef IDirectSound3DListener* LPDIRECTSOUND3DLISTENER;
typedef IDirectSound3DListener IDirectSound3DListener8;

// device: null for the default output (the only one there is). Fails with DSERR_NODRIVER when OpenAL
// finds no output; ALSOFT_DRIVERS=null gives a silent one that still plays in real time.
HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* directSound, LPUNKNOWN outer);
