// One member of a peer-to-peer session: the IDirectPlay8Peer of this layer.
//
// A network thread owns the sockets: it services ENet, answers and sends enumeration datagrams and calls the
// handler. All state sits behind one mutex; API calls take it briefly, and the network thread releases it
// before every handler call, so a handler may call back into the peer. Handler calls go through one FIFO,
// which keeps create before receive before destroy for every player.
#pragma once

#include "platform/dplay/Address.h"
#include "platform/dplay/Wire.h"

#include <dplay8.h>
#include <enet/enet.h>
#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace Dp8 {

class Peer final : public IDirectPlay8Peer {
public:
    static Peer* Create(); // one reference

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Initialize(PVOID context, PFNDPNMESSAGEHANDLER handler, DWORD flags) override;
    HRESULT EnumHosts(PDPN_APPLICATION_DESC application, IDirectPlay8Address* host,
                      IDirectPlay8Address* device, PVOID userData, DWORD userDataSize, DWORD count,
                      DWORD retryIntervalMs, DWORD timeoutMs, PVOID userContext, DPNHANDLE* handle,
                      DWORD flags) override;
    HRESULT CancelAsyncOperation(DPNHANDLE handle, DWORD flags) override;
    HRESULT Connect(const DPN_APPLICATION_DESC* application, IDirectPlay8Address* host,
                    IDirectPlay8Address* device, const DPN_SECURITY_DESC* security,
                    const DPN_SECURITY_CREDENTIALS* credentials, const void* connectData,
                    DWORD connectDataSize, PVOID playerContext, PVOID asyncContext, DPNHANDLE* handle,
                    DWORD flags) override;
    HRESULT SendTo(DPNID to, const DPN_BUFFER_DESC* buffers, DWORD count, DWORD timeoutMs, PVOID asyncContext,
                   DPNHANDLE* handle, DWORD flags) override;
    HRESULT Host(const DPN_APPLICATION_DESC* application, IDirectPlay8Address** devices, DWORD deviceCount,
                 const DPN_SECURITY_DESC* security, const DPN_SECURITY_CREDENTIALS* credentials,
                 PVOID playerContext, DWORD flags) override;
    HRESULT SetPeerInfo(const DPN_PLAYER_INFO* info, PVOID asyncContext, DPNHANDLE* handle,
                        DWORD flags) override;
    HRESULT GetPeerInfo(DPNID id, DPN_PLAYER_INFO* info, DWORD* size, DWORD flags) override;
    HRESULT Close(DWORD flags) override;

    // Test hooks (Control.h).
    void SetIncomingLoss(double fraction); // 1: cut off
    void InjectPacket(unsigned link, uint8_t channel, const uint8_t* bytes, size_t size);
    void InjectDatagram(const uint8_t* bytes, size_t size);

private:
    Peer() = default;
    ~Peer() override;

    enum class Phase { Off, Idle, Joining, InSession, Lost };

    struct Member {
        DPNID id = 0;
        std::u16string name;
        Bytes data;
        bool local = false;
        uint64_t token = 0; // the secret its Hello must carry (known for members announced after this peer)
        uint32_t ip = 0;
        uint16_t port = 0;
        ENetPeer* link = nullptr;  // null for the local player and until the link is up
        bool ready = false;        // the link is identified: messages may flow both ways
        bool gone = false;         // its destroy is queued; kept until delivered so GetPeerInfo still answers
        std::deque<Bytes> waiting; // guaranteed messages for a member whose link is not up yet
    };

    struct Link {
        DPNID member = 0;    // 0 while the stranger has not said who it is
        DPNID claimed = 0;   // a Hello for a member the host has not announced yet
        bool toHost = false; // the joiner's link to the host
        bool outgoing = false;
        uint64_t openedMs = 0;
        uint64_t claimedToken = 0; // what that Hello carried
    };

    struct Delivery {
        DWORD type = 0;
        DPNID id = 0;
        DWORD reason = 0;
        Bytes bytes;
        DPNHANDLE enumHandle = 0;
        PVOID userContext = nullptr;
        EnumResponse response;
        Address* sender = nullptr;
        Address* device = nullptr;
        DWORD latencyMs = 0;
    };

    struct Resolve {
        std::mutex lock;
        bool done = false;
        std::vector<sockaddr_in> targets;
    };

