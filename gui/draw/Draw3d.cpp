#include "gui/draw/Draw3d.h"

#include "gui/draw/DrawStates.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "gui/draw/TextQueue.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"
#include "scene/Clump.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace Gui {

namespace {

struct LineVertex3d {
    float x, y, z;
    uint32_t colour;
};
static_assert(sizeof(LineVertex3d) == 16);

struct TexturedVertex3d {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(TexturedVertex3d) == 24);

struct TextRequest3d {
    float x, y, z;
    float scaleX, scaleY;
    float extraX, extraY;
    int32_t horizontalAlignment, verticalAlignment;
    RwRGBA colour;
    size_t textOffset, textLength;
};

std::vector<LineVertex3d> lineVertices, stripVertices, pointVertices;
std::vector<TexturedVertex3d> triangleVertices;
TextQueue<TextRequest3d> queue;

template <class T> T* Grow(std::vector<T>& buffer, size_t count) {
    if (buffer.size() < count)
        buffer.resize(count);
    return buffer.data();
}

void SetStates(Rw::SavedRenderStates& saved, bool triangles) {
    saved.SetRenderState(D3DRS_CLIPPING, TRUE);
    saved.SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    saved.SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    saved.SetRenderState(D3DRS_ALPHAREF, 0);
    saved.SetRenderState(D3DRS_LIGHTING, FALSE);
    saved.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    saved.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    saved.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    saved.SetRenderState(D3DRS_COLORVERTEX, FALSE);
    saved.SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    if (triangles)
        saved.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

void DrawColoured(std::vector<LineVertex3d>& scratch, const Vertex3d* vertices, uint32_t count,
                  uint32_t stride, const RwMatrix* matrix, D3DPRIMITIVETYPE type, uint32_t primitives) {
    if (count == 0 || primitives == 0)
        return;
    if (stride == 0)
        stride = 1;
    LineVertex3d* out = Grow(scratch, count);
    for (uint32_t i = 0; i < count; ++i) {
        const Vertex3d& v = vertices[size_t(i) * stride];
        out[i] = {v.x, v.y, v.z, ToArgb(v.colour)};
    }
    RwD3D9SetTransformWorld(matrix);
    const StageBinding binding;
    RwD3D9SetTexture(nullptr, 0);
    Rw::SavedRenderStates saved;
    SetStates(saved, false);
    SetStageStates(saved, false);
    RwD3D9SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    RwD3D9DrawPrimitiveUP(type, primitives, out, sizeof(LineVertex3d));
    saved.Restore();
    binding.Restore();
}

void DrawTexturedScratch(uint32_t vertexCount, RwTexture* texture, const RwMatrix* matrix,
                         uint32_t filterMode) {
    RwD3D9SetTransformWorld(matrix);
    const StageBinding binding;
    // Binding sends the texture's filter to the sampler: it is set first.
    if (texture)
        RwTextureSetFilterMode(texture, RwTextureFilterMode(filterMode & 0xFF));
    RwD3D9SetTexture(texture, 0);
    Rw::SavedRenderStates saved;
    SetStates(saved, true);
    SetStageStates(saved, texture != nullptr);
    RwD3D9SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLELIST, vertexCount / 3, triangleVertices.data(),
                          sizeof(TexturedVertex3d));
    saved.Restore();
    binding.Restore();
}

} // namespace

void DrawLines(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix) {
    DrawColoured(lineVertices, vertices, count, stride, matrix, D3DPT_LINELIST, count / 2);
}

void DrawLineStrip(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix) {
    DrawColoured(stripVertices, vertices, count, stride, matrix, D3DPT_LINESTRIP, count > 0 ? count - 1 : 0);
}

void DrawPoints(const Vertex3d* vertices, uint32_t count, uint32_t stride, const RwMatrix* matrix) {
    DrawColoured(pointVertices, vertices, count, stride, matrix, D3DPT_POINTLIST, count);
}

void InstallClumpPoints() {
    Obj::Clump::DrawPoint = [](const RwV3d& position, uint8_t alpha) {
        Vertex3d point;
        point.x = position.x;
        point.y = position.y;
        point.z = position.z;
        point.colour = {0, 0, 0, alpha};
        DrawPoints(&point, 1, 1, nullptr);
    };
}

