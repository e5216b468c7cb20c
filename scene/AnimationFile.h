// Animation files: the animation cache's reader and destroyer.
#pragma once

namespace Rw {

// Lets Base::AnimationCache read *.anm files with the engine's animation toolkit.
void InstallAnimationCache();

} // namespace Rw
