// Resampling of 32-bit images by area averaging.
#pragma once

#include "rwsdk/src/baimage.h"

// Scales the source into the destination's size; both 32 bits, the destination with pixels.
RwImage* RwImageResample(RwImage* destination, const RwImage* source);
// A new 32-bit image of the given size from an image of any depth; null on failure.
RwImage* RwImageCreateResampled(const RwImage* image, RwInt32 width, RwInt32 height);