void DrawTriangles(const Vertex3d* vertices, uint32_t count, uint32_t stride, RwTexture* texture,
                   const RwMatrix* matrix, uint32_t filterMode) {
    if (count / 3 == 0)
        return;
    if (stride == 0)
        stride = 1;
    TexturedVertex3d* out = Grow(triangleVertices, count);
    for (uint32_t i = 0; i < count; ++i) {
        const Vertex3d& v = vertices[size_t(i) * stride];
        out[i] = {v.x, v.y, v.z, ToArgb(v.colour), v.u, v.v};
    }
    DrawTexturedScratch(count, texture, matrix, filterMode);
}

void MakeArcPoints(Base::Vector3 centre, Base::Vector2 radii, float start, float end, uint32_t count,
                   uint32_t stride, Vertex3d* out) {
    if (count == 0)
        return;
    if (stride == 0)
        stride = 1;
    const float step = count == 1 ? 0.0f : (end - start) / float(count - 1);
    for (uint32_t i = 0; i < count; ++i) {
        const float a = start + float(i) * step;
        Vertex3d& v = out[size_t(i) * stride];
        v.x = centre.x + std::cos(a) * radii.x;
        v.y = centre.y + std::sin(a) * radii.y;
        v.z = centre.z;
    }
}

void QueueText3d(Base::Vector3 position, std::string_view text, RwRGBA colour, Base::Vector2 scale,
                 size_t first, size_t count, Base::Vector2 extraSpacing, int32_t horizontalAlignment,
                 int32_t verticalAlignment) {
    queue.Push(text, first, count,
               {position.x, position.y, position.z, scale.x, scale.y, extraSpacing.x, extraSpacing.y,
                horizontalAlignment, verticalAlignment, colour, 0, 0});
}

uint32_t QueuedText3dCharacters() {
    return queue.Characters();
}

void FlushTextQueue3d(const Font* font, const RwMatrix* matrix, uint32_t filterMode) {
    if (queue.Characters() == 0 || !font) {
        if (queue.Characters() != 0) {
            static bool told = false;
            if (!told)
                std::fprintf(stderr, "Gui: 3D text queued for a font that did not load; it is not drawn\n");
            told = true;
        }
        queue.Clear();
        return;
    }
    TexturedVertex3d* out = Grow(triangleVertices, size_t(queue.Characters()) * 6);
    uint32_t vertices = 0;
    for (const TextRequest3d& r : queue.Requests()) {
        const std::string_view text = queue.Text(r);
        const float w = Font::GetTextWidth(font, text, 0, text.size(), r.scaleX, r.extraX);
        const float h = Font::GetLineHeight(font, r.scaleY, r.extraY);
        const float dx = r.horizontalAlignment == -1 ? 0.0f : r.horizontalAlignment == 0 ? -0.5f * w : -w;
        const float dy = r.verticalAlignment == -1 ? 0.0f : r.verticalAlignment == 0 ? -0.5f * h : -h;
        float penX = r.x - dx, penY = r.y - dy;
        const uint32_t c = ToArgb(r.colour);
        for (char ch : text) {
            const uint8_t code = uint8_t(ch);
            if (code == '\n') {
                penX = r.x;
                penY -= h;
                continue;
            }
            const Font::Glyph& g = font->glyphs[code];
            if (!g.present)
                continue;
            const float x1 = penX - (g.width + 1) * r.scaleX;
            const float y1 = penY - (font->lineHeight + 1) * r.scaleY;
            const TexturedVertex3d v1 = {penX, penY, r.z, c, g.umin, g.vmin};
            const TexturedVertex3d v2 = {x1, penY, r.z, c, g.umax, g.vmin};
            const TexturedVertex3d v3 = {x1, y1, r.z, c, g.umax, g.vmax};
            const TexturedVertex3d v4 = {penX, y1, r.z, c, g.umin, g.vmax};
            out[vertices++] = v1;
            out[vertices++] = v2;
            out[vertices++] = v3;
            out[vertices++] = v3;
            out[vertices++] = v4;
            out[vertices++] = v1;
            penX -= font->Advance(code, r.scaleX, r.extraX);
        }
    }
    queue.Clear();
    if (vertices > 0)
        DrawTexturedScratch(vertices, font->texture, matrix, filterMode);
}

} // namespace Gui
