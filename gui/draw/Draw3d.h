// Immediate drawing in 3D space for symbology and debug shapes: coloured lines, line strips, points,
// textured triangles and queued text, each one draw from user memory in the frame of an optional matrix
// (null: the identity). Depth test and depth writes stay as the caller set them; every other state that a
// call changes is put back before it returns. Main thread only, inside a camera update.
#pragma once

#include "base/Maths.h"
#include "rwsdk/src/plcore/color.h"

#include <cstdint>
#include <string_view>

struct RwMatrix;
struct RwTexture;

namespace Gui {

class Font;

struct Vertex3d {
    float x = 0, y = 0, z = 0;
    RwRGBA colour = {255, 255, 255, 255};
    float u = 0, v = 0; // triangles only
};

// stride: the distance between vertices in records (1 for a packed array).
void DrawLines(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix);
void DrawLineStrip(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix);
void DrawPoints(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix);
// With a texture its filter mode byte becomes filterMode after binding (in effect from the next binding).
void DrawTriangles(const Vertex3d* vertices, uint32_t count, uint32_t stride, RwTexture* texture,
                   const RwMatrix* matrix, uint32_t filterMode);

// Makes models that fade to a point (Obj::Clump's RenderPoint) draw it: one black point in world space with
// the fade's alpha. Installed at start-up.
void InstallClumpPoints();

// count points of an elliptic arc from start to end (radians) into x, y, z of out; colours and u, v stay.
void MakeArcPoints(Base::Vector3 centre, Base::Vector2 radii, float start, float end, uint32_t count,
                   uint32_t stride, Vertex3d* out);

// As the screen queue, into a queue of its own; text runs towards -x and lines towards -y.
void QueueText3d(Base::Vector3 position, std::string_view text, RwRGBA colour, Base::Vector2 scale,
                 size_t first, size_t count, Base::Vector2 extraSpacing, int32_t horizontalAlignment,
                 int32_t verticalAlignment);
// Draws the queue as textured triangles with font under matrix and empties it; a null font draws nothing.
void FlushTextQueue3d(const Font* font, const RwMatrix* matrix, uint32_t filterMode);
uint32_t QueuedText3dCharacters();

} // namespace Gui
