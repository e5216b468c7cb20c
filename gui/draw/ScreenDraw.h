// Everything the interface draws in two dimensions: textured or plain quads and line segments in screen
// pixels, and the queue of short strings drawn at a point with a bitmap font. Each call draws at once
// through the engine's Direct3D 9 driver, scissors to the top of the clip stack and leaves the device's
// render and texture-stage states as it found them. Main thread only.
#pragma once

#include "base/Maths.h"
#include "base/String.h"
#include "rwsdk/src/plcore/color.h"

#include <cstdint>
#include <string_view>

struct RwTexture;

namespace Gui {

class Font;

struct ScreenPoint {
    float x = 0, y = 0; // screen pixels
    RwRGBA colour = {255, 255, 255, 255};
    float u = 0, v = 0;
};

// Quads as pairs of points: top-left with its colour and (umin, vmin), then bottom-right with (umax, vmax).
// With a texture its filter mode byte is set to filterMode after binding, so it takes effect from the next
// draw with that texture.
void DrawQuads(const ScreenPoint* points, uint32_t pointCount, RwTexture* texture, uint32_t filterMode);
// Segments between consecutive pairs of points (positions and colours); stride in records.
void DrawLines2d(const ScreenPoint* points, uint32_t pointCount, uint32_t stride);

// The most characters one flush may hold: six vertices each stay below 65536.
constexpr uint32_t TextQueueLimit = 10922;

// Queues characters first .. first + count - 1 of text (count cut to the string) at position, aligned by
// -1 left/top, 0 centre, other right/bottom. A request that would take the queue past the limit is dropped.
void QueueText(Base::Vector2 position, std::string_view text, RwRGBA colour, Base::Vector2 scale,
               size_t first, size_t count, Base::Vector2 extraSpacing, int32_t horizontalAlignment,
               int32_t verticalAlignment);
// Draws every queued string with font and empties the queue. A null font draws nothing.
void FlushTextQueue(const Font* font, uint32_t filterMode);
// The first half of a flush: lays the queue out with font as quads (point pairs) and empties it. Returns the
// number of points, which stay valid until the next text call.
uint32_t BuildTextQuads(const Font* font, const ScreenPoint** points);
// Characters queued since the last flush.
uint32_t QueuedTextCharacters();

// All four edges inside.
inline bool PointInRect(Base::Vector2 p, const Base::Rect& r) {
    return r.left <= p.x && p.x <= r.right && r.top <= p.y && p.y <= r.bottom;
}

// Device ARGB from the four colour bytes.
inline uint32_t ToArgb(RwRGBA c) {
    return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | uint32_t(c.blue);
}

} // namespace Gui
