// Settings and test hooks of the DirectPlay 8 layer, gathered in one place.
// The settings are process-wide and read when a peer hosts, connects or enumerates.
#pragma once

#include <dplay8.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Dp8::Control {

// UDP port that hosts answer enumerations on. 0 restores the default: the environment variable
// CORVANE_DPLAY_ENUM_PORT, else 24760.
void SetEnumPort(uint16_t port);
uint16_t EnumPort();
// Whether hosts open that port at all (on by default; the fuzzer keeps its host off the network).
void SetAnswerEnumerations(bool answer);
bool AnswerEnumerations();

// Where an enumeration without a host name broadcasts. Empty restores the default: the comma-separated IPv4
// addresses of CORVANE_DPLAY_BROADCAST, else 255.255.255.255 and the broadcast address of every interface.
void SetBroadcastTargets(std::vector<std::string> ipv4);
std::vector<std::string> BroadcastTargets();

// How long a silent link lives (default 8000 ms) and how long Connect waits (default 10000 ms); 0 restores.
void SetLinkTimeoutMs(uint32_t ms);
uint32_t LinkTimeoutMs();
void SetConnectTimeoutMs(uint32_t ms);
uint32_t ConnectTimeoutMs();

// How host names become addresses (default: getaddrinfo). The function runs on a thread of its own, never
// on the caller's; it returns the dotted IPv4 address or nothing. An empty function restores the default.
void SetNameLookUp(std::function<std::optional<std::string>(const std::string& name)> lookUp);
std::optional<std::string> LookUpName(const std::string& name);

// Cuts a peer off the network (everything it receives is dropped) or joins it again; or drops only a
// fraction of what it receives, at random (the links retransmit what is guaranteed).
bool CutOff(IDirectPlay8Peer* peer, bool cut);
bool SetIncomingLoss(IDirectPlay8Peer* peer, double fraction);

// The receive path without sockets, for fuzzing. A packet arrives from one of a few fake links (link picks
// one; they start unidentified, as a stranger who just connected); a datagram arrives at the enumeration
// responder and at every running enumeration. Both run as the network thread would run them.
bool InjectPacket(IDirectPlay8Peer* peer, unsigned link, uint8_t channel, const uint8_t* bytes, size_t size);
bool InjectDatagram(IDirectPlay8Peer* peer, const uint8_t* bytes, size_t size);

} // namespace Dp8::Control
