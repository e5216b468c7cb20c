// Palette quantiser: builds a palette of at most N colours for 32-bit (or palettised) images and maps their
// pixels to it. A tree of 16-way nodes over red, green, blue and alpha gathers weighted colour statistics;
// the palette comes from splitting boxes of that colour space where the squared error drops most.
#pragma once

#include "rwsdk/src/plcore/freelist.h"
#include "rwsdk/src/plcore/types.h"

struct RwImage;

// Tree levels: a pixel's top 6 bits per channel choose its leaf.
#define rwPALQUANTDEPTH 6

// Weighted statistics of the pixels in a cell: weight, sums of the four luma-scaled channel values, sum of
// their squared lengths (centred once the palette is made).
struct RwPaletteQuantizerStats {
    RwReal weight;
    RwReal sum[4];
    RwReal sumSquares;
};

struct RwPaletteQuantizerNode {
    RwPaletteQuantizerNode* children[16];
    RwPaletteQuantizerStats stats;
    RwUInt8 paletteIndex;
};

struct RwPaletteQuantizer {
    RwUInt32 spread[1 << rwPALQUANTDEPTH]; // channel value -> its bits spread to one per tree level
    RwFreeList* nodeFreeList;
    RwPaletteQuantizerNode* root;
    RwInt32 numLeaves;
    RwBool prepared; // the statistics were turned into cell-relative form by MakePalette
};

RwBool RwPaletteQuantizerInit(RwPaletteQuantizer* quantizer);
void RwPaletteQuantizerDeinit(RwPaletteQuantizer* quantizer);
// Adds every pixel of a 32-bit image, or of a 4- or 8-bit image through its palette, with the weight.
RwBool RwPaletteQuantizerAddImage(RwPaletteQuantizer* quantizer, const RwImage* image, RwReal weight);
// Writes at most maxColours palette entries (red, green, blue, alpha; the rest cleared) and numbers the
// leaves; returns the number of colours made.
RwInt32 RwPaletteQuantizerMakePalette(RwPaletteQuantizer* quantizer, RwUInt8* palette, RwInt32 maxColours);
// Writes one palette index byte per pixel of the image into the destination rows.
void RwPaletteQuantizerMatchImage(RwPaletteQuantizer* quantizer, RwUInt8* destination,
                                  RwInt32 destinationStride, const RwImage* image);
