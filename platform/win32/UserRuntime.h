// What this user's running programs share: named objects and broadcast messages, through files in the user's
// runtime directory. Private to the Win32 layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Win32 {

// $XDG_RUNTIME_DIR/corvane, or /tmp/corvane-<uid> without it; made private to the user on first use.
// Empty when it cannot be made or is not safely ours (then nothing is shared between processes).
std::string RuntimeDirectory();

// A name that exists while some process of this user holds it: an advisory shared lock on a file named
// after it. Opening tells whether another process held it already.
class SharedName {
public:
    // Null when the runtime directory is unusable; then the name is known to this process only.
    static std::unique_ptr<SharedName> Open(const std::string& name, bool& heldElsewhere);
    ~SharedName();

private:
    SharedName() = default;
    int fd = -1;
    std::string path;
};

// A window message on its way to the other processes. A registered message travels by its name, since
// each process numbers its registered messages itself.
struct BroadcastMessage {
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    std::string name;
};

// Sends to every other listening process of this user; stale sockets of ended processes are removed.
void SendBroadcast(const BroadcastMessage& message);
// Starts this process's socket (once); false when it cannot.
bool ListenForBroadcasts();
// What has arrived since the last call; never blocks.
std::vector<BroadcastMessage> ReceiveBroadcasts();

} // namespace Win32
