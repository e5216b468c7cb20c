// Windows bitmap files for the image format registry: reads 1, 4, 8, 16, 24 and 32-bit files and 8-bit
// run-length files; writes 4, 8 and 24-bit files.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwImage;

constexpr RwUInt32 rwID_BMPTOOLKIT = 0x19D;

// The largest width or height that the reader takes.
constexpr RwInt32 rtBMPMAXSIDE = 16384;

RwImage* RtBMPImageRead(const RwChar* imageName);
// The image, or null when the file cannot be opened or written.
RwImage* RtBMPImageWrite(RwImage* image, const RwChar* imageName);
