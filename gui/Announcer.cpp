#include "gui/Announcer.h"

#include "audio/CreateSound.h"
#include "audio/Sound.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Desktop.h"
#include "gui/Text.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <algorithm>
#include <cmath>

namespace Gui {

namespace {

const Base::ClassRegistration<Announcer> announcerRegistration("class Gui::Announcer");

// Seconds of a text without a voice or a given duration.
float TextDuration(const Base::String& text) {
    return 3.0f + 0.05f * float(text.size());
}

} // namespace

Announcer::~Announcer() {
    delete voice;
    for (Announcement* a : queue) {
        delete a->sound;
        delete a;
    }
    for (auto& [key, sender] : senders)
        if (sender.texture)
            RwTextureDestroy(sender.texture);
}

bool Announcer::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Widget::Load(widgetName, node) || !ImageBase::Load(node))
        return false;
    Base::String path;
    if (node.TryGetString("Text", path))
        textBox = Find<Text>(path, true);
    if (node.TryGetString("Id", path))
        senderText = Find<Text>(path, true);
    if (node.TryGetString("Sender", path))
        senderImage = Find<Image>(path, true);
    if (const Base::Info* list = node.GetChild("Senders"))
        for (const auto& [key, entry] : list->GetChildren()) {
            AnnouncerSender sender;
            Base::String textureName;
            if (key.empty() || senders.count(key) || !entry->TryGetString("Id", sender.id) ||
                !entry->TryGetString("Texture", textureName) || textureName.empty() ||
                !entry->GetRect("TexRect", sender.texRect))
                continue;
            sender.texture =
                Rw::LoadTexture(textureName.c_str(), rwTEXTUREADDRESSCLAMP, rwFILTERLINEARMIPLINEAR);
            senders.emplace(key, sender);
        }
    SetVisible(false);
    return true;
}

void Announcer::Announce(const Base::String& sender, const Base::String& soundName, const Base::String& text,
                         float duration, Audio::SoundGroup* group) {
    if (queue.size() >= MaxQueued)
        return;
    auto* record = new Announcement{sender, text, duration, nullptr};
    if (group && !soundName.empty())
        record->sound = Audio::CreateSound(soundName, group);
    if (record->duration <= 0) {
        const Audio::Sound* s = record->sound;
        // A buffer that reports no rate, channels or bits has no length: the text's own time holds.
        if (s && s->bits >= 8 && s->rate > 0 && s->channels > 0)
            record->duration = float(double(s->size) / (double(s->bits / 8) * s->rate * s->channels)) + 1.0f;
        else
            record->duration = TextDuration(text);
    }
    queue.push_back(record);
    SetVisible(true);
}

float Announcer::ScrollFor(float t) const {
    if (!current || !textBox || current->duration <= 3.0f)
        return 0;
    const float maxScroll = textBox->bounds.bottom;
    return std::clamp((t - 1.5f) / (current->duration - 3.0f) * maxScroll, std::min(0.0f, maxScroll),
                      std::max(0.0f, maxScroll));
}

uint8_t Announcer::FadeAlpha(float t) const {
    if (t < 0.1f)
        return uint8_t(std::lround(std::max(t, 0.0f) * 2550.0f));
    const float r = (current ? current->duration : 0) - t;
    if (r < 0)
        return 0;
    if (r < 0.4f)
        return uint8_t(std::lround(r * 637.5f));
    return 255;
}

void Announcer::Update() {
    UpdateChildren(false);
    const float now = float(Base::FrameClock::GameTime);
    if (current) {
        const float t = now - startTime;
        if (textBox && startTime >= 0)
            textBox->SetScrollPos({textBox->scrollPos.x, ScrollFor(t)});
        // The announcement waits for its voice as well as its time.
        const bool voiceDone =
            !voice || voice->state == Audio::BasicSound::Finished || voice->state == Audio::BasicSound::Idle;
        if (voiceDone && startTime >= 0 && t > current->duration) {
            delete voice;
            voice = nullptr;
            queue.pop_front();
            delete current->sound;
            delete current;
            current = nullptr;
        }
    }
    if (!current && !queue.empty()) {
        current = queue.front();
        startTime = -1.0f;
        if (textBox)
            textBox->SetText(current->text);
        const auto found = senders.find(current->sender);
        if (found == senders.end()) {
            if (senderImage) {
                senderImage->SetTexture(nullptr, {});
                senderImage->color = {0, 0, 0, 0};
            }
            if (senderText)
                senderText->SetText("");
        } else {
            if (senderImage) {
                senderImage->SetTexture(found->second.texture, found->second.texRect);
                senderImage->color = {255, 255, 255, 255};
            }
            if (senderText)
                senderText->SetText(found->second.id);
        }
        if (owner && owner->sounds) {
            if (current->sound) {
                voice = new Audio::Sound(*current->sound, owner->sounds);
                voice->position = 0;
                voice->state = Audio::BasicSound::PlayRequested;
            } else {
                owner->PlaySound("Gui\\Announce.wav");
            }
        }
    }
    SetVisible(current != nullptr);
}

void Announcer::Draw() {
    const float now = float(Base::FrameClock::GameTime);
    if (current && startTime < 0)
        startTime = now; // the clock starts when the announcement is first seen
    const uint8_t alpha = current ? FadeAlpha(now - startTime) : 0;
    const RwRGBA shade = {255, 255, 255, alpha};
    color = shade;
    if (textBox)
        textBox->colour = ToArgb(shade);
    if (senderText)
        senderText->colour = ToArgb(shade);
    if (senderImage)
        senderImage->color = senderImage->texture ? shade : RwRGBA{0, 0, 0, 0};
    ImageBase::Draw(owner, absRect);
    DrawChildren();
}

} // namespace Gui
