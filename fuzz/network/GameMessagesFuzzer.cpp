// Arbitrary bytes read as every kind of game message, as a peer's dispatch would: whatever a peer sends,
// a message is either refused or read into fields that are finite, with texts that end inside their
// fields, and that read back the same when sent again.
#include "network/Messages.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

void CheckV3(const RwV3d& v) {
    Check(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
}

// A message that was read is sent again and must read back to the same bytes.
template <class M> void RoundTrip(const M& m) {
    const Comm::Bytes again = Comm::Encode(m);
    M back;
    Check(Comm::Decode(again.data(), again.size(), back));
    Check(Comm::Encode(back) == again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Comm::MessageHeader header;
    const Comm::Received kind = Comm::Classify(data, size, &header);
    if (kind != Comm::Received::Invalid)
        Check(std::isfinite(header.sendTime));

    Comm::AirplaneStateMessage airplane;
    if (Comm::Decode(data, size, airplane)) {
        Check(kind == Comm::Received::ObjectState && size == Comm::AirplaneStateSize);
        CheckV3(airplane.position);
        CheckV3(airplane.velocity);
        Check(airplane.typeName.size() < Comm::TypeNameField &&
              airplane.lastAttacker.size() < Comm::AttackerField);
        RoundTrip(airplane);
    }
    Comm::ExplosionStateMessage explosion;
    if (Comm::Decode(data, size, explosion)) {
        Check(std::isfinite(explosion.size));
        RoundTrip(explosion);
    }
    Comm::HomingRocketStateMessage rocket;
    if (Comm::Decode(data, size, rocket)) {
        CheckV3(rocket.position);
        Check(rocket.typeName.size() < Comm::TypeNameField);
        if (Comm::IsValidTypeName(rocket.typeName))
            Check(rocket.typeName.find('.') == std::string::npos &&
                  rocket.typeName.find('\\') == std::string::npos);
        RoundTrip(rocket);
    }
    Comm::CountermeasureStateMessage decoy;
    if (Comm::Decode(data, size, decoy)) {
        CheckV3(decoy.position);
        RoundTrip(decoy);
    }
    Comm::RemovedMessage removed;
    if (Comm::Decode(data, size, removed))
        RoundTrip(removed);
    Comm::DamageMessage damage;
    if (Comm::Decode(data, size, damage)) {
        Check(std::isfinite(damage.hitPointChange));
        RoundTrip(damage);
    }
    Comm::ChatMessage chat;
    if (Comm::Decode(data, size, chat)) {
        Check(kind == Comm::Received::Chat && chat.text.size() <= Comm::MaxChatChars);
        Check(chat.text.find('\0') == std::string::npos);
    }
    return 0;
}
