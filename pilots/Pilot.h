// Obj::Pilot: the pilot of an airplane as a world object. A small figure that sits in the cockpit while the
// airplane flies (and builds up the g-load blackout and redout levels that the cockpit shows), is thrown out
// on ejection, falls free, opens a parachute and is removed when it reaches the ground. The base of the
// player's and the computer's pilots.
#pragma once

#include "objects/Model.h"

#include <cstdint>

namespace Obj {

class Airplane;

class Pilot : public Model, public Dynamic, public Runnable {
public:
    enum Figure : uint32_t { Seated = 0, Ejected = 1, FallingFree = 2, UnderParachute = 3 };

    // Seconds after the ejection at which the figure starts to fall free, and opens its parachute.
    static constexpr float FreeFallAfter = 2.5f;
    static constexpr float ParachuteAfter = 7.0f;
    // How fast the seat throws the figure out along the airplane's up axis.
    static constexpr float EjectionSpeed = 25.0f;
    // The ejected airplane flies on this long before it crashes.
    static constexpr float CrashAfterEjection = 7.0f;

    // The cameras live a layer above: the camera layer tells whether a camera is the inside view of an
    // airplane's cockpit, from which that airplane's pilot is not drawn. Without it the pilot is always
    // drawn.
    static inline bool (*IsInsideViewOf)(Cameras::Basic* camera, const Airplane* airplane) = nullptr;

    Pilot();
    ~Pilot() override;

    // The figure's model description; then the seated figure shows.
    bool Load(const Base::Info* info) override;
    using Model::Load;
    void SetWorld(Grp::World* world) override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;
    const RwSphere* GetBoundingSphere() override { return Model::GetBoundingSphere(); }
    bool IntersectSegment(const RwLine* segment, RwV3d* outPoint, RwV3d* outNormal) override {
        return Clump::IntersectSegment(segment, outPoint, outNormal);
    }
    void Run() override;

    // Seats the pilot in the airplane (at its pilot seat), or with null lets go of it where it is.
    void SetAirplane(Airplane* airplane);
    Airplane* GetAirplane() const;
    // The seated pilot of an airplane, or null.
    static Pilot* Of(const Airplane* airplane);

    // Out of the airplane: the canopy goes, the airplane flies on without control and crashes a little
    // later, and the figure flies free. Nothing without an airplane.
    void Eject();
    // Shows the figure's part for that state (when the model has it) and keeps the state.
    void SetFigure(uint32_t state);

    uint32_t figureState = Seated;
    float ejectTime = 0;        // world time of the ejection
    RwV3d velocity = {0, 0, 0}; // of the free figure
    float blackout = 0;         // positive-g level, 0 or more
    float redout = 0;           // negative-g level, 0 or more

private:
    void RunSeated(float dt);
    // True when the figure reached the ground (and is gone).
    bool RunFree(float dt);
};

} // namespace Obj
