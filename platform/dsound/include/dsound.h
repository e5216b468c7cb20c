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

// COM-style: the creator holds one reference, Release at zero frees. QueryInterface finds no other
// interfaces.
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

// device: null for the default output (the only one there is). Fails with DSERR_NODRIVER when OpenAL
// finds no output; ALSOFT_DRIVERS=null gives a silent one that still plays in real time.
HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* directSound, LPUNKNOWN outer);
