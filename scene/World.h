// Grp::World: every object of a running game, in its object list (newest first) and sorted by role into
// six groups, with the engine world its models draw in and the world's own clock. Objects enter only by
// AddObject and leave only by RemoveObject; the world owns what is in it and destroys it in Clear.
#pragma once

#include "scene/ObjectModel.h"
#include "scene/Wrappers.h"

#include <memory>

namespace Audio {
class SoundGroup;
}
namespace Input {
class Keyboard;
class Mouse;
class Joystick;
} // namespace Input

namespace Obj {
class Sky;
class Clouds;
class Terrain;
} // namespace Obj

namespace Grp {

// The world's clock: the frame time advances it at a rate, at most 0.1 s a frame, or by a fixed step.
struct WorldTime {
    float time = 0;
    float step = 0;
    float rate = 1.0f;
    float fixedStep = -1.0f; // negative: none

    // With the frame clock's frame time.
    void Advance();
    void Advance(double frameTime);
};

// The sky, clouds and terrain classes live above this library. Each registers its casts here from its own
// source file (static const bool registered = SceneryCast<Obj::Terrain>::Register ();), so that the world
// can recognise it by cast as it joins and leaves.
template <class Kind> struct SceneryCast {
    static inline Kind* (*fromObject)(Obj::Object*) = nullptr;
    static inline Kind* (*fromStatic)(Obj::Static*) = nullptr;

    static bool Register() {
        fromObject = [](Obj::Object* object) { return dynamic_cast<Kind*>(object); };
        fromStatic = [](Obj::Static* object) { return dynamic_cast<Kind*>(object); };
        return true;
    }
    static Kind* Cast(Obj::Object* object) { return fromObject ? fromObject(object) : nullptr; }
    static Kind* Cast(Obj::Static* object) { return fromStatic ? fromStatic(object) : nullptr; }
};

class World : public Simple<Obj::Object>, public Rw::World {
public:
    // The default world: 800 km square, 60 km high, 20 x 1 x 20 cells per spatial group.
    World();
    explicit World(const RwBBox& box, int nx = 20, int ny = 1, int nz = 20);
    ~World() override;

    virtual void AddObject(Obj::Object* object);
    virtual void RemoveObject(Obj::Object* object);
    // Removes and destroys every object; attached children go with their parents.
    void Clear();

    std::unique_ptr<WorldTime> time;
    std::unique_ptr<Spatial<Obj::Renderable>> renderables;
    std::unique_ptr<Simple<Obj::Runnable>> runnables;
    std::unique_ptr<Simple<Obj::Simulateable>> simulateables;
    std::unique_ptr<Spatial<Obj::Static>> statics;
    std::unique_ptr<Spatial<Obj::Dynamic>> dynamics;
    std::unique_ptr<Simple<Obj::Target>> targets;
    Obj::Sky* sky = nullptr;
    Obj::Clouds* clouds = nullptr;
    Obj::Terrain* terrain = nullptr;

    // Given by whoever builds the world (the terrain, the games).
    struct Extent {
        float minX = 0, minZ = 0, sizeX = 0, sizeZ = 0;
    } terrainExtent;
    Audio::SoundGroup* soundGroup = nullptr;
    Input::Keyboard* keyboard = nullptr;
    Input::Mouse* mouse = nullptr;
    Input::Joystick* joystick = nullptr;
};

// The hit nearest to the segment's start among the statics that are terrain, or among the others.
bool FindNearestTerrainHit(const Spatial<Obj::Static>& statics, const RwLine& segment, RwV3d* outPoint,
                           RwV3d* outNormal, Obj::Static** outObject);
bool FindNearestStaticHit(const Spatial<Obj::Static>& statics, const RwLine& segment, RwV3d* outPoint,
                          RwV3d* outNormal, Obj::Static** outObject);

} // namespace Grp
