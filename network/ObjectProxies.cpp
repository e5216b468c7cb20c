#include "network/ObjectProxies.h"

#include "network/Dispatch.h"

#include "aircraft/Airplane.h"
#include "objects/Explosion.h"
#include "scene/MatrixHelpers.h"
#include "scene/World.h"
#include "weapons/Countermeasure.h"
#include "weapons/HomingRocket.h"

#include "base/ClumpCache.h"
#include "base/FrameClock.h"
#include "base/InfoCache.h"
#include "base/Maths.h"
#include "base/Random.h"
#include "base/TextTable.h"
#include "platform/win32/Files.h"
#include "rwsdk/tool/slerp/rtslerp.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <strings.h>

namespace Comm {

namespace {

float Uniform() {
    return float(Base::Random::NextUInt32()) * (1.0f / 4294967296.0f);
}

// Removes an object from its world (when in one) and deletes it.
void RemoveAndDelete(Obj::Object* object) {
    if (!object)
        return;
    if (object->world)
        object->world->RemoveObject(object);
    delete object;
}

struct Catalogue {
    Base::String directory;
    std::map<std::string, Base::String> airplanes, weapons; // lower-case name -> path made from the listing
};

Catalogue& TheCatalogue() {
    static Catalogue catalogue;
    return catalogue;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void List(const char* folder, std::string_view extension, std::map<std::string, Base::String>& out) {
    out.clear();
    const Base::String base = Base::MakePath(Base::ClumpCache::Directory, folder);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(Win32::NativePath(base), error)) {
        const std::string file = entry.path().filename().string();
        if (file.size() <= 5 || strcasecmp(file.c_str() + file.size() - 5, ".info") != 0)
            continue;
        const std::string stem = file.substr(0, file.size() - 5);
        // Only names a peer could have sent; the path is made from the listing's own name.
        if (IsValidTypeName(stem) && entry.is_regular_file(error))
            out.emplace(Lower(stem), Base::MakePath(base, stem, extension));
    }
}

// A pose from its axes and position: right = up x at.
RwMatrix PoseMatrix(const RwV3d& up, const RwV3d& at, const RwV3d& position) {
    RwMatrix m{};
    Base::SetMatrixAxes(&m, up, at, position);
    RwMatrixUpdate(&m);
    return m;
}

// The engine's slerp between two poses at f, re-measured. The slerp is made on first use and kept, so that
// a blend each frame allocates nothing.
RwMatrix BlendPose(RtSlerp*& slerp, RwMatrix a, RwMatrix b, float f) {
    if (!slerp)
        slerp = RtSlerpCreate(rtSLERPREFNONE);
    RwMatrix out = a;
    if (slerp && RtSlerpInitialize(slerp, &a, &b))
        RtSlerpInterpolate(slerp, &out, f);
    RwMatrixOptimize(&out, nullptr);
    return out;
}

// The proxy registered under a GUID, when it is this peer's own airplane with its airplane.
Obj::Airplane* OwnAirplane(MPlr::NetworkObjects* registry, const GUID& guid) {
    if (IsNilGuid(guid) || !registry)
        return nullptr;
    auto* local = dynamic_cast<LocalAirplane*>(registry->Find(guid));
    return local ? local->GetAirplane() : nullptr;
}

GUID GuidOf(MPlr::NetworkObjects* registry, const Obj::Object* object) {
    if (!object || !registry)
        return GUID{};
    const NetworkObj* proxy = registry->FindByObject(object);
    return proxy ? proxy->guid : GUID{};
}

} // namespace

const Base::String* TypeCatalogue::Find(const char* folder, const std::string& name) {
    if (!IsValidTypeName(name))
        return nullptr;
    Catalogue& c = TheCatalogue();
    if (c.directory != Base::ClumpCache::Directory || (c.airplanes.empty() && c.weapons.empty())) {
        c.directory = Base::ClumpCache::Directory;
        List("Airplanes", {}, c.airplanes); // loaded by path, without the extension
        List("Weapons", "info", c.weapons);
    }
    auto& table = std::string(folder) == "Airplanes" ? c.airplanes : c.weapons;
    auto it = table.find(Lower(name));
    return it == table.end() ? nullptr : &it->second;
}

const Base::String* TypeCatalogue::Airplane(const std::string& name) {
    return Find("Airplanes", name);
}

const Base::String* TypeCatalogue::Weapon(const std::string& name) {
    return Find("Weapons", name);
}

void TypeCatalogue::Clear() {
    TheCatalogue() = Catalogue{};
}

std::string TypeNameOf(const Base::String& path) {
    std::string name(path);
    const std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name.substr(0, TypeNameField - 1);
}

// Local kinds.

LocalProxy::LocalProxy(MPlr::NetworkObjects* registry, Obj::Object* object)
    : LocalObj(registry), object(object) {}

LocalProxy::~LocalProxy() {
    RemoveAndDelete(object.Get());
}

LocalAirplane::LocalAirplane(MPlr::NetworkObjects* registry, Obj::Airplane* airplane)
    : LocalProxy(registry, airplane) {}

Obj::Airplane* LocalAirplane::GetAirplane() const {
    return dynamic_cast<Obj::Airplane*>(object.Get());
}

void LocalAirplane::Update() {
    LocalObj::Update();
    Obj::Airplane* airplane = GetAirplane();
    if (!airplane) {
        history.clear();
        return;
    }
    const float now = float(Base::FrameClock::GameTime);
    if (timer.Due(now, Period, Jitter)) {
        ++sequence;
        AirplaneStateMessage m;
        m.header.object = guid;
        m.header.sendTime = now;
        m.CopyFrom(airplane->GetState());
        m.typeName = airplane->title;
        if (airplane->cockpit)
            m.target = GuidOf(registry, dynamic_cast<Obj::Object*>(airplane->cockpit->GetRadarTarget()));
        m.killer = killer;
        m.lastAttacker = airplane->lastAttacker;
        m.sequence = sequence;
        registry->Send(Encode(m), StateSendFlags, StateSendTimeout, DPNID_ALL_PLAYERS_GROUP);
    }
    for (const HistoryEntry& entry : history) {
        ApplyDamage(entry);
        if (!GetAirplane())
            break;
    }
    history.clear();
}

void LocalAirplane::ApplyDamage(const HistoryEntry& entry) {
    DamageMessage report;
    if (!Decode(entry.buffer.data(), entry.buffer.size(), report))
        return;
    Obj::Airplane* airplane = GetAirplane();
    const float maximum = airplane->maxHitPoints;
    // A report only takes hit points away, never more than the whole: healing and absurd values are refused.
    if (!(report.hitPointChange < 0.0f) || report.hitPointChange < -maximum)
        return;
    const float before = airplane->hitPoints;
    // Once down, later reports (a second missile) neither repeat the announcement nor change the killer.
    if (!(before > 0.0f))
        return;
    const float after = std::clamp(before + report.hitPointChange, 0.0f, maximum);
    airplane->SetHitPoints(after);
    if (after > 0.0f || maximum == 0.0f || report.attacker.empty())
        return;
    killer = int32_t(entry.sender);
    airplane->SetLastAttacker(report.attacker);

    MPlr::NetworkHost* game = registry->game;
    Base::String killerName, killerTeam;
    if (registry->session)
        registry->session->GetPlayerNames(entry.sender, killerName, killerTeam);
    const bool team = game && game->GameType() == 2;
    const int i = int(std::floor(4.0f * Uniform())) + 1;
    const std::string key = "MPlr.LocalShotDown" + std::to_string(i) + (team ? "T" : "");
    Base::String text;
    if (team)
        Base::Format(text, Base::GetFormat(key, "sss").c_str(), killerTeam.c_str(), killerName.c_str(),
                     report.attacker.c_str());
    else
        Base::Format(text, Base::GetFormat(key, "ss").c_str(), killerName.c_str(), report.attacker.c_str());
    registry->AnnounceSystem(text);
}

LocalExplosion::LocalExplosion(MPlr::NetworkObjects* registry, Obj::Explosion* explosion)
    : LocalProxy(registry, explosion) {}

void LocalExplosion::Update() {
    LocalObj::Update();
    auto* explosion = dynamic_cast<Obj::Explosion*>(object.Get());
    if (!explosion || sent)
        return;
    sent = true;
    ExplosionStateMessage m;
    m.header.object = guid;
    m.header.sendTime = float(Base::FrameClock::GameTime);
    m.centre = {explosion->position[0], explosion->position[1], explosion->position[2]};
    m.size = explosion->strength;
    registry->Send(Encode(m), StateSendFlags, StateSendTimeout, DPNID_ALL_PLAYERS_GROUP);
}

LocalHomingRocket::LocalHomingRocket(MPlr::NetworkObjects* registry, Weapons::HomingRocket* rocket)
    : LocalProxy(registry, rocket) {}

void LocalHomingRocket::Update() {
    LocalObj::Update();
    auto* rocket = dynamic_cast<Weapons::HomingRocket*>(object.Get());
    if (!rocket)
        return;
    auto* carrier = dynamic_cast<Obj::Airplane*>(rocket->GetParent());
    const float period = carrier ? 2.0f : 0.2f;
    const float now = float(Base::FrameClock::GameTime);
    if (!timer.Due(now, period, period / 4.0f))
        return;
    HomingRocketStateMessage m;
    m.header.object = guid;
    m.header.sendTime = now;
    const RwMatrix world = *RwFrameGetWorldMatrix(rocket->frame);
    m.position = world.pos;
    m.forward = world.at;
    m.up = world.up;
    if (carrier)
        m.carrier = GuidOf(registry, carrier);
    if (!IsNilGuid(m.carrier)) {
        // On the carrier: the pose in the carrier's frame, so that the copy hangs where it hangs here.
        RwMatrix inverse;
        RwMatrixInvert(&inverse, RwFrameGetWorldMatrix(carrier->frame));
        RwVector3TransformPoint(&m.position, &world.pos, &inverse);
        RwVector3TransformVector(&m.forward, &world.at, &inverse);
        RwVector3TransformVector(&m.up, &world.up, &inverse);
    }
    m.target = GuidOf(registry, dynamic_cast<Obj::Object*>(rocket->GetTarget()));
    m.typeName = TypeNameOf(rocket->fileName);
    registry->Send(Encode(m), StateSendFlags, StateSendTimeout, DPNID_ALL_PLAYERS_GROUP);
}

LocalCountermeasure::LocalCountermeasure(MPlr::NetworkObjects* registry, Weapons::Countermeasure* decoy,
                                         uint8_t kind)
    : LocalProxy(registry, decoy), kind(kind) {}

void LocalCountermeasure::Update() {
    LocalObj::Update();
    auto* decoy = dynamic_cast<Weapons::Countermeasure*>(object.Get());
    const float now = float(Base::FrameClock::GameTime);
    if (!decoy || !timer.Due(now, Period, Jitter))
        return;
    CountermeasureStateMessage m;
    m.header.objectKind = kind;
    m.header.object = guid;
    m.header.sendTime = now;
    m.position = RwFrameGetWorldMatrix(decoy->frame)->pos;
    registry->Send(Encode(m), StateSendFlags, StateSendTimeout, DPNID_ALL_PLAYERS_GROUP);
}

LocalFlare::LocalFlare(MPlr::NetworkObjects* registry, Weapons::Flare* flare)
    : LocalCountermeasure(registry, flare, FlareObject) {}

LocalChaff::LocalChaff(MPlr::NetworkObjects* registry, Weapons::Chaff* chaff)
    : LocalCountermeasure(registry, chaff, ChaffObject) {}

// Remote kinds.

RemoteProxy::RemoteProxy(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock,
                         uint8_t kind)
    : RemoteObj(registry, guid, owner, clock), kind(kind) {}

RemoteProxy::~RemoteProxy() {
    RemoteProxy::DeleteObject();
}

void RemoteProxy::DeleteObject() {
    Obj::Object* copy = object.Get();
    object = nullptr;
    RemoveAndDelete(copy);
}

Grp::World* RemoteProxy::GameWorld() const {
    return registry && registry->game ? registry->game->GetWorld() : nullptr;
}

bool RemoteProxy::Adopt(Obj::Object* copy) {
    created = true;
    Grp::World* world = GameWorld();
    if (!world) {
        delete copy;
        return false;
    }
    object = copy;
    world->AddObject(copy);
    return true;
}

RemoteAirplane::RemoteAirplane(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock)
    : RemoteProxy(registry, guid, owner, clock, AirplaneObject) {}

RemoteAirplane::~RemoteAirplane() {
    if (slerp)
        RtSlerpDestroy(slerp);
}

Obj::Airplane* RemoteAirplane::GetAirplane() const {
    return dynamic_cast<Obj::Airplane*>(object.Get());
}

bool RemoteAirplane::Create(const AirplaneStateMessage& state) {
    created = true;
    const Base::String* path = GameWorld() ? TypeCatalogue::Airplane(state.typeName) : nullptr;
    auto* airplane = path ? new Obj::Airplane : nullptr;
    if (airplane) {
        airplane->remoteCopy = true;
        if (!airplane->Load(path->c_str(), Obj::Airplane::NullModel)) {
            delete airplane;
            airplane = nullptr;
        }
    }
    if (!airplane) {
        crashAnnounced = true; // an unknown type: this proxy stays without a copy, silently
        return false;
    }
    MPlr::NetworkHost* game = registry->game;
    Obj::Allegiance side = Obj::Enemy;
    if (game && game->GameType() != 1 && registry->session) {
        Base::String name, text, localName, localText;
        registry->session->GetPlayerNames(owner, name, text);
        registry->session->GetLocalPlayerName(localName, localText);
        if (text == localText)
            side = Obj::Friendly;
    }
    airplane->allegiance = side;
    if (!Adopt(airplane))
        return false;
    lastHitPoints = airplane->hitPoints;
    return true;
}

void RemoteAirplane::Update() {
    RemoteObj::Update();
    MPlr::NetworkHost* game = registry->game;
    const bool team = game && game->GameType() == 2;
    MPlr::Session* session = registry->session;
    Obj::Airplane* airplane = GetAirplane();
    if (!airplane && created) {
        if (!crashAnnounced) {
            crashAnnounced = true;
            Base::String name, text, line;
            if (session)
                session->GetPlayerNames(owner, name, text);
            const int i = int(std::floor(2.0f * Uniform())) + 1;
            const std::string key = "MPlr.PlayerCrashes" + std::to_string(i) + (team ? "T" : "");
            if (team)
                Base::Format(line, Base::GetFormat(key, "ss").c_str(), text.c_str(), name.c_str());
            else
                Base::Format(line, Base::GetFormat(key, "s").c_str(), name.c_str());
            registry->AnnounceSystem(line);
        }
        history.clear();
        return;
    }
    std::size_t o, n;
    if (!Pair(clock, 1, o, n))
        return;
    AirplaneStateMessage older, newer;
    if (!Decode(history[o].buffer.data(), history[o].buffer.size(), older) ||
        !Decode(history[n].buffer.data(), history[n].buffer.size(), newer))
        return;
    if (!airplane) {
        if (!Create(older))
            return;
        airplane = GetAirplane();
    }
    const float f = Factor(clock, history[o].time, history[n].time);

    Physics::AirplaneState state = airplane->GetState();
    const RwMatrix pose = BlendPose(slerp, PoseMatrix(older.up, older.at, older.position),
                                    PoseMatrix(newer.up, newer.at, newer.position), f);
    AirplaneStateMessage blend = older;
    blend.position = pose.pos;
    blend.up = pose.up;
    blend.at = pose.at;
    blend.velocity = Base::LerpVector3(older.velocity, newer.velocity, f);
    blend.angularVelocity = Base::LerpVector3(older.angularVelocity, newer.angularVelocity, f);
    const auto lerp = [f](float a, float b) { return a + (b - a) * f; };
    blend.groundHeight = lerp(older.groundHeight, newer.groundHeight);
    blend.engineSpool = lerp(older.engineSpool, newer.engineSpool);
    blend.afterburnerLevel = lerp(older.afterburnerLevel, newer.afterburnerLevel);
    blend.thrustFactor = lerp(older.thrustFactor, newer.thrustFactor);
    blend.gearExtension = lerp(older.gearExtension, newer.gearExtension);
    blend.weaponDoorOpening = lerp(older.weaponDoorOpening, newer.weaponDoorOpening);
    for (int i = 0; i < 3; ++i) {
        blend.wheelCompression[i] = lerp(older.wheelCompression[i], newer.wheelCompression[i]);
        blend.wheelSteering[i] = lerp(older.wheelSteering[i], newer.wheelSteering[i]);
    }
    blend.ApplyTo(state);
    state.right = pose.right;
    state.precisePosition[0] = state.position.x;
    state.precisePosition[1] = state.position.y;
    state.precisePosition[2] = state.position.z;
    airplane->SetState(state);

    // The owner's radar on our own airplane shows on the copy.
    if (airplane->cockpit) {
        Obj::Airplane* own = OwnAirplane(registry, older.target);
        if (airplane->cockpit->GetRadarTarget() != own)
            airplane->cockpit->SetRadarTarget(Obj::CockpitLink::AirKind, own);
    }

    // What this peer's weapons did to the copy goes to the owner.
    if (airplane->hitPoints < lastHitPoints) {
        DamageMessage report;
        report.header.object = guid;
        report.hitPointChange = airplane->hitPoints - lastHitPoints;
        report.attacker = airplane->lastAttacker;
        registry->Send(Encode(report), DamageSendFlags, 0, owner);
        lastHitPoints = airplane->hitPoints;
        if (!(airplane->hitPoints > 0.0f) && airplane->maxHitPoints != 0.0f) {
            older.killer = -2;
            older.lastAttacker = airplane->lastAttacker;
        }
    }

    // Shot down: announced once, though the killer stays in every later state.
    if (!crashAnnounced && older.killer != -1 && !older.lastAttacker.empty()) {
        crashAnnounced = true;
        Base::String killerName, killerText, victimName, victimText, line;
        if (session) {
            if (older.killer == -2)
                session->GetLocalPlayerName(killerName, killerText);
            else
                session->GetPlayerNames(DPNID(older.killer), killerName, killerText);
            session->GetPlayerNames(owner, victimName, victimText);
        }
        const float r = 4.0f * Uniform();
        const char* attacker = older.lastAttacker.c_str();
        if (r < 0.01f) {
            const std::string key = team ? "MPlr.ShotDownQT" : "MPlr.ShotDownQ";
            if (team)
                Base::Format(line, Base::GetFormat(key, "ssss").c_str(), victimText.c_str(),
                             victimName.c_str(), killerText.c_str(), killerName.c_str());
            else
                Base::Format(line, Base::GetFormat(key, "ss").c_str(), victimName.c_str(),
                             killerName.c_str());
        } else {
            const std::string key = "MPlr.ShotDown" + std::to_string(int(r) + 1) + (team ? "T" : "");
            if (team)
                Base::Format(line, Base::GetFormat(key, "sssss").c_str(), victimText.c_str(),
                             victimName.c_str(), killerText.c_str(), killerName.c_str(), attacker);
            else
                Base::Format(line, Base::GetFormat(key, "sss").c_str(), victimName.c_str(),
                             killerName.c_str(), attacker);
        }
        registry->AnnounceSystem(line);
    }
    DropBefore(o);
}

RemoteExplosion::RemoteExplosion(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock)
    : RemoteProxy(registry, guid, owner, clock, ExplosionObject) {}

void RemoteExplosion::Update() {
    RemoteObj::Update();
    std::size_t i;
    if (!NewestBefore(clock, i))
        return;
    ExplosionStateMessage state;
    if (!created && !GameWorld())
        created = true; // nowhere to show it
    if (!created && Decode(history[i].buffer.data(), history[i].buffer.size(), state)) {
        auto* explosion = new Obj::Explosion;
        explosion->remoteCopy = true;
        const float centre[3] = {state.centre.x, state.centre.y, state.centre.z};
        explosion->Setup(centre, state.size, "");
        Adopt(explosion);
    }
    DropBefore(i + 1);
}

RemoteHomingRocket::RemoteHomingRocket(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner,
                                       float clock)
    : RemoteProxy(registry, guid, owner, clock, HomingRocketObject) {}

RemoteHomingRocket::~RemoteHomingRocket() {
    if (slerp)
        RtSlerpDestroy(slerp);
}

void RemoteHomingRocket::Update() {
    RemoteObj::Update();
    if (created && !object.Get()) {
        history.clear();
        return;
    }
    std::size_t o, n;
    if (!Pair(clock, 1, o, n))
        return;
    HomingRocketStateMessage older, newer;
    if (!Decode(history[o].buffer.data(), history[o].buffer.size(), older) ||
        !Decode(history[n].buffer.data(), history[n].buffer.size(), newer))
        return;
    if (!created) {
        created = true;
        const Base::String* file = GameWorld() ? TypeCatalogue::Weapon(older.typeName) : nullptr;
        if (!file)
            return;
        auto* made = new Weapons::HomingRocket;
        made->remoteCopy = true;
        if (!made->LoadParams(&Base::InfoCache::Get(*file))) {
            delete made;
            return;
        }
        if (!Adopt(made))
            return;
    }
    auto* rocket = dynamic_cast<Weapons::HomingRocket*>(object.Get());
    if (!rocket)
        return;

    // Hanging on a copy of its carrier, or flying free.
    if (!IsNilGuid(older.carrier) && !rocket->GetParent()) {
        auto* carrier = dynamic_cast<RemoteAirplane*>(registry->Find(older.carrier));
        if (Obj::Airplane* airplane = carrier ? carrier->GetAirplane() : nullptr)
            rocket->AttachTo(airplane, airplane->frame, false);
    } else if (IsNilGuid(older.carrier) && rocket->GetParent()) {
        rocket->Detach(true);
    }
    const bool attached = rocket->GetParent() != nullptr;
    const float f = Factor(clock, history[o].time, history[n].time);
    // Poses in different frames (on the carrier and free) are not blended: the older one stands.
    const bool sameFrame = IsNilGuid(older.carrier) == IsNilGuid(newer.carrier);
    if (attached || IsNilGuid(older.carrier)) {
        const RwMatrix a = PoseMatrix(older.up, older.forward, older.position);
        RwMatrix pose =
            sameFrame ? BlendPose(slerp, a, PoseMatrix(newer.up, newer.forward, newer.position), f) : a;
        rocket->Transform(&pose, rwCOMBINEREPLACE);
    }

    Obj::Airplane* own = OwnAirplane(registry, older.target);
    if (rocket->GetTarget() != static_cast<Obj::Target*>(own))
        rocket->SetTarget(own, own != nullptr);
    DropBefore(o);
}

RemoteCountermeasure::RemoteCountermeasure(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner,
                                           float clock, uint8_t kind)
    : RemoteProxy(registry, guid, owner, clock, kind) {}

void RemoteCountermeasure::Update() {
    RemoteObj::Update();
    if (created && !object.Get()) {
        history.clear();
        return;
    }
    std::size_t o, n;
    if (!Pair(clock, o, n))
        return;
    CountermeasureStateMessage older, newer;
    if (!Decode(history[o].buffer.data(), history[o].buffer.size(), older) ||
        !Decode(history[n].buffer.data(), history[n].buffer.size(), newer))
        return;
    if (!created && !GameWorld()) {
        created = true;
        return;
    }
    if (!created) {
        Weapons::Countermeasure* made = nullptr;
        if (kind == FlareObject)
            made = new Weapons::Flare;
        else
            made = new Weapons::Chaff;
        made->remoteCopy = 1;
        made->Setup({0, 0, 0});
        if (!Adopt(made))
            return;
    }
    auto* decoy = dynamic_cast<Weapons::Countermeasure*>(object.Get());
    if (!decoy)
        return;
    const RwV3d at =
        Base::LerpVector3(older.position, newer.position, Factor(clock, history[o].time, history[n].time));
    RwMatrix m;
    RwMatrixSetIdentity(&m);
    RwMatrixTranslate(&m, &at, rwCOMBINEREPLACE);
    decoy->Transform(&m, rwCOMBINEREPLACE);
    if (decoy->Obj::Renderable::group)
        decoy->Obj::Renderable::group->Update(decoy);
    DropBefore(o);
}

RemoteFlare::RemoteFlare(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock)
    : RemoteCountermeasure(registry, guid, owner, clock, FlareObject) {}

RemoteChaff::RemoteChaff(MPlr::NetworkObjects* registry, const GUID& guid, DPNID owner, float clock)
    : RemoteCountermeasure(registry, guid, owner, clock, ChaffObject) {}

std::unique_ptr<NetworkObj> MakeLocalProxy(MPlr::NetworkObjects* registry, Obj::Object* object) {
    if (auto* airplane = dynamic_cast<Obj::Airplane*>(object))
        return airplane->remoteCopy ? nullptr : std::make_unique<LocalAirplane>(registry, airplane);
    if (auto* explosion = dynamic_cast<Obj::Explosion*>(object))
        return explosion->remoteCopy ? nullptr : std::make_unique<LocalExplosion>(registry, explosion);
    if (auto* rocket = dynamic_cast<Weapons::HomingRocket*>(object))
        return rocket->remoteCopy ? nullptr : std::make_unique<LocalHomingRocket>(registry, rocket);
    if (auto* flare = dynamic_cast<Weapons::Flare*>(object))
        return flare->remoteCopy ? nullptr : std::make_unique<LocalFlare>(registry, flare);
    if (auto* chaff = dynamic_cast<Weapons::Chaff*>(object))
        return chaff->remoteCopy ? nullptr : std::make_unique<LocalChaff>(registry, chaff);
    return nullptr;
}

std::unique_ptr<RemoteObj> MakeRemoteProxy(MPlr::NetworkObjects* registry, uint8_t objectKind,
                                           const GUID& guid, DPNID owner, float clock) {
    switch (objectKind) {
    case AirplaneObject:
        return std::make_unique<RemoteAirplane>(registry, guid, owner, clock);
    case ExplosionObject:
        return std::make_unique<RemoteExplosion>(registry, guid, owner, clock);
    case HomingRocketObject:
        return std::make_unique<RemoteHomingRocket>(registry, guid, owner, clock);
    case FlareObject:
        return std::make_unique<RemoteFlare>(registry, guid, owner, clock);
    case ChaffObject:
        return std::make_unique<RemoteChaff>(registry, guid, owner, clock);
    default:
        return nullptr;
    }
}

} // namespace Comm
