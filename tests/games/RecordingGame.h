// The multiplayer game with what it announced and what chat it showed, for the tests to read.
#pragma once

#include "games/MPlrGame.h"

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

    std::vector<Base::String> announced, chat;
};

} // namespace GameTest
