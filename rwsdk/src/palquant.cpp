// Palette quantiser: a 16-way tree over the top bits of red, green, blue and alpha gathers per-cell colour
// statistics; boxes of the 64-step colour grid are then split where the squared error falls most.
#include "rwsdk/src/palquant.h"

#include "rwsdk/src/baimage.h"
#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"

#include <cstring>

namespace {

constexpr RwInt32 depth = rwPALQUANTDEPTH;
constexpr RwInt32 gridSize = 1 << depth;
constexpr RwUInt32 hintNodes = 0x30411;
constexpr RwUInt32 hintBoxes = 0x10411;
constexpr RwInt32 nodesPerBlock = 1024;
constexpr RwUInt8 lowBitsMask = (1 << (8 - depth)) - 1;

// Luma weights relative to green (0.299 : 0.587 : 0.114), so that errors count as the eye sees them.
constexpr RwReal lumaScale[4] = {0.5093697f, 1.0f, 0.19420783f, 1.0f};
constexpr RwReal lumaUnscale[4] = {1.9632107f, 1.0f, 5.1491227f, 1.0f};

struct Box {
    RwInt32 lo[4];
    RwInt32 hi[4]; // exclusive
    RwPaletteQuantizerStats stats;
    RwReal error;
};

void ClearStats(RwPaletteQuantizerStats& s) {
    s.weight = 0.0f;
    s.sum[0] = s.sum[1] = s.sum[2] = s.sum[3] = 0.0f;
    s.sumSquares = 0.0f;
}

RwReal MeanDistanceSquared(const RwPaletteQuantizerStats& a, const RwPaletteQuantizerStats& b) {
    RwReal d = 0.0f;
    for (int c = 0; c < 4; c++) {
        const RwReal diff = a.sum[c] / a.weight - b.sum[c] / b.weight;
        d += diff * diff;
    }
    return d;
}

// The squared error that joining two sets adds to the sum of their own errors.
RwReal BetweenError(const RwPaletteQuantizerStats& a, const RwPaletteQuantizerStats& b) {
    return MeanDistanceSquared(a, b) / (1.0f / a.weight + 1.0f / b.weight);
}

void Merge(RwPaletteQuantizerStats& into, const RwPaletteQuantizerStats& other) {
    RwReal extra = 0.0f;
    if (into.weight > 0.0f && other.weight > 0.0f) {
        extra = BetweenError(into, other);
    }
    into.weight += other.weight;
    for (int c = 0; c < 4; c++) {
        into.sum[c] += other.sum[c];
    }
    into.sumSquares += other.sumSquares + extra;
}

RwUInt32 KeyOf(const RwPaletteQuantizer* q, const RwUInt8* rgba) {
    constexpr int shift = 8 - depth;
    return (q->spread[rgba[0] >> shift] << 3) | (q->spread[rgba[1] >> shift] << 2) |
           (q->spread[rgba[2] >> shift] << 1) | q->spread[rgba[3] >> shift];
}

RwPaletteQuantizerNode* NewNode(RwPaletteQuantizer* q) {
    auto* node = static_cast<RwPaletteQuantizerNode*>(RwFreeListEntryAlloc(q->nodeFreeList, hintNodes));
    if (node) {
        std::memset(node, 0, sizeof(*node));
    }
    return node;
}

void FreeTree(RwPaletteQuantizer* q, RwPaletteQuantizerNode* node) {
    for (RwPaletteQuantizerNode* child : node->children) {
        if (child) {
            FreeTree(q, child);
        }
    }
    RwFreeListEntryFree(q->nodeFreeList, node);
}

bool AddPixel(RwPaletteQuantizer* q, const RwUInt8* rgba, RwReal weight) {
    RwUInt32 key = KeyOf(q, rgba);
    RwPaletteQuantizerNode* node = q->root;
    for (RwInt32 level = 0; level < depth; level++, key >>= 4) {
        RwPaletteQuantizerNode*& child = node->children[key & 15];
        if (!child) {
            child = NewNode(q);
            if (!child) {
                return false;
            }
            if (level == depth - 1) {
                q->numLeaves++;
            }
        }
        node = child;
    }
    RwPaletteQuantizerStats& s = node->stats;
    RwReal lengthSquared = 0.0f;
    s.weight += weight;
    for (int c = 0; c < 4; c++) {
        const RwReal v = (rgba[c] & lowBitsMask) * (1.0f / 255.0f) * lumaScale[c];
        s.sum[c] += weight * v;
        lengthSquared += v * v;
    }
    s.sumSquares += weight * lengthSquared;
    return true;
}

// Leaves: centre the sum of squares and move the sums from cell-relative to absolute values. Interior
// nodes: the merge of their children.
void Prepare(RwPaletteQuantizerNode* node, RwInt32 level, const RwInt32 coords[4]) {
    if (level == depth) {
        RwPaletteQuantizerStats& s = node->stats;
        if (s.weight > 0.0f) {
            RwReal lengthSquared = 0.0f;
            for (int c = 0; c < 4; c++) {
                lengthSquared += s.sum[c] * s.sum[c];
            }
            s.sumSquares -= lengthSquared / s.weight;
            if (s.sumSquares < 0.0f) {
                s.sumSquares = 0.0f;
            }
            for (int c = 0; c < 4; c++) {
                s.sum[c] +=
                    s.weight * (static_cast<RwReal>(coords[c] << (8 - depth)) / 255.0f) * lumaScale[c];
            }
        }
        return;
    }
    ClearStats(node->stats);
    for (int digit = 0; digit < 16; digit++) {
        if (RwPaletteQuantizerNode* child = node->children[digit]) {
            const RwInt32 childCoords[4] = {coords[0] * 2 + ((digit >> 3) & 1),
                                            coords[1] * 2 + ((digit >> 2) & 1),
                                            coords[2] * 2 + ((digit >> 1) & 1), coords[3] * 2 + (digit & 1)};
            Prepare(child, level + 1, childCoords);
            Merge(node->stats, child->stats);
        }
    }
}

// Calls visit(node) for every node whose cell lies inside the box, descending into cells that straddle it.
template <typename Visit>
void ForCellsInBox(RwPaletteQuantizerNode* node, RwInt32 level, const RwInt32 coords[4], const RwInt32 lo[4],
                   const RwInt32 hi[4], Visit&& visit) {
    const RwInt32 shift = depth - level;
    bool inside = true;
    for (int c = 0; c < 4; c++) {
        const RwInt32 cellLo = coords[c] << shift;
        const RwInt32 cellHi = (coords[c] + 1) << shift;
        if (cellHi <= lo[c] || cellLo >= hi[c]) {
            return;
        }
        inside = inside && cellLo >= lo[c] && cellHi <= hi[c];
    }
    if (inside) {
        visit(node);
        return;
    }
    for (int digit = 0; digit < 16; digit++) {
        if (RwPaletteQuantizerNode* child = node->children[digit]) {
            const RwInt32 childCoords[4] = {coords[0] * 2 + ((digit >> 3) & 1),
                                            coords[1] * 2 + ((digit >> 2) & 1),
                                            coords[2] * 2 + ((digit >> 1) & 1), coords[3] * 2 + (digit & 1)};
            ForCellsInBox(child, level + 1, childCoords, lo, hi, visit);
        }
    }
}

constexpr RwInt32 rootCoords[4] = {0, 0, 0, 0};

// The statistics of a box: plain sums of weights, sums and second moments (in double precision, as the
// moments are large next to the spread), centred once at the end.
RwPaletteQuantizerStats Gather(RwPaletteQuantizerNode* root, const RwInt32 lo[4], const RwInt32 hi[4]) {
    double weight = 0.0, sum[4] = {0.0, 0.0, 0.0, 0.0}, moment = 0.0;
    ForCellsInBox(root, 0, rootCoords, lo, hi, [&](RwPaletteQuantizerNode* node) {
        const RwPaletteQuantizerStats& n = node->stats;
        if (n.weight <= 0.0f) {
            return;
        }
        double lengthSquared = 0.0;
        for (int c = 0; c < 4; c++) {
            sum[c] += n.sum[c];
            lengthSquared += double(n.sum[c]) * n.sum[c];
        }
        weight += n.weight;
        moment += n.sumSquares + lengthSquared / n.weight;
    });
    RwPaletteQuantizerStats s;
    ClearStats(s);
    if (weight > 0.0) {
        double lengthSquared = 0.0;
        for (int c = 0; c < 4; c++) {
            s.sum[c] = static_cast<RwReal>(sum[c]);
            lengthSquared += sum[c] * sum[c];
        }
        s.weight = static_cast<RwReal>(weight);
        const double centred = moment - lengthSquared / weight;
        s.sumSquares = centred > 0.0 ? static_cast<RwReal>(centred) : 0.0f;
    }
    return s;
}

void ComputeBox(RwPaletteQuantizerNode* root, Box& box) {
    box.stats = Gather(root, box.lo, box.hi);
    box.error = box.stats.sumSquares;
}

// Bisection along one channel for the cut that leaves the smallest error; returns the error and the cut (-1
// when no cut beats the box's own error).
RwReal BestCut(RwPaletteQuantizerNode* root, const Box& box, int channel, RwInt32& cut) {
    RwReal best = box.error;
    cut = -1;
    RwInt32 lo = box.lo[channel], hi = box.hi[channel];
    while (hi - lo > 1) {
        const RwInt32 m = lo + (hi - lo) / 2;
        RwInt32 lowerHi[4] = {box.hi[0], box.hi[1], box.hi[2], box.hi[3]};
        lowerHi[channel] = m;
        const RwPaletteQuantizerStats lower = Gather(root, box.lo, lowerHi);
        RwPaletteQuantizerStats upper;
        upper.weight = box.stats.weight - lower.weight;
        for (int c = 0; c < 4; c++) {
            upper.sum[c] = box.stats.sum[c] - lower.sum[c];
        }
        // Tiny weights left by rounding count as empty.
        const bool lowerEmpty = lower.weight <= box.stats.weight * 1e-7f;
        const bool upperEmpty = upper.weight <= box.stats.weight * 1e-7f;
        if (lowerEmpty) {
            lo = m;
            continue;
        }
        if (upperEmpty) {
            hi = m;
            continue;
        }
        const RwReal between = BetweenError(lower, upper);
        upper.sumSquares = box.stats.sumSquares - lower.sumSquares - between;
        const RwReal error = box.error - between;
        if (error < best) {
            best = error;
            cut = m;
        }
        if (lower.sumSquares < upper.sumSquares) {
            lo = m;
        } else {
            hi = m;
        }
    }
    return best;
}

void WriteColour(const RwPaletteQuantizerStats& s, RwUInt8* entry) {
    for (int c = 0; c < 4; c++) {
        RwReal value = 0.0f;
        if (s.weight > 0.0f) {
            value = s.sum[c] / s.weight * lumaUnscale[c] * 255.99f;
        }
        entry[c] = value >= 255.0f ? 255 : value <= 0.0f ? 0 : static_cast<RwUInt8>(value);
    }
}

void NumberLeavesInTreeOrder(RwPaletteQuantizerNode* node, RwInt32 level, RwInt32& next, RwUInt8* palette) {
    if (level == depth) {
        node->paletteIndex = static_cast<RwUInt8>(next);
        WriteColour(node->stats, palette + 4 * next);
        next++;
        return;
    }
    for (RwPaletteQuantizerNode* child : node->children) {
        if (child) {
            NumberLeavesInTreeOrder(child, level + 1, next, palette);
        }
    }
}

// Interior nodes take their first child's index, so that a pixel whose path ends early (a colour never added)
// still gets a colour of its neighbourhood.
void IndexInteriorNodes(RwPaletteQuantizerNode* node, RwInt32 level) {
    if (level == depth) {
        return;
    }
    bool first = true;
    for (RwPaletteQuantizerNode* child : node->children) {
        if (child) {
            IndexInteriorNodes(child, level + 1);
            if (first) {
                node->paletteIndex = child->paletteIndex;
                first = false;
            }
        }
    }
}

RwUInt8 IndexOf(const RwPaletteQuantizer* q, const RwUInt8* rgba) {
    RwUInt32 key = KeyOf(q, rgba);
    const RwPaletteQuantizerNode* node = q->root;
    for (RwInt32 level = 0; level < depth; level++, key >>= 4) {
        const RwPaletteQuantizerNode* child = node->children[key & 15];
        if (!child) {
            break;
        }
        node = child;
    }
    return node->paletteIndex;
}

} // namespace

