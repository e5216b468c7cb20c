#include "network/Messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

const GUID kGuid{0x04030201, 0x0605, 0x0807, {9, 10, 11, 12, 13, 14, 15, 16}};

float F32At(const Comm::Bytes& b, std::size_t at) {
    uint32_t v = b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

uint32_t U32At(const Comm::Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

Comm::AirplaneStateMessage SampleAirplane() {
    Comm::AirplaneStateMessage m;
    m.header.object = kGuid;
    m.header.sendTime = 12.5f;
    m.position = {1, 2, 3};
    m.at = {0, 0, 1};
    m.up = {0, 1, 0};
    m.velocity = {100, -2, 3};
    m.angularVelocity = {0.1f, 0.2f, 0.3f};
    m.groundHeight = 35.0f;
    m.engineRunning = 1;
    m.outOfControl = 1;
    m.engineSpool = 0.75f;
    m.gearExtension = 0.5f;
    m.wheelRotation[2] = 6.0f;
    m.typeName = "F16";
    m.target = kGuid;
    m.killer = 7;
    m.lastAttacker = "Maverick";
    m.sequence = 42;
    return m;
}

TEST(MessagesTest, EachKindHasItsSize) {
    EXPECT_EQ(Comm::Encode(Comm::AirplaneStateMessage{}).size(), 228u);
    EXPECT_EQ(Comm::Encode(Comm::ExplosionStateMessage{}).size(), 40u);
    EXPECT_EQ(Comm::Encode(Comm::HomingRocketStateMessage{}).size(), 128u);
    EXPECT_EQ(Comm::Encode(Comm::CountermeasureStateMessage{}).size(), 36u);
    EXPECT_EQ(Comm::Encode(Comm::RemovedMessage{}).size(), 24u);
    EXPECT_EQ(Comm::Encode(Comm::DamageMessage{}).size(), 48u);
    // An empty chat is the header and a single NUL.
    const Comm::Bytes chat = Comm::Encode(Comm::ChatMessage{1.0f, ""});
    ASSERT_EQ(chat.size(), 25u);
    EXPECT_EQ(chat[1], 6);
    EXPECT_EQ(chat[24], 0);
}

TEST(MessagesTest, AirplaneStateLaysOutItsFieldsLittleEndian) {
    const Comm::Bytes b = Comm::Encode(SampleAirplane());
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(b[1], 1);
    // The GUID in the platform's layout: Data1, Data2, Data3 little-endian, then Data4.
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(b[2 + i], i + 1);
    EXPECT_EQ(b[18], 0);
    EXPECT_EQ(b[19], 0);
    EXPECT_EQ(F32At(b, 20), 12.5f);
    EXPECT_EQ(b[24], 1); // valid
    EXPECT_EQ(F32At(b, 28), 1.0f);
    EXPECT_EQ(F32At(b, 36), 3.0f);
    EXPECT_EQ(F32At(b, 48), 1.0f);   // at.z
    EXPECT_EQ(F32At(b, 56), 1.0f);   // up.y
    EXPECT_EQ(F32At(b, 64), 100.0f); // velocity.x
    EXPECT_EQ(F32At(b, 84), 0.3f);
    EXPECT_EQ(F32At(b, 88), 35.0f);
    EXPECT_EQ(b[92], 1);
    EXPECT_EQ(b[93], 1);
    EXPECT_EQ(b[94], 0);
    EXPECT_EQ(F32At(b, 96), 0.75f);
    EXPECT_EQ(F32At(b, 108), 0.5f);
    EXPECT_EQ(F32At(b, 148), 6.0f); // third wheel's rotation
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[152]), "F16");
    EXPECT_EQ(b[184], 1);
    EXPECT_EQ(U32At(b, 200), 7u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[204]), "Maverick");
    EXPECT_EQ(U32At(b, 224), 42u);
}

