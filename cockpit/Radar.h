// Cockpit::Radar: the heading-up plan display on the cockpit's first monitor, the contacts it refreshes once
// a second of game time, the detection rule that decides what it sees, and the selection of the airplane's
// radar target (Cockpit::RadarTarget), which it hands to the weapon stores and mirrors in the target data.
#pragma once

#include "gui/draw/Draw3d.h"

#include "base/SmartPtr.h"
#include "rwsdk/src/plcore/matrix.h"

#include <cmath>
#include <vector>

namespace Gui {
class Font;
}
namespace Obj {
class Airbase;
class Airplane;
class Target;
} // namespace Obj

namespace Cockpit {

class Cockpit;

// The airplane's radar target: kind 0 none, 1 air (an airplane), 2 ground (anything else).
struct RadarTarget {
    Obj::Airplane* owner = nullptr;
    Base::SmartPtr<Obj::Target> target; // null once the target is destroyed
    int kind = 0;
};

class Radar {
public:
    static constexpr RwRGBA Bright{0, 255, 0, 255};
    static constexpr RwRGBA Dark{0, 128, 0, 255};
    static constexpr RwRGBA Faint{0, 255, 0, 128};
    static constexpr RwRGBA Below{0, 172, 0, 255}; // a negative height difference

    // Glyphs of the symbol font.
    static constexpr char ContactGlyph = char(128), NavpointGlyph = char(129), TargetGlyph = char(130);

    // Builds the display on the face "Monitor1", which joins the cockpit's instrument mesh; without that
    // face the radar scans and selects but draws nothing.
    explicit Radar(Cockpit* cockpit);
    virtual ~Radar() = default;
    Radar(const Radar&) = delete;
    Radar& operator=(const Radar&) = delete;

    // The range steps: 1 larger, anything else smaller, through 2, 5, 10, 20, 40 and 60 km, wrapping.
    void SetRangeNext(int direction);
    static float NextRange(float range, int direction);

    // The detection margin of the object for the observer: seen when 0 or more.
    float GetSignal(const RadarTarget& observer, Obj::Target* object) const;
    // The next target farther than the current one (wrapping to the nearest), or the nearest; kind 1 air,
    // 2 ground, 0 either. Nothing while the own jammer is on.
    void SelectTarget(RadarTarget& rt, bool nearest, int kind);
    // Sets the target (refused for a friendly object or one not of the kind), or clears it with null.
    void SetTarget(RadarTarget& rt, int kind, Obj::Target* target);
    // Switching to another kind drops the target. Returns the new kind.
    int SetTargetKind(RadarTarget& rt, int kind);
    // Drops a target that is destroyed or no longer seen.
    void ValidateTarget(RadarTarget& rt);

    // Per frame: the airbases once, the contacts once a second of game time.
    void Update();
    void Render();

    // A world direction (x, z) turned heading-up by theta: ahead is the display's +y, the airplane's left
    // (its model's +x) the display's +x.
    static Base::Vector2 Turn(float x, float z, float theta);
    // A point of the world as the display shows it; the unit circle is the range.
    static Base::Vector2 DisplayPoint(float x, float z, float ownX, float ownZ, float range, float theta);
    // A point beyond the rim moves onto it while the blink is on and is not shown while it is off; false
    // when it is not shown.
    static bool OnRim(Base::Vector2& point, bool blinkOn);
    // The first `on` seconds of every `period` of the clock.
    static bool BlinkOn(double clock, double period, double on) { return std::fmod(clock, period) < on; }

    Cockpit* cockpit;
    const Gui::Font* textFont = nullptr;
    const Gui::Font* symbolFont = nullptr;
    bool present = false; // the face "Monitor1" exists: the display can draw
    RwMatrix matrix;      // the display's -1..1 on the monitor, in the cockpit's frame
    float range = 40000.0f;
    Gui::Vertex3d rings[41 + 31 + 21];
    float lastScan = -1.0f;
    std::vector<Base::SmartPtr<Obj::Target>> contacts;
    bool airbasesPending = true;
    std::vector<Obj::Airbase*> airbases;

private:
    bool SelectOnce(RadarTarget& rt, bool nearest, int kind);
};

} // namespace Cockpit
