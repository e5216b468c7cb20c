// The engine's world side: materials, meshes, geometry, lights, atomics and clumps.
#pragma once

#include "rwsdk/world/baclump.h"
#include "rwsdk/world/bageomet.h"
#include "rwsdk/world/balight.h"
#include "rwsdk/world/bamateri.h"
#include "rwsdk/world/bamesh.h"
#include "rwsdk/world/baworld.h"
#include "rwsdk/world/baworobj.h"
#include "rwsdk/world/bawrld.h"