TEST(MessagesTest, EveryKindReadsBackWhatWasSent) {
    const Comm::AirplaneStateMessage a = SampleAirplane();
    const Comm::Bytes ab = Comm::Encode(a);
    Comm::AirplaneStateMessage a2;
    ASSERT_TRUE(Comm::Decode(ab.data(), ab.size(), a2));
    EXPECT_EQ(Comm::Encode(a2), ab);
    EXPECT_EQ(a2.typeName, "F16");
    EXPECT_EQ(a2.killer, 7);

    Comm::HomingRocketStateMessage r;
    r.header.object = kGuid;
    r.carrier = kGuid;
    r.position = {4, 5, 6};
    r.typeName = "AIM9";
    const Comm::Bytes rb = Comm::Encode(r);
    Comm::HomingRocketStateMessage r2;
    ASSERT_TRUE(Comm::Decode(rb.data(), rb.size(), r2));
    EXPECT_EQ(Comm::Encode(r2), rb);
    EXPECT_EQ(F32At(rb, 64), 5.0f);

    Comm::ExplosionStateMessage e;
    e.centre = {7, 8, 9};
    e.size = 40;
    const Comm::Bytes eb = Comm::Encode(e);
    Comm::ExplosionStateMessage e2;
    ASSERT_TRUE(Comm::Decode(eb.data(), eb.size(), e2));
    EXPECT_EQ(e2.size, 40.0f);
    EXPECT_EQ(F32At(eb, 36), 40.0f);

    Comm::CountermeasureStateMessage c;
    c.header.objectKind = Comm::ChaffObject;
    c.position = {1, 1, 1};
    const Comm::Bytes cb = Comm::Encode(c);
    Comm::CountermeasureStateMessage c2;
    ASSERT_TRUE(Comm::Decode(cb.data(), cb.size(), c2));
    EXPECT_EQ(c2.header.objectKind, Comm::ChaffObject);

    Comm::DamageMessage d;
    d.header.object = kGuid;
    d.hitPointChange = -25;
    d.attacker = "Iceman";
    const Comm::Bytes db = Comm::Encode(d);
    Comm::DamageMessage d2;
    ASSERT_TRUE(Comm::Decode(db.data(), db.size(), d2));
    EXPECT_EQ(d2.hitPointChange, -25.0f);
    EXPECT_EQ(d2.attacker, "Iceman");
    EXPECT_EQ(Comm::Classify(db.data(), db.size()), Comm::Received::Damage);

    Comm::RemovedMessage m;
    m.header.object = kGuid;
    m.header.sendTime = 3;
    const Comm::Bytes mb = Comm::Encode(m);
    EXPECT_EQ(mb[0], 1);
    EXPECT_EQ(mb[1], 0);
    Comm::MessageHeader h;
    EXPECT_EQ(Comm::Classify(mb.data(), mb.size(), &h), Comm::Received::Removed);
    EXPECT_EQ(h.sendTime, 3.0f);

    const Comm::Bytes chat = Comm::Encode(Comm::ChatMessage{2.0f, "hello"});
    Comm::ChatMessage chat2;
    ASSERT_TRUE(Comm::Decode(chat.data(), chat.size(), chat2));
    EXPECT_EQ(chat2.text, "hello");
    EXPECT_EQ(chat2.sendTime, 2.0f);
}

TEST(MessagesTest, TextsAreCutInsideTheirFields) {
    Comm::AirplaneStateMessage m = SampleAirplane();
    const std::string name31(31, 'N');
    m.typeName = name31;
    m.lastAttacker = std::string(40, 'A');
    Comm::Bytes b = Comm::Encode(m);
    EXPECT_EQ(b[183], 0);
    EXPECT_EQ(U32At(b, 224), 42u); // the long attacker did not spill into the sequence number
    Comm::AirplaneStateMessage back;
    ASSERT_TRUE(Comm::Decode(b.data(), b.size(), back));
    EXPECT_EQ(back.typeName, name31);
    EXPECT_EQ(back.lastAttacker, std::string(19, 'A'));

    m.typeName = std::string(40, 'N');
    b = Comm::Encode(m);
    ASSERT_TRUE(Comm::Decode(b.data(), b.size(), back));
    EXPECT_EQ(back.typeName, name31);

    // A peer that fills a field without its NUL is refused.
    b[183] = 'X';
    EXPECT_FALSE(Comm::Decode(b.data(), b.size(), back));

    // Chat: cut to its cap when sent, and read only up to the end of the buffer.
    const Comm::Bytes chat = Comm::Encode(Comm::ChatMessage{0, std::string(1000, 'c')});
    EXPECT_EQ(chat.size(), 24u + Comm::MaxChatChars + 1);
    Comm::Bytes unterminated(24 + 5, 'z');
    unterminated[0] = 0;
    unterminated[1] = 6;
    std::memset(&unterminated[20], 0, 4);
    Comm::ChatMessage c;
    ASSERT_TRUE(Comm::Decode(unterminated.data(), unterminated.size(), c));
    EXPECT_EQ(c.text, "zzzzz");
}

