// Obj::Wreck: what is left of a destroyed car or airplane. Its model is cut by random planes into pieces that
// fly apart, tumble, fall, bounce on the terrain, come to rest and fade; the wreck deletes itself once no
// piece is visible. Every piece is a fragment: an atomic on its own frame with geometry of its own.
#pragma once

#include "scene/Clump.h"
#include "scene/ObjectModel.h"
#include "scene/Wrappers.h"

#include <cstdint>
#include <vector>

struct RpGeometry;

namespace Obj {

class Wreck : public Clump, public Object, public Renderable, public Runnable {
public:
    static constexpr uint8_t RenderOrder = 128;
    static constexpr float LevelThreshold = 5000.0f;
    static constexpr float FadeSeconds = 4.0f;
    static constexpr float LifeSeconds = 20.0f; // times the life factor

    class Fragment : public Rw::Frame, public Rw::Atomic {
    public:
        explicit Fragment(Wreck* owner);

        // One step of dt seconds on the wreck's world; whether the piece is still visible.
        bool Step(float dt);

        Wreck* wreck = nullptr;
        float life = 0;
        float size = 0;
        RwV3d velocity{0, 0, 0};
        RwV3d spin{0, 0, 0}; // axis times radians per second
    };

    // A piece of a split: geometry (one reference held) and the world matrix of its atomic.
    struct Piece {
        RpGeometry* geometry = nullptr;
        RwMatrix matrix;
    };

    // What the destroyed break their models with.
    struct Breakage {
        int depth;
        float maxPieceSize, lifeFactor, blast;
    };
    static constexpr Breakage Car{1, 1.0f, 10.0f, 0.2f};
    // An airplane also passes its own velocity.
    static constexpr Breakage Airplane(float speed) { return {3, 2.0f, 1.0f, 1 + 0.005f * speed}; }

    // An empty wreck on its own new clump.
    Wreck();
    ~Wreck() override;

    // Breaks the model's drawn atomics into fragments of this wreck; the model itself is only read.
    void CreateFromModel(Clump* model, const RwV3d& velocity, int depth, float maxPieceSize, float lifeFactor,
                         float blast);
    void CreateFromModel(Clump* model, const RwV3d& velocity, const Breakage& how) {
        CreateFromModel(model, velocity, how.depth, how.maxPieceSize, how.lifeFactor, how.blast);
    }
    // The pieces of an atomic's geometry: cut by random planes through the box centre, each triangle whole
    // to the side of its centroid, until a piece is no larger than maxPieceSize or the depth runs out. The
    // geometry is only read; a geometry small enough at the start leaves no piece.
    static void SplitGeometry(RpGeometry* geometry, const RwMatrix& matrix, int depth, float maxPieceSize,
                              std::vector<Piece>& out);

    void Run() override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    const RwSphere* GetBoundingSphere() override;
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;
    void SetWorld(Grp::World* world) override;

    const std::vector<Fragment*>& Fragments() const { return fragments_; }

    RwSphere sphere = {{0, 0, 0}, 0};
    bool sphereValid = false;

private:
    void UpdateSphere();
    std::vector<Fragment*> fragments_;
};

} // namespace Obj
