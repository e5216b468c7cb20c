// Obj::CockpitLink: what the airplane, its pilots and its weapons ask of the airplane's 3D cockpit. The
// cockpit, its radar and its navigation points live in a higher layer; they implement this and the airplane
// holds it, so the code below reaches the cockpit without including it.
#pragma once

#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/src/plcore/vector.h"

#include "base/String.h"

#include <cstddef>
#include <cstdint>

namespace Obj {

class Frame;
class Target;

class CockpitLink {
public:
    // Threat levels of the radar-warning list.
    enum ThreatLevel { ThreatSeen = 0, ThreatTracked = 1, ThreatMissile = 2 };
    // Radar target kinds: 0 any, 1 air, 2 ground.
    enum TargetKind { AnyKind = 0, AirKind = 1, GroundKind = 2 };

    struct Threat {
        int level = 0;
        Frame* source = nullptr;
        float time = 0.0f; // game time of the last report
    };

    CockpitLink() = default;
    virtual ~CockpitLink() = default;
    CockpitLink(const CockpitLink&) = delete;
    CockpitLink& operator=(const CockpitLink&) = delete;

    // Radar-warning list: an entry with the same source and a level not above the given one takes the level
    // and the time; otherwise a new entry is added.
    virtual void ReportThreat(Frame* source, int level) = 0;
    virtual std::size_t GetThreatCount() const = 0;
    // False when i is out of range.
    virtual bool GetThreat(std::size_t i, Threat& out) const = 0;

    // The radar: its current target (or null), setting and clearing it, its kind, the two selection
    // commands (form 1 picks the nearest) and the range steps.
    virtual Target* GetRadarTarget() const = 0;
    virtual void SetRadarTarget(int kind, Target* target) = 0;
    virtual int SetRadarTargetKind(int kind) = 0;
    virtual void SelectRadarTarget(int form, int kind) = 0;
    virtual void SetRadarRangeNext(int direction) = 0;
    // The radar's range to its target and the range rate (positive while the target draws away), smoothed;
    // false without a target.
    virtual bool GetTargetRange(float* /*range*/, float* /*rangeRate*/) const { return false; }

    // Navigation points: the next one becomes current (modulo the count).
    virtual void SelectNextNavpoint() = 0;
    // The mission's navpoint slots: Add stores a named ground point in the slot (growing the list with empty
    // slots) and makes it current; Remove empties the slot; the count is that of the slots, empty ones
    // included; the current one is -1 for none; Get is false for an empty slot or an index out of range.
    // A cockpit that does not override these keeps no navpoints: it has no slots and finds none.
    virtual void AddNavpoint(int /*index*/, const char* /*name*/, float /*x*/, float /*z*/) {}
    virtual void RemoveNavpoint(int /*index*/) {}
    virtual std::size_t GetNavpointCount() const { return 0; }
    virtual void SetCurrentNavpoint(int /*index*/) {}
    virtual bool GetNavpoint(int /*index*/, float& /*x*/, float& /*z*/) const { return false; }
    // The current navigation point's name and world position; false when there is none.
    virtual bool GetCurrentNavpoint(Base::String* /*name*/, RwV3d* /*position*/) const { return false; }

    // The eye point in world space: tells whether the sound listener sits in the cockpit.
    virtual RwV3d GetEyePosition() const = 0;
    // The eye point in the airplane's own axes (right, up, at), where the cockpit camera sits.
    virtual RwV3d GetEyeOffset() const { return {0, 0, 0}; }
    // The cockpit model's segment test: the cockpit camera's view is blocked where it hits (the lens
    // flare asks it).
    virtual bool IntersectSegment(const RwLine* /*segment*/) { return false; }

    // 0 air targets, 1 ground targets; set by the player pilot's weapon-selection commands.
    uint32_t weaponMode = 0;
};

} // namespace Obj
