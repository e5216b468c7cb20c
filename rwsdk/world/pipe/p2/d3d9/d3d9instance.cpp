#include "rwsdk/world/pipe/p2/d3d9/d3d9instance.h"

RwUInt32 RpD3D9ConvertTriStripToTriList(RwUInt16* out, const RwUInt16* strip, RwUInt32 count, RwUInt16 bias) {
    RwUInt32 written = 0;
    for (RwUInt32 i = 0; i + 2 < count; ++i) {
        const RwUInt16 a = strip[i], b = strip[i + 1], c = strip[i + 2];
        if (a == b || b == c || a == c)
            continue;
        const RwUInt16 first = (i & 1) ? c : a, last = (i & 1) ? a : c;
        out[written++] = RwUInt16(first - bias);
        out[written++] = RwUInt16(b - bias);
        out[written++] = RwUInt16(last - bias);
    }
    return written;
}
