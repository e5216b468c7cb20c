// PNG files for the image format registry, decoded and encoded by libpng over engine streams.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwImage;

constexpr RwUInt32 rwID_PNGTOOLKIT = 0x10D;

// The largest width or height that the reader takes.
constexpr RwInt32 rtPNGMAXSIDE = 16384;
// Largest ancillary chunk kept, and most ancillary chunks read, per file.
constexpr RwUInt32 rtPNGMAXCHUNK = 1 << 20;
constexpr RwUInt32 rtPNGMAXCHUNKS = 1000;

RwImage* RtPNGImageRead(const RwChar* imageName);
// Writes images of depth 4 and 8 as palette files (every entry, with its alpha) and 32-bit images as RGBA.
// The image, or null on failure.
RwImage* RtPNGImageWrite(RwImage* image, const RwChar* imageName);
