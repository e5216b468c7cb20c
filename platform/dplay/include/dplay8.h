// The part of the DirectPlay 8 peer interface that the game calls, on ENet.
//
// Offered: one peer object per session member (CoCreateInstance of CLSID_DirectPlay8Peer) with Initialize,
// Host, Connect (synchronous only), EnumHosts, CancelAsyncOperation, SendTo, SetPeerInfo, GetPeerInfo and
// Close; addresses (CLSID_DirectPlay8Address) with the TCP/IP service provider and the "hostname" and
// "port" components. Members form a full mesh of ENet links; the host admits joiners and hands out player
// ids, and when it leaves the member with the lowest id takes over (DPNSESSION_MIGRATE_HOST).
// Not offered: groups, lobbies, client/server objects, passwords, security, asynchronous Connect, send
// completions and the buffer-return calls; they answer DPNERR_UNSUPPORTED where a caller could ask. Send
// priorities are accepted and make no difference; a message that is not guaranteed goes out at once or not
// at all, so its timeout never comes into play.
//
// Handler calls come from the layer's own network thread, never while it holds a lock that an API call can
// wait on; every message that a remote member sends is checked for size and content before it is handed on.
#pragma once

#include <windows.h>

typedef DWORD DPNID;
typedef DWORD DPNHANDLE;
typedef void* PVOID;

#define DPNID_ALL_PLAYERS_GROUP 0u

// Results. Failures keep the facility's high word; the values are this layer's own.
#define DPN_OK S_OK
#define DPNSUCCESS_PENDING ((HRESULT)0x0015800EL)
#define DPNERR_GENERIC E_FAIL
#define DPNERR_INVALIDPARAM E_INVALIDARG
#define DPNERR_OUTOFMEMORY E_OUTOFMEMORY
#define DPNERR_UNSUPPORTED E_NOTIMPL
#define DPNERR_INVALIDPOINTER E_POINTER
#define DPNERR_ALREADYINITIALIZED ((HRESULT)0x801500A0L)
#define DPNERR_NOTINITIALIZED ((HRESULT)0x80158100L)
#define DPNERR_ALREADYCONNECTED ((HRESULT)0x80150110L)
#define DPNERR_NOCONNECTION ((HRESULT)0x80150280L)
#define DPNERR_CONNECTIONLOST ((HRESULT)0x801500D0L)
#define DPNERR_INVALIDPLAYER ((HRESULT)0x80150200L)
#define DPNERR_INVALIDHANDLE ((HRESULT)0x801501B0L)
#define DPNERR_INVALIDAPPLICATION ((HRESULT)0x80150160L)
#define DPNERR_INVALIDINSTANCE ((HRESULT)0x801501A0L)
#define DPNERR_SESSIONFULL ((HRESULT)0x80150330L)
#define DPNERR_TIMEDOUT ((HRESULT)0x80150380L)
#define DPNERR_BUFFERTOOSMALL ((HRESULT)0x80150050L)
#define DPNERR_HOSTREJECTEDCONNECTION ((HRESULT)0x80150190L)
#define DPNERR_USERCANCEL ((HRESULT)0x801503C0L)
#define DPNERR_ADDRESSING ((HRESULT)0x80150010L)
// The player's information is still on its way (the caller may try again at once).
#define DPNERR_PLAYERINFOPENDING ((HRESULT)0x80158150L)

// Flags.
#define DPNSESSION_MIGRATE_HOST 0x0004u
#define DPNINFO_NAME 0x0001u
#define DPNINFO_DATA 0x0002u
#define DPNPLAYER_LOCAL 0x0002u
#define DPNPLAYER_HOST 0x0004u
#define DPNSETPEERINFO_SYNC 0x80000000u
#define DPNCONNECT_SYNC 0x80000000u
#define DPNENUMHOSTS_SYNC 0x80000000u
#define DPNENUMHOSTS_NOBROADCASTFALLBACK 0x0002u
#define DPNSEND_SYNC 0x80000000u
#define DPNSEND_NOCOPY 0x0001u
#define DPNSEND_NOCOMPLETE 0x0002u
#define DPNSEND_COMPLETEONPROCESS 0x0004u
#define DPNSEND_GUARANTEED 0x0008u
#define DPNSEND_NONSEQUENTIAL 0x0010u
#define DPNSEND_NOLOOPBACK 0x0020u
#define DPNSEND_PRIORITY_LOW 0x0040u
#define DPNSEND_PRIORITY_HIGH 0x0080u

