// The sample world flown over: a scenery loaded into its own world, lit by the sky's lights, with the camera
// flying a fixed loop over the coast, the hills, both airbases and through the cloud layer. The scenery
// benchmark runs it; a menu that wants a moving backdrop can too.
#pragma once

#include "base/Config.h"

#include "rwsdk/src/plcore/vector.h"

#include <cstdint>
#include <memory>

struct RwCamera;
struct RwRaster;

namespace Grp {
class World;
}
namespace Obj {
class Camera;
}

namespace Fe {

class Flyover {
public:
    // Seconds of one lap of the path.
    static constexpr double LapTime = 150.0;
    // Most objects one moving group spawns: more would only slow the flyover (the sample's have a few each).
    static constexpr int32_t MaxGroupObjects = 32;

    Flyover();
    ~Flyover();
    Flyover(const Flyover&) = delete;
    Flyover& operator=(const Flyover&) = delete;

    // Loads scenery `number` with the settings into a new world and makes the camera; false without a
    // running engine.
    bool Start(const Base::Config& settings, int number);
    void Stop();
    bool Started() const { return world_ != nullptr; }

    // The camera's place on the path at a time (seconds, any value: the path loops), looking ahead along
    // it and a little down. The height is the path's; Frame keeps it above the ground.
    static void PathPoint(double time, RwV3d& position, RwV3d& at);

    // One frame at path time `time`: the world's clock advanced by frameTime, its simulation and run
    // passes, and its drawing into the colour and depth rasters (shown in the window when one is given).
    void Frame(double time, double frameTime, RwRaster* colour, RwRaster* depth, void* window);

    // The camera at its place on the path, kept above the ground; nothing drawn.
    void PlaceCamera(double time);

    Grp::World* World() const { return world_.get(); }
    RwCamera* Camera() const;

private:
    std::unique_ptr<Grp::World> world_;
    std::unique_ptr<Obj::Camera> camera_;
};

} // namespace Fe
