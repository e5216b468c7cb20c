// TIFF files for the image format registry, decoded by libtiff through the engine's file interface. There
// is no writer.
#pragma once

#include "rwsdk/src/plcore/types.h"

struct RwImage;

constexpr RwUInt32 rwID_TIFFTOOLKIT = 0x19B;

// The largest width or height that the reader takes.
constexpr RwUInt32 rtTIFFMAXSIDE = 16384;
// The largest tile side: a tile's buffer is allocated before anything of it is read.
constexpr RwUInt32 rtTIFFMAXTILESIDE = 4096;

// Reads 8 bits per sample, 1, 3 or 4 contiguous samples, min-is-white, min-is-black, RGB and palette
// files in strips or tiles.
RwImage* RtTIFFImageRead(const RwChar* imageName);
