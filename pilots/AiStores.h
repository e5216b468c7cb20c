// Obj::AiStores: what the computer pilot asks of its airplane's weapon stores: the racks with what they hold,
// the selection, firing, decoys and the jammer. The pilot sees the stores only through this, so that a test
// can fly it against a stand-in that records what it was asked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Obj {

class Target;

class AiStores {
public:
    static constexpr uint8_t NoRack = 255;
    enum Countermeasure { Flare = 0, Chaff = 1 };

    // What one rack holds; type as the ordnance's type code (0 homing rocket, 1 bomb, 2 unguided rocket,
    // 3 rocket pod), range the homing rocket's maximum speed times its time to live.
    struct Rack {
        bool loaded = false;
        int32_t type = -1;
        bool airToAir = false;
        float range = 0;
    };

    AiStores() = default;
    virtual ~AiStores() = default;
    AiStores(const AiStores&) = delete;
    AiStores& operator=(const AiStores&) = delete;

    virtual std::size_t RackCount() const = 0;
    virtual Rack GetRack(std::size_t i) const = 0;
    virtual uint8_t Selected() const = 0;
    // Clears the selected rack's target, selects rack i (NoRack: none) and gives the selection the radar's
    // current target again.
    virtual void Select(uint8_t i) = 0;
    // The guided weapon of the selected rack: its target, and whether its seeker holds a lock.
    virtual void SetGuidedTarget(Target* target) = 0;
    virtual bool SelectedHasLock() const = 0;
    // Fires or drops the selected weapon; false when nothing left (a closed weapon door, an empty rack).
    virtual bool FireSelected() = 0;
    virtual void DropCountermeasure(int kind) = 0;
    virtual void SetJammer(bool on) = 0;
};

} // namespace Obj
