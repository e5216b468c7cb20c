// The game overlay's message panel: one announcement at a time with its sender's portrait and name, the
// text scrolled through a text box, fades, a voice or the default chime, and a short queue.
#pragma once

#include "gui/Image.h"

#include <deque>
#include <map>

namespace Audio {
class Sound;
class SoundGroup;
} // namespace Audio

namespace Gui {

class Text;

struct Announcement {
    Base::String sender;
    Base::String text;
    float duration = 0;
    Audio::Sound* sound = nullptr; // prepared, not playing; owned
};

struct AnnouncerSender {
    RwTexture* texture = nullptr; // owned
    Base::String id;              // the name shown
    Rect texRect;
};

class Announcer : public Image {
public:
    // The queue's limit, the one being shown included.
    static constexpr size_t MaxQueued = 10;

    ~Announcer() override;
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;

    // Queues an announcement; its sound is prepared in group when one is given.
    void Announce(const Base::String& sender, const Base::String& soundName, const Base::String& text,
                  float duration, Audio::SoundGroup* group);

    // The text rests 1.5 s, scrolls evenly to its end and rests the last 1.5 s; 0 when there is no time to
    // scroll in.
    float ScrollFor(float t) const;
    // 0.1 s fade in, 0.4 s fade out before the end.
    uint8_t FadeAlpha(float t) const;

    Image* senderImage = nullptr;
    Text* textBox = nullptr;
    Text* senderText = nullptr;
    Announcement* current = nullptr;
    float startTime = -1.0f;
    std::deque<Announcement*> queue;
    std::map<Base::String, AnnouncerSender> senders;
    Audio::Sound* voice = nullptr;
};

} // namespace Gui
