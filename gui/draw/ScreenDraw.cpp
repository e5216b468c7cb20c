#include "gui/draw/ScreenDraw.h"

#include "gui/ClipStack.h"
#include "gui/draw/DrawStates.h"
#include "gui/draw/Font.h"
#include "gui/draw/TextQueue.h"
#include "rwsdk/rwd3d9.h"
#include "rwsdk/src/texture.h"
#include "scene/EngineHost.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace Gui {

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

struct LineVertex {
    float x, y, z, rhw;
    uint32_t colour;
};
static_assert(sizeof(LineVertex) == 20);

// A queued string; its characters lie in the shared text buffer, so a warm queue allocates nothing.
struct TextRequest {
    float x, y;
    float scaleX, scaleY;
    float extraX, extraY;
    int32_t horizontalAlignment, verticalAlignment;
    RwRGBA colour;
    size_t textOffset, textLength;
};

// Grow-only scratch and queue storage, kept for the program's run.
std::vector<ScreenVertex> quadVertices;
std::vector<LineVertex> lineVertices;
std::vector<ScreenPoint> textPoints;
TextQueue<TextRequest> queue;

template <class T> T* Grow(std::vector<T>& buffer, size_t count) {
    if (buffer.size() < count)
        buffer.resize(count);
    return buffer.data();
}

// The top clip rect as the device's scissor rect (at least one pixel each way), or no scissoring.
void SetScissor(Rw::SavedRenderStates& saved, ScissorSave& scissor) {
    const Rect* clip = GetClipRect();
    if (!clip) {
        saved.SetRenderState(D3DRS_SCISSORTESTENABLE, FALSE);
        return;
    }
    RECT r;
    r.left = LONG(std::lround(clip->left));
    r.top = LONG(std::lround(clip->top));
    r.right = std::max(LONG(std::lround(clip->right)), r.left + 1);
    r.bottom = std::max(LONG(std::lround(clip->bottom)), r.top + 1);
    scissor.Set(r);
    saved.SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
}

void SetCommonStates(Rw::SavedRenderStates& saved, bool cull) {
    saved.SetRenderState(D3DRS_FOGENABLE, FALSE);
    saved.SetRenderState(D3DRS_CLIPPING, TRUE);
    saved.SetRenderState(D3DRS_ZENABLE, FALSE);
    saved.SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    saved.SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    saved.SetRenderState(D3DRS_LIGHTING, FALSE);
    saved.SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    saved.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    saved.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    saved.SetRenderState(D3DRS_COLORVERTEX, FALSE);
    saved.SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    if (cull)
        saved.SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
}

} // namespace

void DrawQuads(const ScreenPoint* points, uint32_t pointCount, RwTexture* texture, uint32_t filterMode) {
    const uint32_t quads = pointCount / 2;
    if (quads == 0 || !RwD3D9Device)
        return; // nothing to draw, or no engine to draw with (a page loaded by a tool or a test)
    ScreenVertex* v = Grow(quadVertices, size_t(quads) * 6);
    for (uint32_t q = 0; q < quads; ++q, v += 6) {
        const ScreenPoint& a = points[2 * q];
        const ScreenPoint& b = points[2 * q + 1];
        const uint32_t c = ToArgb(a.colour);
        v[0] = {a.x, a.y, 0.5f, 1.0f, c, a.u, a.v};
        v[1] = {b.x, a.y, 0.5f, 1.0f, c, b.u, a.v};
        v[2] = {b.x, b.y, 0.5f, 1.0f, c, b.u, b.v};
        v[3] = v[2];
        v[4] = {a.x, b.y, 0.5f, 1.0f, c, a.u, b.v};
        v[5] = v[0];
    }
    const StageBinding binding;
    // Binding sends the texture's filter to the sampler: it is set first.
    if (texture)
        RwTextureSetFilterMode(texture, RwTextureFilterMode(filterMode & 0xFF));
    RwD3D9SetTexture(texture, 0);
    Rw::SavedRenderStates saved;
    ScissorSave scissor;
    SetScissor(saved, scissor);
    SetCommonStates(saved, true);
    SetStageStates(saved, texture != nullptr);
    RwD3D9SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    RwD3D9DrawPrimitiveUP(D3DPT_TRIANGLELIST, quads * 2, quadVertices.data(), sizeof(ScreenVertex));
    saved.Restore();
    binding.Restore();
    scissor.Restore();
}

