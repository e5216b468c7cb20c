// The GL driver's own leaks are suppressed by library name (scripts/lsan.supp); LeakSanitizer can name a
// library only while it is loaded, so tests that draw keep the driver's libraries loaded to the end of the
// process.
#pragma once

#include <dlfcn.h>

#include <initializer_list>

namespace TestSupport {

inline void PinGlDriver() {
    for (const char* name : {"libEGL_mesa.so.0", "libGLX_mesa.so.0", "libglapi.so.0", "libgallium_dri.so",
                             "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "libLLVM-15.so.1"})
        dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

} // namespace TestSupport