    struct Enumeration {
        DPNHANDLE handle = 0;
        GUID application{};
        int socket = -1;
        uint32_t nonce = 0;
        DWORD left = 0; // sends still to go; INFINITE for ever
        DWORD retryMs = 1000;
        DWORD timeoutMs = 0;
        uint64_t nextSendMs = 0;
        uint64_t endMs = 0; // after the last send
        PVOID userContext = nullptr;
        bool broadcastFallback = false;
        std::shared_ptr<Resolve> resolve; // while the host name is being looked up
        std::vector<sockaddr_in> targets;
    };

    // Network thread.
    void Run();
    void Service();
    void OnConnect(ENetPeer* peer, uint32_t data);
    void OnDisconnect(ENetPeer* peer, uint32_t data);
    void OnPacket(ENetPeer* peer, uint8_t channel, const uint8_t* p, size_t n);
    void OnJoinRequest(ENetPeer* peer, const JoinRequest& request);
    void OnJoinAccept(ENetPeer* peer, JoinAccept accept);
    void OnHello(ENetPeer* peer, const Hello& hello);
    void OnMemberAdded(const MemberAdded& added);
    void BindHello(Member& m, ENetPeer* peer);
    void RemoveMember(DPNID id, DWORD reason);
    void LoseSession(HRESULT why);
    void FinishJoin(HRESULT result);
    void Tick();
    void EnumTick(uint64_t now);
    void ReadResponder();
    void ReadEnumeration(Enumeration& e);
    void OnQuery(const uint8_t* p, size_t n, const sockaddr_in& from);
    void OnResponse(Enumeration& e, const uint8_t* p, size_t n, const sockaddr_in& from);
    void Deliver();

    // Helpers, under the lock.
    void Queue(Delivery d);
    void QueueDestroy(DPNID id, DWORD reason);
    void LoseAllMembers(bool dropLinks);
    void Wake();
    void WaitDelivered(std::unique_lock<std::mutex>& lk, uint64_t target);
    bool OnNetworkThread() const;
    void Send(ENetPeer* peer, uint8_t channel, const Bytes& bytes, uint32_t flags);
    void SendToMember(Member& m, const Bytes& bytes, bool guaranteed, bool unsequenced);
    void Drop(ENetPeer* peer, bool graceful);
    void Flush();
    Member* Live(DPNID id);
    DWORD LiveCount() const;
    void OpenResponder();
    void CloseResponder();
    void StopEnumeration(Enumeration& e);
    HRESULT OpenHost(IDirectPlay8Address* device);
    void DestroyHost();
    bool IsFake(ENetPeer* peer) const;
    uint32_t LinkIp(ENetPeer* peer) const;
    uint16_t LinkPort(ENetPeer* peer) const;
    uint16_t HostPort() const;

    std::atomic<ULONG> refs{1};

    mutable std::mutex lock;
    std::condition_variable changed;
    std::thread worker;
    std::thread::id workerId;
    int wakeFd = -1;
    bool stopping = false;

    Phase phase = Phase::Off;
    PVOID context = nullptr;
    PFNDPNMESSAGEHANDLER handler = nullptr;

    // This player's information, set before or during a session.
    std::u16string localName;
    Bytes localData;

    // The session.
    ENetHost* host = nullptr;
    GUID application{};
    GUID instance{};
    DWORD sessionFlags = 0;
    DWORD maxPlayers = 0;
    std::u16string sessionName;
    Bytes reserved;
    DPNID localId = 0;
    uint64_t localToken = 0; // what the host gave this peer to prove itself to the others
    DPNID hostId = 0;
    DPNID nextId = 0;
    std::map<DPNID, Member> members;
    std::map<ENetPeer*, Link> links;
    std::map<DPNID, std::pair<DPNID, uint64_t>> linkReports; // reporter -> (unreachable member, verdict time)
    int responder = -1;
    double responseBudget = 0;
    uint64_t budgetMs = 0;

    // Connect in progress.
    std::optional<HRESULT> joinResult;
    uint64_t joinDeadlineMs = 0;
    std::optional<GUID> joinInstance;
    JoinRequest joinRequest;
    std::set<DPNID> joinWaiting; // members whose Hello is not acknowledged yet

    std::vector<Enumeration> enumerations;
    DPNHANDLE nextHandle = 1;

    struct Pending {
        size_t count = 0;
        size_t bytes = 0;
    };
    std::deque<Delivery> deliveries;
    std::set<DPNID> infoPending;
    std::map<DPNID, Pending> pendingFrom; // queued game messages and their bytes, by sender
    size_t deliveryBytes = 0;
    uint64_t queued = 0;
    uint64_t delivered = 0;
    DPNHANDLE deliveringHandle = 0;
    bool delivering = false;

    double dropRate = 0;
};

} // namespace Dp8
