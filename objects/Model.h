// Obj::Model: a world object drawn from a model file with its model description. It keeps its entry in the
// world's renderables and its clump in the engine world up to date as it moves, joins and leaves.
#pragma once

#include "scene/Dff.h"
#include "scene/ObjectModel.h"

namespace Obj {

class Model : public Object, public Renderable, public Dff {
public:
    using RenderRole = Alg::Render::Object<Cameras::Basic>;

    Model() = default;

    // The model description; then the model's render orders become the object's.
    bool Load(const Base::Info* info) override;
    void Render(unsigned order, Cameras::Basic* camera) override;
    // The clump's world sphere; none before a model is loaded.
    const RwSphere* GetBoundingSphere() override;
    Rw::Frame* Transform(const RwMatrix* matrix, int combine) override;
    void SetWorld(Grp::World* world) override;
};

} // namespace Obj