void DrawLines2d(const ScreenPoint* points, uint32_t pointCount, uint32_t stride) {
    const uint32_t lines = pointCount / 2;
    if (lines == 0 || !RwD3D9Device)
        return;
    if (stride == 0)
        stride = 1;
    LineVertex* v = Grow(lineVertices, size_t(lines) * 2);
    for (uint32_t i = 0; i < lines * 2; ++i) {
        const ScreenPoint& p = points[size_t(i) * stride];
        v[i] = {p.x, p.y, 0.5f, 1.0f, ToArgb(p.colour)};
    }
    const StageBinding binding;
    RwD3D9SetTexture(nullptr, 0);
    Rw::SavedRenderStates saved;
    ScissorSave scissor;
    SetScissor(saved, scissor);
    SetCommonStates(saved, false);
    SetStageStates(saved, false);
    RwD3D9SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    RwD3D9DrawPrimitiveUP(D3DPT_LINELIST, lines, lineVertices.data(), sizeof(LineVertex));
    saved.Restore();
    binding.Restore();
    scissor.Restore();
}

void QueueText(Base::Vector2 position, std::string_view text, RwRGBA colour, Base::Vector2 scale,
               size_t first, size_t count, Base::Vector2 extraSpacing, int32_t horizontalAlignment,
               int32_t verticalAlignment) {
    queue.Push(text, first, count,
               {position.x, position.y, scale.x, scale.y, extraSpacing.x, extraSpacing.y, horizontalAlignment,
                verticalAlignment, colour, 0, 0});
}

uint32_t QueuedTextCharacters() {
    return queue.Characters();
}

uint32_t BuildTextQuads(const Font* font, const ScreenPoint** points) {
    *points = textPoints.data();
    if (queue.Characters() == 0 || !font) {
        if (queue.Characters() != 0) {
            static bool told = false;
            if (!told)
                std::fprintf(stderr, "Gui: text queued for a font that did not load; it is not drawn\n");
            told = true;
        }
        queue.Clear();
        return 0;
    }
    ScreenPoint* out = Grow(textPoints, size_t(queue.Characters()) * 2);
    uint32_t count = 0;
    for (const TextRequest& r : queue.Requests()) {
        const std::string_view text = queue.Text(r);
        const float w = Font::GetTextWidth(font, text, 0, text.size(), r.scaleX, r.extraX);
        const float h = Font::GetLineHeight(font, r.scaleY, r.extraY);
        const float dx = r.horizontalAlignment == -1  ? 0.0f
                         : r.horizontalAlignment == 0 ? -std::floor((w + 1) * 0.5f)
                                                      : -w;
        const float dy = r.verticalAlignment == -1  ? 0.0f
                         : r.verticalAlignment == 0 ? -std::floor((h + 1) * 0.5f)
                                                    : -h;
        float penX = r.x + dx, penY = r.y + dy;
        for (char ch : text) {
            const uint8_t c = uint8_t(ch);
            if (c == '\n') {
                penX = r.x;
                penY += h;
                continue;
            }
            const Font::Glyph& g = font->glyphs[c];
            if (!g.present)
                continue;
            out[count++] = {penX, penY, r.colour, g.umin, g.vmin};
            out[count++] = {penX + (g.width + 1) * r.scaleX, penY + (font->lineHeight + 1) * r.scaleY,
                            r.colour, g.umax, g.vmax};
            penX += font->Advance(c, r.scaleX, r.extraX);
        }
    }
    queue.Clear();
    *points = textPoints.data();
    return count;
}

void FlushTextQueue(const Font* font, uint32_t filterMode) {
    const ScreenPoint* points = nullptr;
    const uint32_t count = BuildTextQuads(font, &points);
    if (count > 0)
        DrawQuads(points, count, font->texture, filterMode);
}

} // namespace Gui
