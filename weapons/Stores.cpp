#include "weapons/Stores.h"

#include "weapons/Bomb.h"
#include "weapons/Countermeasure.h"
#include "weapons/Gun.h"
#include "weapons/HomingRocket.h"
#include "weapons/Launcher.h"

#include "audio/CreateSound.h"
#include "audio/Sound.h"
#include "audio/Sound3d.h"
#include "audio/SoundGroup.h"
#include "base/ClumpCache.h"
#include "base/Info.h"
#include "base/InfoCache.h"
#include "scene/AtomicData.h"
#include "scene/World.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace Weapons {

Stores::Stores(Obj::Airplane* owner_) : owner(owner_) {
    CreateRacks();
}

Stores::~Stores() {
    for (auto& rack : racks)
        rack->ordnance = nullptr;
    racks.clear();
    delete errorSound;
    errorSound = nullptr;
}

Stores* Stores::Of(const Obj::Airplane* airplane) {
    return airplane ? dynamic_cast<Stores*>(airplane->stores.get()) : nullptr;
}

void Stores::CreateRacks() {
    if (!owner || !owner->frame)
        return;
    for (int n = 0; n < MaxRacks; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "Rack%i", n);
        RwFrame* frame = Rw::FindNamedFrame(owner->frame, name);
        if (!frame)
            break;
        racks.push_back(std::make_unique<Rack>(this, owner, frame));
    }
}

bool Stores::LoadSetup(const Base::String& name) {
    // The airplane's own description: "<models>\Airplanes\<title>.info" for every airplane of the game.
    Base::String file = owner->modelFile;
    if (file.size() >= 4 && strcasecmp(file.c_str() + file.size() - 4, ".dff") == 0)
        file.resize(file.size() - 4);
    const Base::Info& info = Base::InfoCache::Get(file + ".info");
    const Base::Info* setup = info.GetChild("Setups." + name);
    if (!setup || name.empty())
        return false;
    ApplySetup(setup);
    return true;
}

Ordnance* Stores::CreateOrdnance(const Base::String& name, Obj::Airplane* owner) {
    const Base::Info& info = Base::InfoCache::Get(Base::MakePath(Base::ClumpCache::Directory, name, "info"));
    if (info.GetChildren().empty())
        return nullptr;
    int32_t type = -1;
    if (!info.TryGetInt("OrdnanceParams.Type", type))
        type = -1;
    Ordnance* made = nullptr;
    bool loaded = false;
    switch (type) {
    case Ordnance::HomingRocketType: {
        auto* rocket = new HomingRocket();
        loaded = rocket->LoadParams(&info);
        rocket->owner = owner ? static_cast<Obj::Attachable*>(owner) : nullptr;
        made = rocket;
        break;
    }
    case Ordnance::BombType: {
        auto* bomb = new Bomb();
        loaded = bomb->LoadParams(&info);
        bomb->owner = owner ? static_cast<Obj::Attachable*>(owner) : nullptr;
        made = bomb;
        break;
    }
    case Ordnance::LauncherType: {
        auto* pod = new Launcher();
        loaded = pod->LoadParams(&info);
        made = pod;
        break;
    }
    default:
        return nullptr;
    }
    // Ordnance whose parameters did not load would fly on values never set: it is not hung.
    if (!loaded) {
        std::fprintf(stderr, "Ordnance \"%s\" cannot be loaded: %s\n", name.c_str(), made->loadError.c_str());
        delete made;
        return nullptr;
    }
    return made;
}

void Stores::ApplySetup(const Base::Info* setup) {
    if (!setup)
        return;
    lastSetup.clear();
    for (const auto& [key, node] : setup->GetChildren()) {
        std::string upper(key);
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        int index = -1;
        if (std::sscanf(upper.c_str(), "RACK%i", &index) != 1 || index < 0 || size_t(index) >= racks.size())
            continue;
        const Base::String name = node->GetValue();
        lastSetup.emplace_back(index, name);
        Ordnance* made = CreateOrdnance(name, owner);
        if (!made)
            continue;
        Rack& rack = *racks[size_t(index)];
        // What the rack held gives way.
        if (Ordnance* old = rack.ordnance.Get()) {
            rack.Release();
            if (old->world)
                old->world->RemoveObject(old);
            delete old;
        }
        rack.Load(made);
    }
    SelectGun();
}

