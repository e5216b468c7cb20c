#include "network/Dispatch.h"

#include "base/FrameClock.h"
#include "base/TextTable.h"

#include <algorithm>
#include <vector>

namespace MPlr {

void GuidLess::Pack(const GUID& g, uint8_t out[16]) {
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(g.Data1 >> (8 * i));
    out[4] = uint8_t(g.Data2);
    out[5] = uint8_t(g.Data2 >> 8);
    out[6] = uint8_t(g.Data3);
    out[7] = uint8_t(g.Data3 >> 8);
    std::memcpy(out + 8, g.Data4, 8);
}

NetworkObjects::NetworkObjects(NetworkHost* game, Session* session) : game(game), session(session) {}

NetworkObjects::~NetworkObjects() = default;

Comm::NetworkObj* NetworkObjects::Register(std::unique_ptr<Comm::NetworkObj> proxy) {
    const GUID guid = proxy->guid;
    auto [it, inserted] = proxies.try_emplace(guid, std::move(proxy));
    return it->second.get();
}

Comm::NetworkObj* NetworkObjects::Find(const GUID& guid) const {
    auto it = proxies.find(guid);
    return it == proxies.end() ? nullptr : it->second.get();
}

Comm::NetworkObj* NetworkObjects::FindByObject(const Obj::Object* object) const {
    if (!object)
        return nullptr;
    for (const auto& [guid, proxy] : proxies)
        if (proxy->GetObject() == object)
            return proxy.get();
    return nullptr;
}

void NetworkObjects::AnnounceSystem(const Base::String& text) {
    if (!game)
        return;
    game->Announce(text);
    game->AddSystemChatLine(text);
}

bool NetworkObjects::Send(const Comm::Bytes& bytes, uint32_t flags, uint32_t timeoutMs, DPNID to) {
    if (divert) {
        divert(bytes, flags, to);
        return true;
    }
    if (!session || !session->peer)
        return false;
    DPN_BUFFER_DESC buffer{};
    buffer.dwBufferSize = DWORD(bytes.size());
    buffer.pBufferData = const_cast<BYTE*>(bytes.data());
    DPNHANDLE handle = 0;
    return SUCCEEDED(session->peer->SendTo(to, &buffer, 1, timeoutMs, nullptr, &handle, flags));
}

void NetworkObjects::SendChat(const Base::String& text) {
    Comm::ChatMessage chat;
    chat.sendTime = float(Base::FrameClock::GameTime);
    chat.text = text;
    Send(Comm::Encode(chat), Comm::ChatSendFlags, 0, DPNID_ALL_PLAYERS_GROUP);
}

void NetworkObjects::RemovePlayerObjects(DPNID player) {
    for (auto it = proxies.begin(); it != proxies.end();) {
        auto* remote = dynamic_cast<Comm::RemoteObj*>(it->second.get());
        if (remote && remote->owner == player) {
            if (remote->HasObject())
                remote->DeleteObject();
            tombstones[it->first] = Base::FrameClock::GameTime;
            it = proxies.erase(it);
        } else {
            ++it;
        }
    }
}

bool NetworkObjects::IsTombstoned(const GUID& guid) {
    auto it = tombstones.find(guid);
    if (it == tombstones.end())
        return false;
    if (Base::FrameClock::GameTime - it->second > TombstoneSeconds) {
        tombstones.erase(it);
        return false;
    }
    return true;
}

void NetworkObjects::HandleEvent(const IncomingMessage& message) {
    const PlayerEntry& player = message.event.player;
    if (message.event.kind == SessionEventKind::PlayerCreated) {
        if (!HasPlayer(player.id))
            players.insert(std::upper_bound(players.begin(), players.end(), player.id), player.id);
        if (game->HasLocalPilot()) {
            Base::String text;
            Base::Format(text, Base::GetFormat("MPlr.JoinGame", "s").c_str(), player.name.c_str());
            game->Announce(text);
        }
        return;
    }
    if (message.event.kind != SessionEventKind::PlayerDestroyed)
        return;
    std::erase(players, player.id);
    if (player.local) {
        game->Announce(Base::GetText("MPlr.ConnectionLost"));
        phase = ConnectionLost;
    } else {
        Base::String text;
        Base::Format(text, Base::GetFormat("MPlr.LeaveGame", "s").c_str(), player.name.c_str());
        game->Announce(text);
    }
    RemovePlayerObjects(player.id);
}

void NetworkObjects::HandleObjectMessage(IncomingMessage& message, const Comm::MessageHeader& header,
                                         Comm::Received kind) {
    auto it = proxies.find(header.object);
    if (it == proxies.end()) {
        // A removed notice may overtake the object's first state: remember the id, so that the late state
        // makes no copy that nothing would ever remove.
        if (kind == Comm::Received::Removed)
            tombstones[header.object] = Base::FrameClock::GameTime;
        // Only a state makes a proxy, and never for an object already removed.
        if (kind != Comm::Received::ObjectState || IsTombstoned(header.object))
            return;
        std::unique_ptr<Comm::RemoteObj> made = game->MakeRemote(
            this, header.objectKind, header.object, message.sender, header.sendTime - Comm::RemoteDelay);
        if (!made)
            return;
        if (header.objectKind == Comm::AirplaneObject) {
            Base::String name, team, text;
            session->GetPlayerNames(message.sender, name, team);
            if (game->GameType() == 2)
                Base::Format(text, Base::GetFormat("MPlr.PlayerSpawnT", "ss").c_str(), team.c_str(),
                             name.c_str());
            else
                Base::Format(text, Base::GetFormat("MPlr.PlayerSpawn", "s").c_str(), name.c_str());
            game->Announce(text);
        }
        it = proxies.emplace(header.object, std::move(made)).first;
    }
    Comm::NetworkObj* proxy = it->second.get();
    auto* remote = proxy->IsRemote() ? static_cast<Comm::RemoteObj*>(proxy) : nullptr;

    if (kind == Comm::Received::Removed) {
        // A removed notice for one of ours is ignored; for a copy, only its owner may send it.
        if (remote && message.sender == remote->owner) {
            remote->removalTime = header.sendTime;
            tombstones[header.object] = Base::FrameClock::GameTime;
        }
        return;
    }
    if (remote) {
        // States only, of the proxy's own kind, from its owner.
        if (kind != Comm::Received::ObjectState || header.objectKind != remote->AcceptedKind() ||
            message.sender != remote->owner)
            return;
    } else if (kind != Comm::Received::Damage || proxy->AcceptedKind() != Comm::NoObject) {
        // A local proxy takes only damage reports, and only a local airplane takes them.
        return;
    }
    Comm::HistoryEntry entry;
    entry.time = header.sendTime;
    entry.sender = message.sender;
    entry.buffer = std::move(message.buffer);
    entry.buffer.resize(message.size);
    proxy->AddToHistory(std::move(entry));
}

bool NetworkObjects::HasPlayer(DPNID id) const {
    return std::binary_search(players.begin(), players.end(), id);
}

void NetworkObjects::ProcessIncoming() {
    // The batch and the player list keep their capacity from frame to frame: a frame allocates nothing.
    if (session) {
        // The players first, then the queue: the session never holds both locks at once.
        {
            std::lock_guard<std::mutex> lock(session->playersLock);
            players.clear();
            for (const PlayerEntry& p : session->players)
                players.push_back(p.id);
        }
        std::sort(players.begin(), players.end());
        std::lock_guard<std::mutex> lock(session->incomingLock);
        batch.swap(session->incoming);
    }
    if (phase == New) {
        phase = Running; // what was queued before the first frame is dropped
    } else if (phase == Running) {
        for (IncomingMessage& message : batch) {
            if (phase != Running)
                break;
            if (message.sender == 0) {
                HandleEvent(message);
                continue;
            }
            if (!HasPlayer(message.sender))
                continue; // gone, or never here
            const std::size_t size = std::min<std::size_t>(message.size, message.buffer.size());
            Comm::MessageHeader header;
            const Comm::Received kind = Comm::Classify(message.buffer.data(), size, &header);
            if (kind == Comm::Received::Invalid || !Comm::IsWellFormed(message.buffer.data(), size))
                continue;
            if (kind == Comm::Received::Chat) {
                Comm::ChatMessage chat;
                if (Comm::Decode(message.buffer.data(), size, chat))
                    game->AddChatLine(message.sender, chat.text);
                continue;
            }
            message.size = uint32_t(size);
            HandleObjectMessage(message, header, kind);
        }
    }
    batch.clear();
    for (auto& [guid, proxy] : proxies)
        proxy->Update();
    // Copies that died here are unregistered; their ids stay remembered, so that late states make nothing.
    const double now = Base::FrameClock::GameTime;
    for (auto it = proxies.begin(); it != proxies.end();) {
        if (it->second->Finished()) {
            tombstones[it->first] = now;
            it = proxies.erase(it);
        } else {
            ++it;
        }
    }
    if (tombstones.size() > MaxTombstones / 2)
        std::erase_if(tombstones, [now](const auto& t) { return now - t.second > TombstoneSeconds; });
    // A flood of removed notices for made-up ids: the oldest go first.
    while (tombstones.size() > MaxTombstones)
        tombstones.erase(std::min_element(tombstones.begin(), tombstones.end(),
                                          [](const auto& a, const auto& b) { return a.second < b.second; }));
}

} // namespace MPlr
