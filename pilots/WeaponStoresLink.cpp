#include "pilots/PilotStoresLink.h"

#include "aircraft/Airplane.h"
#include "weapons/Launcher.h"
#include "weapons/Stores.h"

namespace Obj {

namespace {

// The airplane's stores, looked up on each call.
class WeaponStoresLink : public PilotStoresLink {
public:
    explicit WeaponStoresLink(Airplane* airplane) : airplane(airplane) {}

    bool IsGunSelected() const override {
        const Weapons::Stores* s = Stores();
        return s ? s->IsGunSelected() : airplane->hasGun;
    }
    void SelectGun() override {
        if (Weapons::Stores* s = Stores())
            s->SelectGun();
    }
    uint8_t GetSelectedRack() const override {
        const Weapons::Stores* s = Stores();
        return s ? s->selectedRack : NoRack;
    }
    std::size_t GetRackCount() const override {
        const Weapons::Stores* s = Stores();
        return s ? s->racks.size() : 0;
    }
    bool GetOrdnance(std::size_t rack, Ordnance& out) const override {
        const Weapons::Stores* s = Stores();
        const Weapons::Ordnance* o = s ? s->GetOrdnance(rack) : nullptr;
        if (!o)
            return false;
        out.name = o->name;
        out.order = o->order;
        out.airToAir = o->airToAir;
        const auto* pod =
            o->type == Weapons::Ordnance::LauncherType ? dynamic_cast<const Weapons::Launcher*>(o) : nullptr;
        out.spentLauncher = pod && pod->rocketsLeft <= 0;
        return true;
    }
    uint8_t FindNextRack(const Base::String& name) override {
        const Weapons::Stores* s = Stores();
        return s ? s->FindNextRack(name) : NoRack;
    }
    void SelectRack(uint8_t index) override {
        if (Weapons::Stores* s = Stores())
            s->SelectRack(index);
    }
    void SetSelectedTarget(Target* target) override {
        if (Weapons::Stores* s = Stores())
            s->SetSelectedTarget(target);
    }
    void DropCountermeasure(int kind) override {
        if (Weapons::Stores* s = Stores())
            s->DropCountermeasure(kind);
    }

private:
    Weapons::Stores* Stores() const { return Weapons::Stores::Of(airplane); }

    Airplane* airplane; // the pilot drops the link with its airplane
};

} // namespace

std::unique_ptr<PilotStoresLink> MakeWeaponStoresLink(Airplane* airplane) {
    return airplane ? std::make_unique<WeaponStoresLink>(airplane) : nullptr;
}

std::unique_ptr<PilotStoresLink> (*PilotStoresLink::Make)(Airplane*) = &MakeWeaponStoresLink;

} // namespace Obj