Gun* Stores::GetGun() const {
    return dynamic_cast<Gun*>(owner->gun.Get());
}

Ordnance* Stores::GetOrdnance(size_t i) const {
    return i < racks.size() ? racks[i]->ordnance.Get() : nullptr;
}

Ordnance* Stores::GetSelectedOrdnance() const {
    return selectedRack == NoRack ? nullptr : GetOrdnance(selectedRack);
}

bool Stores::SelectGun() {
    if (!GetGun())
        return false;
    gunSelected = true;
    selectedRack = NoRack;
    return true;
}

void Stores::SelectRack(uint8_t index) {
    SetSelectedTarget(nullptr);
    selectedRack = index;
    gunSelected = false;
    SetSelectedTarget(owner->cockpit ? owner->cockpit->GetRadarTarget() : nullptr);
}

void Stores::SetSelectedTarget(Obj::Target* target) {
    Ordnance* selected = GetSelectedOrdnance();
    if (!selected || selected->type != Ordnance::HomingRocketType)
        return;
    if (auto* rocket = dynamic_cast<HomingRocket*>(selected))
        rocket->SetTarget(target, false);
}

namespace {

// The rounds an ordnance holds: a pod its rockets left, anything else one.
int32_t Rounds(const Ordnance* ordnance) {
    if (const auto* pod = dynamic_cast<const Launcher*>(ordnance))
        return pod->rocketsLeft;
    return 1;
}

} // namespace

uint8_t Stores::FindNextRack(const Base::String& name) const {
    int64_t left = 0, right = 0;
    int firstLeft = -1, firstRight = -1;
    for (size_t i = 0; i < racks.size(); ++i) {
        const Ordnance* o = racks[i]->ordnance.Get();
        if (!o || o->name != name)
            continue;
        if (i % 2 == 0) {
            left += Rounds(o);
            if (left != 0 && firstLeft < 0)
                firstLeft = int(i);
        } else {
            right += Rounds(o);
            if (right != 0 && firstRight < 0)
                firstRight = int(i);
        }
    }
    const int taken = left < right ? firstRight : firstLeft;
    const int other = left < right ? firstLeft : firstRight;
    if (taken >= 0)
        return uint8_t(taken);
    return other >= 0 ? uint8_t(other) : NoRack;
}

int32_t Stores::GetSelectedCount() const {
    if (gunSelected) {
        const Gun* gun = GetGun();
        return gun ? int32_t(std::min<int64_t>(2 * int64_t(gun->params.rounds), INT32_MAX)) : -1;
    }
    const Ordnance* selected = GetSelectedOrdnance();
    if (!selected)
        return -1;
    int64_t count = 0;
    for (const auto& rack : racks)
        if (const Ordnance* o = rack->ordnance.Get(); o && o->name == selected->name)
            count += Rounds(o);
    return int32_t(std::min<int64_t>(count, INT32_MAX));
}

void Stores::PlayError() {
    Grp::World* world = owner->Obj::Object::world;
    if (!world || !world->soundGroup)
        return;
    delete errorSound;
    errorSound = Audio::CreateSound("CockpitError.wav", world->soundGroup, false);
    if (!errorSound)
        return;
    // Update sets the volume: the refusal is heard only from the cockpit.
    errorSound->volume = 0;
    errorSound->frequencyFactor = 1.0f;
    errorSound->pan = 0;
    errorSound->loop = 0;
    errorSound->autoDelete = 0;
    if (errorSound->state != Audio::BasicSound::Playing)
        errorSound->state = Audio::BasicSound::PlayRequested;
}

bool Stores::FireSelected() {
    const Physics::AirplaneState state = owner->GetState();
    if (gunSelected) {
        Gun* gun = GetGun();
        if (!gun)
            return false;
        gun->Fire(state.velocity);
        return true;
    }
    if (selectedRack == NoRack || selectedRack >= racks.size())
        return false;
    if (owner->weaponDoor.loaded && owner->weaponDoor.GetProgress() != 1.0f) {
        PlayError();
        return false;
    }
    Rack& rack = *racks[selectedRack];
    Ordnance* ordnance = rack.ordnance.Get();
    // An empty rack fires nothing and keeps the selection.
    if (!ordnance)
        return false;
    const Base::String name = ordnance->name;
    const RwV3d up = RwFrameGetWorldMatrix(rack.frame)->up;
    const RwV3d velocity = {state.velocity.x - DropSpeed * up.x, state.velocity.y - DropSpeed * up.y,
                            state.velocity.z - DropSpeed * up.z};
    ordnance->Launch(velocity);
    const uint8_t next = FindNextRack(name);
    if (next != NoRack)
        SelectRack(next);
    else
        SelectGun();
    return true;
}