RwBool RwPaletteQuantizerInit(RwPaletteQuantizer* quantizer) {
    for (RwUInt32 value = 0; value < static_cast<RwUInt32>(gridSize); value++) {
        RwUInt32 spread = 0;
        for (RwInt32 bit = 0; bit < depth; bit++) {
            if (value & (1u << bit)) {
                spread |= 1u << (4 * (depth - 1) - 4 * bit);
            }
        }
        quantizer->spread[value] = spread;
    }
    quantizer->numLeaves = 0;
    quantizer->prepared = FALSE;
    quantizer->nodeFreeList = RwFreeListCreate(sizeof(RwPaletteQuantizerNode), nodesPerBlock, 0, hintNodes);
    if (!quantizer->nodeFreeList) {
        RwErrorSetCode(E_RW_NOMEM);
        return FALSE;
    }
    quantizer->root = NewNode(quantizer);
    if (!quantizer->root) {
        RwFreeListDestroy(quantizer->nodeFreeList);
        quantizer->nodeFreeList = nullptr;
        RwErrorSetCode(E_RW_NOMEM);
        return FALSE;
    }
    return TRUE;
}

void RwPaletteQuantizerDeinit(RwPaletteQuantizer* quantizer) {
    // The nodes go with their free list's blocks, unless free lists are off and each is an allocation.
    if (quantizer->root && !RwFreeListGetEnabled()) {
        FreeTree(quantizer, quantizer->root);
    }
    quantizer->root = nullptr;
    if (quantizer->nodeFreeList) {
        RwFreeListDestroy(quantizer->nodeFreeList);
        quantizer->nodeFreeList = nullptr;
    }
}

