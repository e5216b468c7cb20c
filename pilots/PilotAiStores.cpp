// The computer pilot's view of the weapons layer's stores, made for each airplane that has stores.
#include "pilots/PilotAi.h"

#include "weapons/HomingRocket.h"
#include "weapons/Stores.h"

namespace Obj {

namespace {

class StoresAdapter : public AiStores {
public:
    explicit StoresAdapter(Weapons::Stores* stores_) : stores(stores_) {}

    std::size_t RackCount() const override { return stores->racks.size(); }
    Rack GetRack(std::size_t i) const override {
        Rack rack;
        Weapons::Ordnance* ordnance = stores->GetOrdnance(i);
        if (!ordnance)
            return rack;
        rack.loaded = true;
        rack.type = ordnance->type;
        rack.airToAir = ordnance->airToAir;
        if (auto* rocket = dynamic_cast<Weapons::Rocket*>(ordnance))
            rack.range = rocket->maxSpeed * rocket->timeToLive;
        return rack;
    }
    uint8_t Selected() const override { return stores->gunSelected ? NoRack : stores->selectedRack; }
    void Select(uint8_t i) override { stores->SelectRack(i); }
    void SetGuidedTarget(Target* target) override {
        if (auto* missile = dynamic_cast<Weapons::HomingRocket*>(stores->GetSelectedOrdnance()))
            missile->SetTarget(target, false);
    }
    bool SelectedHasLock() const override {
        auto* missile = dynamic_cast<Weapons::HomingRocket*>(stores->GetSelectedOrdnance());
        return missile && missile->IsLocked();
    }
    bool FireSelected() override { return stores->FireSelected(); }
    void DropCountermeasure(int kind) override { stores->DropCountermeasure(kind); }
    void SetJammer(bool on) override { stores->SetJammer(on); }

    Weapons::Stores* stores;
};

} // namespace

std::unique_ptr<AiStores> PilotAi::WeaponStoresOf(Airplane* airplane) {
    Weapons::Stores* stores = Weapons::Stores::Of(airplane);
    if (!stores)
        return nullptr;
    return std::make_unique<StoresAdapter>(stores);
}

int PilotAi::GuidanceOf(Frame* source) {
    auto* missile = dynamic_cast<Weapons::HomingRocket*>(source);
    return missile ? int(missile->guidance) : 0;
}

} // namespace Obj