bool Stores::DropCountermeasure(int kind) {
    if (kind != FlareKind && kind != ChaffKind)
        return false;
    Grp::World* world = owner->Obj::Object::world;
    if (decoys[kind] <= 0 || !world)
        return false;
    const Physics::AirplaneState state = owner->GetState();
    Countermeasure* decoy = kind == FlareKind ? static_cast<Countermeasure*>(new Flare())
                                              : static_cast<Countermeasure*>(new Chaff());
    decoy->Setup(state.velocity);
    decoy->Transform(RwFrameGetMatrix(owner->frame), rwCOMBINEREPLACE);
    world->AddObject(decoy);
    if (world->soundGroup)
        if (Audio::Sound3d* sound = Audio::CreateSound3d("FlareDrop.wav", world->soundGroup, true)) {
            const RwV3d at = RwFrameGetWorldMatrix(owner->frame)->pos;
            sound->params.volume = 1.0f;
            sound->params.frequencyFactor = 1.0f;
            sound->params.referenceDistance = 10.0f;
            sound->params.maximumDistance = -1.0f;
            sound->params.position = {at.x, at.y, at.z};
            sound->params.velocity = {state.velocity.x, state.velocity.y, state.velocity.z};
            sound->loop = 0;
            sound->autoDelete = 1;
            if (sound->state != Audio::BasicSound::Playing)
                sound->state = Audio::BasicSound::PlayRequested;
        }
    --decoys[kind];
    return true;
}

void Stores::SetJammer(bool on) {
    Physics::AirplaneState state = owner->GetState();
    state.jammerOn = on ? 1 : 0;
    owner->SetState(state);
}

void Stores::Update() {
    const Physics::AirplaneState state = owner->GetState();
    Obj::CockpitLink* cockpit = owner->cockpit.get();
    if (cockpit) {
        // A jamming airplane's own radar holds nothing.
        if (state.jammerOn)
            cockpit->SetRadarTarget(Obj::CockpitLink::AnyKind, nullptr);
        if (auto* tracked = dynamic_cast<Obj::Airplane*>(cockpit->GetRadarTarget()))
            if (tracked->cockpit)
                tracked->cockpit->ReportThreat(owner, Obj::CockpitLink::ThreatTracked);
    }
    if (errorSound) {
        float volume = 0;
        Grp::World* world = owner->Obj::Object::world;
        if (cockpit && world && world->soundGroup) {
            const Base::Vector3& l = world->soundGroup->listener.position;
            const RwV3d eye = cockpit->GetEyePosition();
            const float dx = l.x - eye.x, dy = l.y - eye.y, dz = l.z - eye.z;
            volume = dx * dx + dy * dy + dz * dz <= 25.0f ? 1.0f : 0.0f;
        }
        errorSound->volume = volume;
    }
}

void Stores::Rearm() {
    decoys[FlareKind] = decoys[ChaffKind] = FullDecoys;
    // ApplySetup starts the list anew.
    const auto setup = lastSetup;
    Base::Info node;
    for (const auto& [index, name] : setup)
        node.AddValue("RACK" + std::to_string(index), name);
    ApplySetup(&node);
}

void Stores::SetWorld(Grp::World* world) {
    for (auto& rack : racks) {
        Ordnance* o = rack->ordnance.Get();
        if (!o)
            continue;
        if (world && !o->world)
            world->AddObject(o);
        else if (!world && o->world)
            o->world->RemoveObject(o);
    }
    if (!world) {
        delete errorSound;
        errorSound = nullptr;
    }
}

bool InstallStores() {
    Obj::Airplane::CreateStores = [](Obj::Airplane* airplane) -> Obj::WeaponStores* {
        return new Stores(airplane);
    };
    return true;
}

} // namespace Weapons
