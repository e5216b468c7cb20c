// What the fuzzers of the scene's objects share: the engine with the plugins that objects use, and the
// program's clump cache reading models from the fuzzer's scratch directory, where the caller writes them.
#pragma once

#include "fuzz/support/EngineFuzz.h"
#include "fuzz/support/Scratch.h"
#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

#include "base/ClumpCache.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/world/rpworld.h"

namespace FuzzSupport {

inline bool StartSceneEngine() {
    if (!EngineFuzz::Start(RpWorldPluginAttach, RpUserDataPluginAttach, RpCollisionPluginAttach,
                           Rw::Frame::RegisterPlugins, Rw::RegisterWrapperPlugins,
                           Rw::AtomicLodData::RegisterPlugin))
        return false;
    Base::ClumpCache::Directory = ScratchDirectory();
    Rw::InstallClumpCache();
    return true;
}

} // namespace FuzzSupport
