// Area-average resampling: every destination pixel is the mean of the source area it covers, with partly
// covered rows and columns weighted by their covered fraction (16.16 fixed point steps).
#include "rwsdk/src/resample.h"

#include "rwsdk/src/plcore/error.h"
#include "rwsdk/src/plcore/memory.h"

#include <cstring>

namespace {

constexpr RwUInt32 scratchHint = 0x10406;
constexpr RwReal fixedToReal = 1.5258789e-5f; // 1 / 65536

// The source spans of one axis: destination index d covers source indices first[d] .. first[d] + count[d] - 1
// with the weights starting at weights + offset[d].
struct Spans {
    RwInt32* first;
    RwInt32* count;
    RwInt32* offset;
    RwReal* weights;
    RwReal* total; // sum of the weights of each destination index
};

bool BuildSpans(Spans& spans, RwInt32 sourceSize, RwInt32 destinationSize) {
    const int64_t step = (static_cast<int64_t>(sourceSize) << 16) / destinationSize;
    // Each destination index touches at most step / 65536 + 2 source indices.
    const int64_t perIndex = (step >> 16) + 2;
    const size_t weightCount = static_cast<size_t>(perIndex * destinationSize);
    const size_t bytes =
        sizeof(RwInt32) * 3 * destinationSize + sizeof(RwReal) * (weightCount + destinationSize);
    auto* block = static_cast<RwUInt8*>(RwMalloc(bytes, scratchHint));
    if (!block) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    spans.first = reinterpret_cast<RwInt32*>(block);
    spans.count = spans.first + destinationSize;
    spans.offset = spans.count + destinationSize;
    spans.total = reinterpret_cast<RwReal*>(spans.offset + destinationSize);
    spans.weights = spans.total + destinationSize;

    RwInt32 used = 0;
    for (RwInt32 d = 0; d < destinationSize; d++) {
        const int64_t start = d * step;
        const int64_t end = start + step;
        RwInt32 first = static_cast<RwInt32>(start >> 16);
        RwInt32 last = static_cast<RwInt32>((end - 1) >> 16);
        if (last >= sourceSize) {
            last = sourceSize - 1;
        }
        spans.first[d] = first;
        spans.offset[d] = used;
        RwReal total = 0.0f;
        for (RwInt32 s = first; s <= last; s++) {
            const int64_t lo =
                start > (static_cast<int64_t>(s) << 16) ? start : static_cast<int64_t>(s) << 16;
            const int64_t hiEdge = static_cast<int64_t>(s + 1) << 16;
            const int64_t hi = end < hiEdge ? end : hiEdge;
            const RwReal weight = (hi - lo) == 65536 ? 1.0f : static_cast<RwReal>(hi - lo) * fixedToReal;
            spans.weights[used++] = weight;
            total += weight;
        }
        spans.count[d] = last - first + 1;
        spans.total[d] = total;
    }
    return true;
}

// Whole ratios: every covered pixel weighs 1, so integer sums give the same rounded means, faster.
bool ResampleWholeRatio(RwImage* destination, const RwImage* source) {
    const RwInt32 sw = source->width, dw = destination->width, dh = destination->height;
    const RwInt32 fx = sw / dw, fy = source->height / dh;
    const RwUInt32 count = static_cast<RwUInt32>(fx) * static_cast<RwUInt32>(fy);
    auto* line = static_cast<RwUInt32*>(RwMalloc(sizeof(RwUInt32) * 4 * sw, scratchHint));
    if (!line) {
        RwErrorSetCode(E_RW_NOMEM);
        return false;
    }
    for (RwInt32 j = 0; j < dh; j++) {
        const RwUInt8* sourceRow = source->pixels + static_cast<size_t>(j) * fy * source->stride;
        for (RwInt32 x = 0; x < 4 * sw; x++) {
            line[x] = sourceRow[x];
        }
        for (RwInt32 r = 1; r < fy; r++) {
            sourceRow += source->stride;
            for (RwInt32 x = 0; x < 4 * sw; x++) {
                line[x] += sourceRow[x];
            }
        }
        RwUInt8* out = destination->pixels + static_cast<size_t>(j) * destination->stride;
        const RwUInt32* in = line;
        for (RwInt32 i = 0; i < dw; i++) {
            RwUInt32 sum[4] = {0, 0, 0, 0};
            for (RwInt32 c = 0; c < fx; c++, in += 4) {
                sum[0] += in[0];
                sum[1] += in[1];
                sum[2] += in[2];
                sum[3] += in[3];
            }
            for (int k = 0; k < 4; k++) {
                out[4 * i + k] =
                    static_cast<RwUInt8>((2 * sum[k] + count) / (2 * count)); // mean + 0.5, truncated
            }
        }
    }
    RwFree(line);
    return true;
}

} // namespace

