#include "scene/AnimationFile.h"

#include "base/AnimationCache.h"
#include "rwsdk/tool/anim/rtanim.h"

namespace Rw {

void InstallAnimationCache() {
    Base::AnimationCache::Read = [](const Base::String& path) { return RtAnimAnimationRead(path.c_str()); };
    Base::AnimationCache::Destroy = [](RtAnimAnimation* animation) { RtAnimAnimationDestroy(animation); };
}

} // namespace Rw