RwBool RwPaletteQuantizerAddImage(RwPaletteQuantizer* quantizer, const RwImage* image, RwReal weight) {
    if (!image->pixels) {
        RwErrorSetCode(E_RW_NULLP);
        return FALSE;
    }
    if (image->depth == 32) {
        for (RwInt32 y = 0; y < image->height; y++) {
            const RwUInt8* p = image->pixels + static_cast<size_t>(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; x++, p += 4) {
                if (!AddPixel(quantizer, p, weight)) {
                    RwErrorSetCode(E_RW_NOMEM);
                    return FALSE;
                }
            }
        }
        return TRUE;
    }
    if ((image->depth == 4 || image->depth == 8) && image->palette) {
        const RwUInt8 indexMask = static_cast<RwUInt8>((1 << image->depth) - 1);
        for (RwInt32 y = 0; y < image->height; y++) {
            const RwUInt8* p = image->pixels + static_cast<size_t>(y) * image->stride;
            for (RwInt32 x = 0; x < image->width; x++) {
                if (!AddPixel(quantizer, image->palette + 4 * (p[x] & indexMask), weight)) {
                    RwErrorSetCode(E_RW_NOMEM);
                    return FALSE;
                }
            }
        }
        return TRUE;
    }
    RwErrorSetCode(E_RW_INVIMAGEDEPTH);
    return FALSE;
}

