// The proxies of the five shared object kinds: airplanes, explosions, homing rockets, flares and chaff. A
// local proxy stands beside an object of this peer and sends its state; a remote proxy makes and drives the
// copy of another peer's object from the states it receives, 2 s behind the owner's clock. A copy is made
// once: when it dies here (a crash, a burnt-out flare) it is not made again. Type names from the network
// only ever select among the files found in the data folders; they never become part of a path.
#pragma once

#include "network/Proxies.h"

#include "base/SmartPtr.h"
#include "base/String.h"

#include <map>
#include <memory>
#include <string>

struct RtSlerp;

namespace Grp {
class World;
}
namespace Obj {
class Object;
class Airplane;
class Explosion;
} // namespace Obj
namespace Weapons {
class HomingRocket;
class Flare;
class Chaff;
class Countermeasure;
} // namespace Weapons

namespace Comm {

// The airplane and weapon types the data folders hold: "<ModelsDir>\Airplanes\<name>.info" and
// "<ModelsDir>\Weapons\<name>.info", listed once per models folder.
class TypeCatalogue {
public:
    // The path to load an airplane of that type (without ".info"), or null for a name that is not valid
    // or names no airplane on disk.
    static const Base::String* Airplane(const std::string& name);
    // The description file of that weapon type, or null.
    static const Base::String* Weapon(const std::string& name);
    // Forgets the listings (the tests change folders).
    static void Clear();

private:
    static const Base::String* Find(const char* folder, const std::string& name);
};

// The name an airplane or a rocket is sent under: its description's file name without folder and extension.
std::string TypeNameOf(const Base::String& path);

// Every local kind: the object it stands beside.
class LocalProxy : public LocalObj {
public:
    LocalProxy(MPlr::NetworkObjects* registry, Obj::Object* object);
    ~LocalProxy() override;
    bool HasObject() const override { return object.Get() != nullptr; }
    Obj::Object* GetObject() const override { return object.Get(); }

    Base::SmartPtr<Obj::Object> object;
};

class LocalAirplane : public LocalProxy {
public:
    static constexpr float Period = 0.1f, Jitter = 0.025f;

    LocalAirplane(MPlr::NetworkObjects* registry, Obj::Airplane* airplane);
    void Update() override;
    uint8_t AcceptedKind() const override { return NoObject; } // damage reports
    Obj::Airplane* GetAirplane() const;

    SendTimer timer;
    int32_t killer = -1;
    uint32_t sequence = 0;

private:
    void ApplyDamage(const HistoryEntry& entry);
};

class LocalExplosion : public LocalProxy {
public:
    LocalExplosion(MPlr::NetworkObjects* registry, Obj::Explosion* explosion);
    void Update() override;
    uint8_t AcceptedKind() const override { return ExplosionObject; }

    bool sent = false;
};

class LocalHomingRocket : public LocalProxy {
public:
    LocalHomingRocket(MPlr::NetworkObjects* registry, Weapons::HomingRocket* rocket);
    void Update() override;
    uint8_t AcceptedKind() const override { return HomingRocketObject; }

    SendTimer timer;
};

// Flares (object kind 4) and chaff (5).
class LocalCountermeasure : public LocalProxy {
public:
    static constexpr float Period = 0.2f, Jitter = 0.05f;

    LocalCountermeasure(MPlr::NetworkObjects* registry, Weapons::Countermeasure* decoy, uint8_t kind);
    void Update() override;
    uint8_t AcceptedKind() const override { return kind; }

    uint8_t kind;
    SendTimer timer;
};

class LocalFlare : public LocalCountermeasure {
public:
    LocalFlare(MPlr::NetworkObjects* registry, Weapons::Flare* flare);
};

class LocalChaff : public LocalCountermeasure {
public:
    LocalChaff(MPlr::NetworkObjects* registry, Weapons::Chaff* chaff);
};

// Every remote kind: the copy it made (null before it is made and after it died).
class RemoteProxy : public RemoteObj {
public:
    RemoteProxy(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock, uint8_t kind);
    ~RemoteProxy() override;
    uint8_t AcceptedKind() const override { return kind; }
    bool HasObject() const override { return object.Get() != nullptr; }
    void DeleteObject() override;
    Obj::Object* GetObject() const override { return object.Get(); }
    // Its copy was made and is gone: nothing more will come of this proxy.
    bool Finished() const override { return created && !object.Get(); }

    // Adds a new copy to the game's world and links it; false (the copy deleted) when there is no world.
    bool Adopt(Obj::Object* copy);
    // Where copies go; null when the game has no world (then no copy is ever made).
    Grp::World* GameWorld() const;

    Base::SmartPtr<Obj::Object> object;
    uint8_t kind;
    bool created = false;
};

class RemoteAirplane : public RemoteProxy {
public:
    RemoteAirplane(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
    ~RemoteAirplane() override;
    void Update() override;
    Obj::Airplane* GetAirplane() const;

    float lastHitPoints = 0.0f;
    bool crashAnnounced = false;

private:
    bool Create(const AirplaneStateMessage& state);
    RtSlerp* slerp = nullptr; // made on the first blend
};

class RemoteExplosion : public RemoteProxy {
public:
    RemoteExplosion(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
    void Update() override;
};

class RemoteHomingRocket : public RemoteProxy {
public:
    RemoteHomingRocket(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
    ~RemoteHomingRocket() override;
    void Update() override;

private:
    RtSlerp* slerp = nullptr;
};

class RemoteCountermeasure : public RemoteProxy {
public:
    RemoteCountermeasure(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock,
                         uint8_t kind);
    void Update() override;
};

class RemoteFlare : public RemoteCountermeasure {
public:
    RemoteFlare(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
};

class RemoteChaff : public RemoteCountermeasure {
public:
    RemoteChaff(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock);
};

// The local proxy of an object that has just entered the multiplayer world: the first of airplane,
// explosion, homing rocket, flare and chaff that it is, unless it is a copy; null for anything else.
std::unique_ptr<NetworkObj> MakeLocalProxy(MPlr::NetworkObjects* registry, Obj::Object* object);
// The remote proxy of an object kind (1 to 5); null for any other kind.
std::unique_ptr<RemoteObj> MakeRemoteProxy(MPlr::NetworkObjects* registry, uint8_t objectKind,
                                           const GUID& guid, DPNID owner, float clock);

} // namespace Comm