TEST(MessagesTest, MalformedBuffersAreRefused) {
    const Comm::Bytes good = Comm::Encode(SampleAirplane());
    Comm::AirplaneStateMessage out;
    out.sequence = 99;

    struct Case {
        const char* what;
        std::size_t size;
        std::size_t poke;
        uint8_t value;
    };
    const Case cases[] = {
        {"truncated", 227, 0, 0},
        {"too long", 229, 0, 0},
        {"header only", 24, 0, 0},
        {"shorter than a header", 10, 0, 0},
        {"wrong object kind", 228, 1, 2},
        {"unknown object kind", 228, 1, 9},
        {"unknown message kind", 228, 0, 7},
    };
    for (const Case& c : cases) {
        Comm::Bytes b = good;
        b.resize(c.size, 0);
        if (c.poke || c.value)
            b[c.poke] = c.value;
        EXPECT_FALSE(Comm::Decode(b.data(), b.size(), out)) << c.what;
        EXPECT_EQ(out.sequence, 99u) << c.what << ": a refused message leaves the output alone";
    }

    // Non-finite floats anywhere: the time, a position, a wheel.
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (float v : bad)
        for (std::size_t at : {std::size_t(20), std::size_t(32), std::size_t(148)}) {
            Comm::Bytes b = good;
            std::memcpy(&b[at], &v, 4);
            EXPECT_FALSE(Comm::Decode(b.data(), b.size(), out)) << "float at " << at;
        }

    // A 48-byte damage report is not an airplane state, and a removed notice must carry no object kind.
    Comm::DamageMessage d;
    const Comm::Bytes db = Comm::Encode(d);
    EXPECT_FALSE(Comm::Decode(db.data(), db.size(), out));
    Comm::Bytes removed = Comm::Encode(Comm::RemovedMessage{});
    removed[1] = 1;
    EXPECT_EQ(Comm::Classify(removed.data(), removed.size()), Comm::Received::Invalid);
    // A chat needs at least its NUL's byte.
    Comm::Bytes chat = Comm::Encode(Comm::ChatMessage{});
    EXPECT_EQ(Comm::Classify(chat.data(), 24), Comm::Received::Invalid);
    EXPECT_EQ(Comm::Classify(nullptr, 0), Comm::Received::Invalid);
}

TEST(MessagesTest, StateFieldsTravelAndTheRestStays) {
    Physics::AirplaneState s;
    Physics::AirplaneState::Init(s);
    s.position = {10, 20, 30};
    s.groundHeight = 5;
    s.engineDestroyed = 1;
    s.wheelSteering[0] = 0.25f;
    s.fuel = 0.3f;
    Comm::AirplaneStateMessage m;
    m.CopyFrom(s);

    Physics::AirplaneState copy;
    Physics::AirplaneState::Init(copy);
    copy.fuel = 0.9f; // not sent: the copy keeps its own
    m.ApplyTo(copy);
    EXPECT_EQ(copy.position.y, 20.0f);
    EXPECT_EQ(copy.groundHeight, 5.0f);
    EXPECT_EQ(copy.engineDestroyed, 1);
    EXPECT_EQ(copy.wheelSteering[0], 0.25f);
    EXPECT_EQ(copy.fuel, 0.9f);
}

TEST(MessagesTest, TypeNamesThatMayNameAFile) {
    const struct {
        const char* name;
        bool ok;
    } cases[] = {
        {"F16", true},
        {"Mig-29_B", true},
        {"", false},
        {"..", false},
        {"..\\..\\x", false},
        {"a/b", false},
        {"F 16", false},
        {"C:x", false},
        {"x.info", false},
        {"1234567890123456789012345678901", true},
        {"12345678901234567890123456789012", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Comm::IsValidTypeName(c.name), c.ok) << c.name;
}

} // namespace