RwImage* RwImageResample(RwImage* destination, const RwImage* source) {
    if (!destination || !source || !destination->pixels || !source->pixels) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    if (destination->depth != 32 || source->depth != 32) {
        RwErrorSetCode(E_RW_INVIMAGEFORMAT);
        return nullptr;
    }
    destination->flags =
        (destination->flags & ~rwIMAGEGAMMACORRECTED) | (source->flags & rwIMAGEGAMMACORRECTED);

    const RwInt32 sw = source->width, sh = source->height;
    const RwInt32 dw = destination->width, dh = destination->height;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) {
        return destination;
    }

    // Sums of up to 2^24 bytes stay exact in 32 bits.
    if (sw % dw == 0 && sh % dh == 0 && static_cast<int64_t>(sw / dw) * (sh / dh) <= (1 << 16)) {
        return ResampleWholeRatio(destination, source) ? destination : nullptr;
    }

    Spans columns, rows;
    if (!BuildSpans(columns, sw, dw)) {
        return nullptr;
    }
    if (!BuildSpans(rows, sh, dh)) {
        RwFree(columns.first);
        return nullptr;
    }
    // One source row's worth of channel sums, weighted down the covered rows.
    auto* line = static_cast<RwReal*>(RwMalloc(sizeof(RwReal) * 4 * sw, scratchHint));
    if (!line) {
        RwFree(rows.first);
        RwFree(columns.first);
        RwErrorSetCode(E_RW_NOMEM);
        return nullptr;
    }

    for (RwInt32 j = 0; j < dh; j++) {
        const RwReal* rowWeights = rows.weights + rows.offset[j];
        const RwUInt8* sourceRow = source->pixels + static_cast<size_t>(rows.first[j]) * source->stride;
        const RwReal w0 = rowWeights[0];
        for (RwInt32 x = 0; x < 4 * sw; x++) {
            line[x] = w0 * sourceRow[x];
        }
        for (RwInt32 r = 1; r < rows.count[j]; r++) {
            const RwReal w = rowWeights[r];
            sourceRow += source->stride;
            for (RwInt32 x = 0; x < 4 * sw; x++) {
                line[x] += w * sourceRow[x];
            }
        }

        RwUInt8* out = destination->pixels + static_cast<size_t>(j) * destination->stride;
        const RwReal rowTotal = rows.total[j];
        for (RwInt32 i = 0; i < dw; i++) {
            const RwReal* colWeights = columns.weights + columns.offset[i];
            const RwReal* in = line + 4 * columns.first[i];
            RwReal sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (RwInt32 c = 0; c < columns.count[i]; c++, in += 4) {
                const RwReal w = colWeights[c];
                sum[0] += w * in[0];
                sum[1] += w * in[1];
                sum[2] += w * in[2];
                sum[3] += w * in[3];
            }
            const RwReal scale = 1.0f / (rowTotal * columns.total[i]);
            for (int k = 0; k < 4; k++) {
                const RwReal value = sum[k] * scale + 0.5f;
                out[4 * i + k] = value >= 255.0f ? 255 : static_cast<RwUInt8>(value);
            }
        }
    }

    RwFree(line);
    RwFree(rows.first);
    RwFree(columns.first);
    return destination;
}

RwImage* RwImageCreateResampled(const RwImage* image, RwInt32 width, RwInt32 height) {
    if (!image) {
        RwErrorSetCode(E_RW_NULLP);
        return nullptr;
    }
    RwImage* result = RwImageCreate(width, height, 32);
    if (!result) {
        return nullptr;
    }
    if (!RwImageAllocatePixels(result)) {
        RwImageDestroy(result);
        return nullptr;
    }

    const RwImage* source = image;
    RwImage* converted = nullptr;
    if (image->depth != 32) {
        converted = RwImageCreate(image->width, image->height, 32);
        if (!converted || !RwImageAllocatePixels(converted) || !RwImageConvert(converted, image)) {
            if (converted) {
                RwImageDestroy(converted);
            }
            RwImageDestroy(result);
            return nullptr;
        }
        converted->flags =
            (converted->flags & ~rwIMAGEGAMMACORRECTED) | (image->flags & rwIMAGEGAMMACORRECTED);
        source = converted;
    }

    RwImage* done = RwImageResample(result, source);
    if (converted) {
        RwImageDestroy(converted);
    }
    if (!done) {
        RwImageDestroy(result);
        return nullptr;
    }
    return result;
}