// Limits of this layer: longer names and larger data are refused where they are set and where they arrive.
#define DPN_MAX_NAME_CHARS 64u      // UTF-16 units, without the terminating NUL
#define DPN_MAX_PLAYER_DATA 32u     // bytes of a player's application data
#define DPN_MAX_RESERVED_DATA 1024u // bytes of a session's application reserved data
#define DPN_MAX_MESSAGE_SIZE 65536u // bytes of one SendTo
#define DPN_MAX_PLAYERS 64u         // members of one session, whatever the host asks

// Messages handed to the handler.
#define DPN_MSGID_CREATE_PLAYER 0xFFFF0001u
#define DPN_MSGID_DESTROY_PLAYER 0xFFFF0002u
#define DPN_MSGID_ENUM_HOSTS_RESPONSE 0xFFFF0003u
#define DPN_MSGID_PEER_INFO 0xFFFF0004u
#define DPN_MSGID_RECEIVE 0xFFFF0005u
#define DPN_MSGID_HOST_MIGRATE 0xFFFF0006u
#define DPN_MSGID_TERMINATE_SESSION 0xFFFF0007u

#define DPNDESTROYPLAYERREASON_NORMAL 0x0001u
#define DPNDESTROYPLAYERREASON_CONNECTIONLOST 0x0002u
#define DPNDESTROYPLAYERREASON_SESSIONTERMINATED 0x0003u

// Address components.
#define DPNA_DATATYPE_STRING 0x0001u
#define DPNA_DATATYPE_DWORD 0x0002u
#define DPNA_DATATYPE_GUID 0x0003u
#define DPNA_DATATYPE_BINARY 0x0004u
#define DPNA_DATATYPE_STRING_ANSI 0x0005u
#define DPNA_KEY_HOSTNAME u"hostname"
#define DPNA_KEY_PORT u"port"

struct IDirectPlay8Address;
typedef IDirectPlay8Address* PDIRECTPLAY8ADDRESS;

// Sizes are sizeof of the structure (pointers are 64-bit here); callers set dwSize from sizeof.
typedef struct _DPN_APPLICATION_DESC {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidInstance;
    GUID guidApplication;
    DWORD dwMaxPlayers;
    DWORD dwCurrentPlayers;
    WCHAR* pwszSessionName;
    WCHAR* pwszPassword;
    PVOID pvReservedData;
    DWORD dwReservedDataSize;
    PVOID pvApplicationReservedData;
    DWORD dwApplicationReservedDataSize;
} DPN_APPLICATION_DESC, *PDPN_APPLICATION_DESC;

typedef struct _DPN_PLAYER_INFO {
    DWORD dwSize;
    DWORD dwInfoFlags;
    WCHAR* pwszName;
    PVOID pvData;
    DWORD dwDataSize;
    DWORD dwPlayerFlags;
} DPN_PLAYER_INFO, *PDPN_PLAYER_INFO;

typedef struct _DPN_BUFFER_DESC {
    DWORD dwBufferSize;
    BYTE* pBufferData;
} DPN_BUFFER_DESC, *PDPN_BUFFER_DESC;

struct DPN_SECURITY_DESC;
struct DPN_SECURITY_CREDENTIALS;

typedef struct _DPNMSG_CREATE_PLAYER {
    DWORD dwSize;
    DPNID dpnidPlayer;
    PVOID pvPlayerContext;
} DPNMSG_CREATE_PLAYER;

typedef struct _DPNMSG_DESTROY_PLAYER {
    DWORD dwSize;
    DPNID dpnidPlayer;
    PVOID pvPlayerContext;
    DWORD dwReason;
} DPNMSG_DESTROY_PLAYER;

typedef struct _DPNMSG_PEER_INFO {
    DWORD dwSize;
    DPNID dpnidPlayer;
    PVOID pvPlayerContext;
} DPNMSG_PEER_INFO;

typedef struct _DPNMSG_RECEIVE {
    DWORD dwSize;
    DPNID dpnidSender;
    PVOID pvPlayerContext;
    BYTE* pReceiveData;
    DWORD dwReceiveDataSize;
    DPNHANDLE hBufferHandle;
    DWORD dwReceiveFlags;
} DPNMSG_RECEIVE;

