// The multiplayer game with what it announced and what chat it showed, for the tests to read.
#pragma once

#include "games/MPlrGame.h"
#include "network/ObjectProxies.h"

#include <map>
#include <string>
#include <vector>

namespace GameTest {

class RecordingGame : public MPlr::Game {
public:
    using Game::Game;
    void Announce(const Base::String& text) override {
        announced.push_back(text);
        Game::Announce(text);
    }
    void AddChatLine(DPNID sender, const Base::String& text) override {
        chat.push_back(text);
        Game::AddChatLine(sender, text);
    }
    // The shot-down announcements that name the player: every announcement naming it but those of taking
    // off, crashing, joining and leaving (airplanes flown hands off may hit the ground meanwhile).
    int ShotDownNaming(const std::string& name) const {
        int n = 0;
        for (const auto& t : announced)
            if (t.find(name) != std::string::npos) {
                bool other = false;
                for (const char* part :
                     {"takes off", "crashes", "hits the ground", "joins the game", "leaves the game"})
                    other = other || t.find(part) != std::string::npos;
                n += !other;
            }
        return n;
    }

    // The copies in this game's world, by their owner.
    std::map<DPNID, Obj::Airplane*> Copies() const {
        std::map<DPNID, Obj::Airplane*> out;
        for (const auto& [guid, proxy] : network->proxies)
            if (auto* remote = dynamic_cast<Comm::RemoteAirplane*>(proxy.get()))
                if (Obj::Airplane* a = remote->GetAirplane())
                    out[remote->owner] = a;
        return out;
    }

    std::vector<Base::String> announced, chat;
};

// How many of the texts hold the part.
inline int Count(const std::vector<Base::String>& texts, const std::string& part) {
    int n = 0;
    for (const auto& t : texts)
        n += t.find(part) != std::string::npos;
    return n;
}

} // namespace GameTest
