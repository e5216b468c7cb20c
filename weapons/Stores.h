// Weapons::Stores: the weapon load of one airplane. A rack for each "Rack<N>" frame of its model with the
// ordnance hanging there, which weapon is selected (a rack, or the gun), the flares and chaff left and the
// jammer switch. The airplane makes the stores as it loads (through the maker InstallStores puts in place),
// runs them every frame and fires them on the trigger; the pilots select, fire, drop decoys, switch the
// jammer and give targets; spawners and re-arming hang named set-ups.
#pragma once

#include "weapons/Ordnance.h"

#include "aircraft/Airplane.h"
#include "aircraft/WeaponStores.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace Audio {
class Sound;
}

namespace Weapons {

class Gun;

class Stores : public Obj::WeaponStores {
public:
    static constexpr uint8_t NoRack = 255;
    static constexpr int MaxRacks = 128;
    static constexpr int32_t FullDecoys = 20;
    enum DecoyKind { FlareKind = 0, ChaffKind = 1 };
    // The ordnance drops away from the wing at this speed along the rack's down axis.
    static constexpr float DropSpeed = 3.0f;

    // Racks from the airplane's model at once; gun not selected, 20 flares and 20 chaff.
    explicit Stores(Obj::Airplane* owner);
    ~Stores() override;

    // The stores of an airplane, or null when it has none.
    static Stores* Of(const Obj::Airplane* airplane);

    // A rack for "Rack0", "Rack1", ... up to the first name the model lacks (at most 128).
    void CreateRacks();
    // The set-up "Setups.<name>" of the airplane's description ("<models>\Airplanes\<title>.info").
    // False, the racks unchanged, when the description has no such set-up.
    bool LoadSetup(const Base::String& name);
    // Each "RACK<N>" key (any letter case) of the node hangs the ordnance it names on rack N when that rack
    // exists (what the rack held goes); other keys, absent racks and ordnance that does not load are
    // skipped. Racks not named keep what they hold. Then the gun is selected, when there is one.
    void ApplySetup(const Base::Info* setup) override;
    // The ordnance "<models>\<name>.info" describes, loaded for that owner: a homing rocket (type 0), a
    // bomb (1) or a rocket pod (3). Null for other types, a missing file or parameters that do not load.
    static Ordnance* CreateOrdnance(const Base::String& name, Obj::Airplane* owner);

    // The trigger: the gun, or the selected rack's ordnance, after which the next rack with the same
    // ordnance is selected (or the gun, when none is left). A closed weapon door refuses with the error
    // sound. True when something was set off (for the gun: when it was asked to fire).
    bool FireSelected() override;
    // The rack to fire next of that ordnance: alternating sides (even racks left, odd right), the side with
    // more rounds left first, ties to the left. NoRack when no rack holds it.
    uint8_t FindNextRack(const Base::String& name) const;
    // Selects the rack: the old selection's guided weapon loses its target, the new one gets the radar's.
    void SelectRack(uint8_t index);
    // The gun becomes the selected weapon, when the airplane has one; false otherwise.
    bool SelectGun();
    // The selected rack's homing rocket searches for the target (or stops searching, null).
    void SetSelectedTarget(Obj::Target* target);
    // For the read-out: twice the gun's rounds with the gun selected; -1 with nothing (or an empty rack)
    // selected; else the rounds of the selected ordnance left on all racks (a pod counts its rockets).
    int32_t GetSelectedCount() const;
    // A flare (kind 0) or chaff (kind 1) leaves the airplane, while any is left. False when none is left.
    bool DropCountermeasure(int kind);
    void SetJammer(bool on);

    void Update() override;
    void Rearm() override;
    void SetWorld(Grp::World* world) override;

    // The ordnance on the selected rack, or null.
    Ordnance* GetSelectedOrdnance() const;
    // The ordnance on rack i, or null.
    Ordnance* GetOrdnance(size_t i) const;
    // The airplane's gun, or null.
    Gun* GetGun() const;
    bool IsGunSelected() const { return gunSelected; }

    Obj::Airplane* owner;
    uint8_t selectedRack = NoRack;
    std::vector<std::unique_ptr<Rack>> racks;
    bool gunSelected = false;
    Audio::Sound* errorSound = nullptr; // the last refusal's, while the airplane is in a world
    int32_t decoys[2] = {FullDecoys, FullDecoys};
    // The last set-up applied, (rack, ordnance name): re-arming hangs it again.
    std::vector<std::pair<int, Base::String>> lastSetup;

private:
    void PlayError();
};

// Installs the maker that gives every airplane its stores.
bool InstallStores();

} // namespace Weapons
