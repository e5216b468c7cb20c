// Joining and leaving the world's drawing and per-frame groups, shared by the objects that take on those
// roles.
#pragma once

#include "scene/ObjectModel.h"

namespace Obj {

// Files the object in the world's renderables; a null world takes it out, if in.
void SetRenderableWorld(Renderable& member, Grp::World* joined);

// Puts the object in the world's runnables; a null world takes it out, if in.
void SetRunnableWorld(Runnable& member, Grp::World* joined);

} // namespace Obj