RwInt32 RwPaletteQuantizerMakePalette(RwPaletteQuantizer* quantizer, RwUInt8* palette, RwInt32 maxColours) {
    if (maxColours <= 0) {
        return 0;
    }
    if (maxColours > 256) {
        maxColours = 256; // indices are bytes
    }
    RwPaletteQuantizerNode* root = quantizer->root;
    if (!quantizer->prepared) {
        Prepare(root, 0, rootCoords);
        quantizer->prepared = TRUE;
    }
    std::memset(palette, 0, 4 * static_cast<size_t>(maxColours));

    if (quantizer->numLeaves <= maxColours) {
        RwInt32 next = 0;
        if (quantizer->numLeaves > 0) {
            NumberLeavesInTreeOrder(root, 0, next, palette);
        }
        IndexInteriorNodes(root, 0);
        return next;
    }

    auto* boxes = static_cast<Box*>(RwMalloc(sizeof(Box) * maxColours, hintBoxes));
    if (!boxes) {
        RwErrorSetCode(E_RW_NOMEM);
        return 0;
    }
    RwInt32 numBoxes = 1;
    for (int c = 0; c < 4; c++) {
        boxes[0].lo[c] = 0;
        boxes[0].hi[c] = gridSize;
    }
    ComputeBox(root, boxes[0]);

    while (numBoxes < maxColours) {
        RwInt32 chosen = -1;
        for (RwInt32 i = 0; i < numBoxes; i++) {
            if (boxes[i].error > 0.0f && (chosen < 0 || boxes[i].error > boxes[chosen].error)) {
                chosen = i;
            }
        }
        if (chosen < 0) {
            break;
        }
        Box& box = boxes[chosen];
        RwReal bestError = 0.0f;
        RwInt32 bestChannel = -1, bestCut = -1;
        for (int c = 0; c < 4; c++) {
            RwInt32 cut;
            const RwReal error = BestCut(root, box, c, cut);
            if (bestChannel < 0 || error < bestError) {
                bestError = error;
                bestChannel = c;
                bestCut = cut;
            }
        }
        if (bestCut < 0 || !(bestError < box.error)) {
            box.error = 0.0f;
            continue;
        }
        Box& upper = boxes[numBoxes++];
        upper = box;
        box.hi[bestChannel] = bestCut;
        upper.lo[bestChannel] = bestCut;
        ComputeBox(root, box);
        ComputeBox(root, upper);
    }

    for (RwInt32 i = 0; i < numBoxes; i++) {
        WriteColour(boxes[i].stats, palette + 4 * i);
        const RwUInt8 index = static_cast<RwUInt8>(i);
        ForCellsInBox(root, 0, rootCoords, boxes[i].lo, boxes[i].hi, [index](RwPaletteQuantizerNode* node) {
            // Whole cells inside the box: every leaf below gets the box's index.
            struct Mark {
                static void Down(RwPaletteQuantizerNode* n, RwUInt8 i) {
                    n->paletteIndex = i;
                    for (RwPaletteQuantizerNode* child : n->children) {
                        if (child) {
                            Down(child, i);
                        }
                    }
                }
            };
            Mark::Down(node, index);
        });
    }
    IndexInteriorNodes(root, 0);
    RwFree(boxes);
    return numBoxes;
}

void RwPaletteQuantizerMatchImage(RwPaletteQuantizer* quantizer, RwUInt8* destination,
                                  RwInt32 destinationStride, const RwImage* image) {
    if (!image->pixels) {
        return;
    }
    for (RwInt32 y = 0; y < image->height; y++) {
        const RwUInt8* in = image->pixels + static_cast<size_t>(y) * image->stride;
        RwUInt8* out = destination + static_cast<size_t>(y) * destinationStride;
        if (image->depth == 32) {
            for (RwInt32 x = 0; x < image->width; x++) {
                out[x] = IndexOf(quantizer, in + 4 * x);
            }
        } else if ((image->depth == 4 || image->depth == 8) && image->palette) {
            const RwUInt8 indexMask = static_cast<RwUInt8>((1 << image->depth) - 1);
            for (RwInt32 x = 0; x < image->width; x++) {
                out[x] = IndexOf(quantizer, image->palette + 4 * (in[x] & indexMask));
            }
        }
    }
}
