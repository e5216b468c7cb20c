// Obj::PilotStoresLink: what the player pilot asks of its airplane's weapon stores: the gun or rack
// selection, the ordnance on each rack as the weapon cycling sees it, the radar target handed to a guided
// weapon, and the countermeasures. The pilot gets one for its airplane from the maker.
#pragma once

#include "base/String.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Obj {

class Airplane;
class Target;

class PilotStoresLink {
public:
    static constexpr uint8_t NoRack = 255;

    // What a rack holds, as far as the selection is concerned.
    struct Ordnance {
        Base::String name;
        int order = 0;
        bool airToAir = false;
        bool spentLauncher = false; // a launcher without rockets left
    };

    PilotStoresLink() = default;
    virtual ~PilotStoresLink() = default;
    PilotStoresLink(const PilotStoresLink&) = delete;
    PilotStoresLink& operator=(const PilotStoresLink&) = delete;

    virtual bool IsGunSelected() const = 0;
    // Gun selected, no rack.
    virtual void SelectGun() = 0;
    virtual uint8_t GetSelectedRack() const = 0;
    virtual std::size_t GetRackCount() const = 0;
    // False when the rack is empty or does not exist.
    virtual bool GetOrdnance(std::size_t rack, Ordnance& out) const = 0;
    // The rack of the next round of that ordnance, alternating sides; NoRack when none is left.
    virtual uint8_t FindNextRack(const Base::String& name) = 0;
    virtual void SelectRack(uint8_t index) = 0;
    // Handed to the selected guided weapon; null clears it.
    virtual void SetSelectedTarget(Target* target) = 0;
    // 0 flare, 1 chaff.
    virtual void DropCountermeasure(int kind) = 0;

    // The maker of a pilot's link for its airplane; tests put stand-ins in its place.
    static std::unique_ptr<PilotStoresLink> (*Make)(Airplane* airplane);
};

// The link to the airplane's weapon stores (Weapons::Stores), the maker's default. Without stores the
// airplane has no racks and its gun, when it has one, is the selected weapon.
std::unique_ptr<PilotStoresLink> MakeWeaponStoresLink(Airplane* airplane);

} // namespace Obj
