// libtiff's file layer over the engine's file interface. Debian's libtiff brings its own TIFFOpen and
// allocator, so this opener has a name of its own and libtiff keeps its allocator.
#pragma once

#include <tiffio.h>

// Opens a game path through the engine's file interface; null when the mode is not a read, write or
// append mode or the file cannot be opened (which the caller tells). What libtiff says about the file is
// noted for RtImageReadFailure instead of printed: raise errors of your own with TIFFErrorExtR.
TIFF* _rtTIFFOpen(const char* name, const char* mode);
