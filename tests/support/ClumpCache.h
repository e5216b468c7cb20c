// The clump cache is process-wide: a test that installed its reader empties it and takes the hooks back, so
// the next test starts from a cache that reads nothing.
#pragma once

#include "base/ClumpCache.h"

namespace TestSupport {

inline void RemoveClumpCache() {
    Base::ClumpCache::Clear();
    Base::ClumpCache::Read = nullptr;
    Base::ClumpCache::Clone = nullptr;
    Base::ClumpCache::Destroy = nullptr;
}

} // namespace TestSupport
