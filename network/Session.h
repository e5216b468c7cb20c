// The peer-to-peer network session; one lives for the whole run. For now it holds no connection yet.
#pragma once

namespace MPlr {

class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

} // namespace MPlr