// The addresses are the layer's: valid during the call; AddRef to keep them.
typedef struct _DPNMSG_ENUM_HOSTS_RESPONSE {
    DWORD dwSize;
    IDirectPlay8Address* pAddressSender;
    IDirectPlay8Address* pAddressDevice;
    const DPN_APPLICATION_DESC* pApplicationDescription;
    PVOID pvResponseData;
    DWORD dwResponseDataSize;
    PVOID pvUserContext;
    DWORD dwRoundTripLatencyMS;
} DPNMSG_ENUM_HOSTS_RESPONSE;

typedef struct _DPNMSG_HOST_MIGRATE {
    DWORD dwSize;
    DPNID dpnidNewHost;
    PVOID pvPlayerContext;
} DPNMSG_HOST_MIGRATE;

typedef struct _DPNMSG_TERMINATE_SESSION {
    DWORD dwSize;
    HRESULT hResultCode;
    PVOID pvTerminateData;
    DWORD dwTerminateDataSize;
} DPNMSG_TERMINATE_SESSION;

typedef HRESULT (*PFNDPNMESSAGEHANDLER)(PVOID context, DWORD messageType, PVOID message);

extern const GUID CLSID_DirectPlay8Peer;
extern const GUID CLSID_DirectPlay8Address;
extern const GUID IID_IDirectPlay8Peer;
extern const GUID IID_IDirectPlay8Address;
extern const GUID CLSID_DP8SP_TCPIP;

struct IDirectPlay8Address : IUnknown {
    virtual HRESULT SetSP(const GUID* sp) = 0;
    virtual HRESULT GetSP(GUID* sp) = 0;
    // A component by name: "hostname" (string, UTF-16 with its NUL, or DPNA_DATATYPE_STRING_ANSI UTF-8) and
    // "port" (DWORD). Others are kept and returned but mean nothing to the layer.
    virtual HRESULT AddComponent(const WCHAR* name, const void* data, DWORD size, DWORD dataType) = 0;
    virtual HRESULT GetComponentByName(const WCHAR* name, void* buffer, DWORD* size, DWORD* dataType) = 0;
    virtual HRESULT Duplicate(IDirectPlay8Address** copy) = 0;
};

struct IDirectPlay8Peer : IUnknown {
    virtual HRESULT Initialize(PVOID context, PFNDPNMESSAGEHANDLER handler, DWORD flags) = 0;
    virtual HRESULT EnumHosts(PDPN_APPLICATION_DESC application, IDirectPlay8Address* host,
                              IDirectPlay8Address* device, PVOID userData, DWORD userDataSize, DWORD count,
                              DWORD retryIntervalMs, DWORD timeoutMs, PVOID userContext, DPNHANDLE* handle,
                              DWORD flags) = 0;
    virtual HRESULT CancelAsyncOperation(DPNHANDLE handle, DWORD flags) = 0;
    virtual HRESULT Connect(const DPN_APPLICATION_DESC* application, IDirectPlay8Address* host,
                            IDirectPlay8Address* device, const DPN_SECURITY_DESC* security,
                            const DPN_SECURITY_CREDENTIALS* credentials, const void* connectData,
                            DWORD connectDataSize, PVOID playerContext, PVOID asyncContext, DPNHANDLE* handle,
                            DWORD flags) = 0;
    virtual HRESULT SendTo(DPNID to, const DPN_BUFFER_DESC* buffers, DWORD count, DWORD timeoutMs,
                           PVOID asyncContext, DPNHANDLE* handle, DWORD flags) = 0;
    virtual HRESULT Host(const DPN_APPLICATION_DESC* application, IDirectPlay8Address** devices,
                         DWORD deviceCount, const DPN_SECURITY_DESC* security,
                         const DPN_SECURITY_CREDENTIALS* credentials, PVOID playerContext, DWORD flags) = 0;
    virtual HRESULT SetPeerInfo(const DPN_PLAYER_INFO* info, PVOID asyncContext, DPNHANDLE* handle,
                                DWORD flags) = 0;
    // *size in, the buffer's size; out, the size needed (DPNERR_BUFFERTOOSMALL when it is larger).
    virtual HRESULT GetPeerInfo(DPNID id, DPN_PLAYER_INFO* info, DWORD* size, DWORD flags) = 0;
    virtual HRESULT Close(DWORD flags) = 0;
};
