// Why an image file was refused, in the words of the library that decoded it. The file readers keep libtiff
// and libpng from printing (a texture is looked for along its path again and again, and each try would
// print); whoever tells the failure, once, adds this to its own message.
#pragma once

#include "rwsdk/src/plcore/types.h"

// The first error (or, with none, the first warning) that a decoding library gave on this thread since the
// last clear, on one line and cut short, as "libtiff: ..." or "libpng: ..."; empty when there was none.
const RwChar* RtImageReadFailure();
void RtImageReadFailureClear();

// For the readers: notes what a library said, unless an error was noted already (or a warning, and this is
// one too).
void _rtImageReadFailureNote(const RwChar* library, const RwChar* text, RwBool error);
