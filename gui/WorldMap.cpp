#include "gui/WorldMap.h"

#include "base/FontCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/Button.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/TextBase.h"
#include "gui/draw/Font.h"
#include "gui/draw/ScreenDraw.h"
#include "input/Mouse.h"
#include "rwsdk/src/baraster.h"
#include "rwsdk/src/texture.h"
#include "scene/LoadTexture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace Gui {

namespace {

const Base::ClassRegistration<WorldMap> registration("class Gui::WorldMap");

const char* const MapFont = "Tahoma8.font";
constexpr RwRGBA CrossColour = {128, 128, 128, 96};
constexpr RwRGBA RouteColour = {255, 0, 140, 255};
constexpr float IconHalf = 8.0f;
constexpr float LabelReachX = 70.0f, LabelReachY = 10.0f;
constexpr float ViewInset = 10.0f;

float CutZoom(float f) {
    if (!(f > WorldMap::MinZoom))
        return WorldMap::MinZoom;
    return std::min(f, WorldMap::MaxZoom);
}

RwTexture* LoadIcon(const Base::String& name) {
    return name.empty() ? nullptr : Rw::LoadTexture(name.c_str(), rwTEXTUREADDRESSCLAMP, rwFILTERLINEAR);
}

ScreenPoint Point(Base::Vector2 p, RwRGBA colour, float u = 0, float v = 0) {
    ScreenPoint point;
    point.x = p.x;
    point.y = p.y;
    point.colour = colour;
    point.u = u;
    point.v = v;
    return point;
}

} // namespace

Base::Vector2 WorldMap::panVelocity;
float WorldMap::zoomVelocity = 0.0f;

MapObjectRecord::~MapObjectRecord() {
    if (texture && !textureName.empty())
        RwTextureDestroy(texture);
}

WorldMap::~WorldMap() {
    ClearObjects();
    for (auto& [key, entry] : sliceCache)
        DropSlice(entry);
    sliceCache.clear();
    if (waterTexture)
        RwTextureDestroy(waterTexture);
}

bool WorldMap::Load(const Base::String& widgetName, const Base::Info& node) {
    if (!Scroller::Load(widgetName, node))
        return false;
    Base::String landName, waterName;
    Base::Vector2 bottomRight;
    int32_t resolution = 0;
    if (!node.TryGetFloat("SliceSize", sliceSize) ||
        !node.TryGetInt2("SlicesSpan", slicesSpan[0], slicesSpan[1]) ||
        !node.TryGetInt("MainTextureRes", resolution) ||
        !node.TryGetString("MainTextureDir", textureDirectory) ||
        !node.TryGetString("MainTextureNameFormat", textureNameFormat) ||
        !node.TryGetInt2("MainTextureOffset", textureOffset[0], textureOffset[1]) ||
        !node.TryGetPoint("BottomRightPos", bottomRight) ||
        !node.TryGetString("SlicesLandFilename", landName) ||
        !node.TryGetString("SlicesWaterFilename", waterName))
        return false;
    // Sizes divide every transform, the name format is handed to printf with two integers, and a tiny
    // resolution would put millions of slices on screen at the lowest zoom.
    if (!(sliceSize > 0) || !std::isfinite(sliceSize) || slicesSpan[0] <= 0 || slicesSpan[1] <= 0 ||
        slicesSpan[0] > Obj::Terrain::MaxSlices || slicesSpan[1] > Obj::Terrain::MaxSlices ||
        resolution < MinTextureResolution || !Obj::Terrain::IsTwoIntegerFormat(textureNameFormat))
        return false;
    textureResolution = uint32_t(resolution);
    extent = {float(slicesSpan[0]) * sliceSize, float(slicesSpan[1]) * sliceSize};
    scale = sliceSize / float(textureResolution);
    origin = {bottomRight.x + extent.x, bottomRight.y + extent.y};
    landMask = Obj::Terrain::LoadBitMask(landName);
    waterMask = Obj::Terrain::LoadBitMask(waterName);
    if (waterTexture)
        RwTextureDestroy(waterTexture);
    waterTexture = Rw::LoadTexture("Water", rwTEXTUREADDRESSWRAP, rwFILTERLINEAR);
    font = Base::FontCache::Get(MapFont);
    if (owner)
        SetOwner(owner);
    return true;
}

void WorldMap::SetOwner(Desktop* newOwner) {
    Scroller::SetOwner(newOwner);
    if (owner && scale > 0)
        SetScrollBounds({-(extent.x / scale), -(extent.y / scale), 0, 0});
}

void WorldMap::SetZoom(float f) {
    zoom = CutZoom(f);
}

// ---- objects

void WorldMap::LoadObjects(const Base::Info& node) {
    for (const auto& [key, child] : node.GetChildren()) {
        Base::String name, textureName;
        Base::Vector2 position;
        RwRGBA colour = {255, 255, 255, 255};
        const bool complete = child->TryGetString("Name", name) && child->TryGetPoint("Pos", position) &&
                              child->TryGetString("Texture", textureName) && child->FindChild("Color");
        if (!complete)
            continue;
        TryGetColour(*child, "Color", colour);
        bool drawLine = false, canBeFocused = false;
        child->TryGetBool("DrawLine", drawLine);
        child->TryGetBool("CanBeFocused", canBeFocused);
        AddObject(name, position, textureName, ColourToArgb(colour), drawLine, canBeFocused);
    }
}

MapObjectRecord* WorldMap::AddObject(const Base::String& name, Base::Vector2 position,
                                     const Base::String& textureName, uint32_t colour, bool drawLine,
                                     bool canBeFocused) {
    MapObjectRecord& record = objects.emplace_back();
    record.name = name;
    record.position = position;
    record.textureName = textureName;
    record.texture = LoadIcon(textureName);
    record.colour = colour;
    record.drawLine = drawLine;
    record.canBeFocused = canBeFocused;
    return &record;
}

void WorldMap::RemoveObject(MapObjectRecord* record) {
    if (record == placedObject)
        placedObject = nullptr;
    objects.remove_if([record](const MapObjectRecord& r) { return &r == record; });
}

void WorldMap::ClearObjects() {
    placedObject = nullptr;
    objects.clear();
}

// ---- transforms

Base::Vector2 WorldMap::WorldToMap(Base::Vector2 p) const {
    const float w = absRect.right - absRect.left, h = absRect.bottom - absRect.top;
    return {(origin.x - p.x) / scale * zoom + scrollPos.x * zoom + w / 2,
            (origin.y - p.y) / scale * zoom + scrollPos.y * zoom + h / 2};
}

Base::Vector2 WorldMap::MapToWorld(Base::Vector2 m) const {
    const float w = absRect.right - absRect.left, h = absRect.bottom - absRect.top;
    return {origin.x - (m.x - scrollPos.x * zoom - w / 2) / zoom * scale,
            origin.y - (m.y - scrollPos.y * zoom - h / 2) / zoom * scale};
}

Base::Vector2 WorldMap::SliceToMap(int32_t i, int32_t j) const {
    const float w = absRect.right - absRect.left, h = absRect.bottom - absRect.top;
    const float r = float(textureResolution);
    return {(float(i) * r + scrollPos.x) * zoom + w / 2, (float(j) * r + scrollPos.y) * zoom + h / 2};
}

void WorldMap::MapToSlice(Base::Vector2 m, int32_t& i, int32_t& j) const {
    const float w = absRect.right - absRect.left, h = absRect.bottom - absRect.top;
    const float r = float(textureResolution);
    i = int32_t(std::floor((m.x - scrollPos.x * zoom - w / 2) / zoom / r));
    j = int32_t(std::floor((m.y - scrollPos.y * zoom - h / 2) / zoom / r));
}

Base::Vector2 WorldMap::MapToScreen(Base::Vector2 m) const {
    const Base::Vector2 p{m.x + absRect.left, m.y + absRect.top};
    return owner ? owner->VirtualToScreen(p) : p;
}

uint8_t WorldMap::LevelForZoom(float zoom) {
    const float level = std::round(std::log2(1.0f / zoom));
    if (!(level >= 1.0f))
        return 0;
    return level > 3.0f ? 3 : uint8_t(level);
}

float WorldMap::DragMarginFor() const {
    return std::min(DragMargin, std::min(extent.x, extent.y) / 4);
}

bool WorldMap::InDragArea(Base::Vector2 w) const {
    const float margin = DragMarginFor();
    return origin.x - extent.x + margin < w.x && w.x < origin.x - margin &&
           origin.y - extent.y + margin < w.y && w.y < origin.y - margin;
}

bool WorldMap::InView(Base::Vector2 world) const {
    const Base::Vector2 m = WorldToMap(world);
    const float x = m.x + absRect.left, y = m.y + absRect.top;
    return absRect.left + ViewInset < x && x < absRect.right - ViewInset && absRect.top + ViewInset < y &&
           y < absRect.bottom - ViewInset;
}

// ---- scrolling

void WorldMap::ScrollTo(Base::Vector2 p, bool fit) {
    const auto centre = [this](Base::Vector2 c) {
        SetScrollPos({(c.x - origin.x) / scale, (c.y - origin.y) / scale});
    };
    centre(p);
    if (!fit || objects.empty())
        return;
    std::vector<Base::Vector2> positions;
    for (const MapObjectRecord& record : objects)
        positions.push_back(record.position);
    const auto distance = [p](Base::Vector2 q) {
        return (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y);
    };
    std::stable_sort(positions.begin(), positions.end(),
                     [&](Base::Vector2 a, Base::Vector2 b) { return distance(a) < distance(b); });
    Base::Vector2 c = p;
    for (size_t k = 0; k < positions.size(); ++k) {
        const Base::Vector2 next{(c.x + positions[k].x) / 2, (c.y + positions[k].y) / 2};
        centre(next);
        bool allInView = true;
        for (size_t taken = 0; taken <= k && allInView; ++taken)
            allInView = InView(positions[taken]);
        if (!allInView) {
            centre(c);
            return;
        }
        c = next;
    }
}

void WorldMap::FocusFirstObject() {
    for (const MapObjectRecord& record : objects)
        if (record.canBeFocused) {
            ScrollTo(record.position, false);
            return;
        }
}

void WorldMap::Update() {
    Scroller::Update();
    Base::StreamedTextureCache::Update();

    if (Button* reset = Find<Button>("ButtonReset", true); reset && reset->IsClicked())
        FocusFirstObject();

    // Each pair's direction; the Back button wins when both are held.
    const auto held = [this](const char* name) {
        const Button* button = Find<Button>(name, true);
        return button && button->state == Button::Pressed;
    };
    const auto direction = [&held](const char* forward, const char* back) {
        return held(back) ? -1.0f : held(forward) ? 1.0f : 0.0f;
    };
    const float x = direction("HButtonFwd", "HButtonBack");
    const float y = direction("VButtonFwd", "VButtonBack");
    const float z = direction("ZButtonFwd", "ZButtonBack");

    const float dt = float(Base::FrameClock::FrameTime);
    panVelocity.x += x / zoom * dt * 1200.0f;
    panVelocity.y += y / zoom * dt * 1200.0f;
    zoomVelocity += z * dt * 3.0f;
    const float panDecay = std::pow(0.01f, dt), zoomDecay = std::pow(0.0001f, dt);
    panVelocity.x *= panDecay;
    panVelocity.y *= panDecay;
    zoomVelocity *= zoomDecay;
    SetScrollPos({scrollPos.x + panVelocity.x * dt, scrollPos.y + panVelocity.y * dt});
    zoom = CutZoom(zoom * std::pow(1.0f + std::clamp(zoomVelocity, -0.5f, 0.5f), 10.0f * dt));

    if (!placementEnabled || !owner)
        return;
    const bool leftHeld = owner->mouse && owner->mouse->buttons[0];
    if (owner->captured.Get() == this && !leftHeld) {
        owner->captured = nullptr;
        return;
    }
    Widget* current = owner->captured ? owner->captured.Get() : owner->hovered.Get();
    if (!leftHeld || current != this)
        return;
    owner->captured = this;
    if (!owner->cursor || !placedObject)
        return;
    const Base::Vector2 mouse = owner->ScreenToVirtual(owner->cursor->position);
    const Base::Vector2 world = MapToWorld({mouse.x - absRect.left, mouse.y - absRect.top});
    if (InDragArea(world))
        placedObject->position = world;
}

// ---- drawing

void WorldMap::DropSlice(SliceEntry& entry) {
    if (entry.texture)
        Base::StreamedTextureCache::Release(entry.texture);
    entry.texture = nullptr;
}

Base::String WorldMap::SliceTextureName(int32_t x, int32_t y) const {
    char name[256];
    std::snprintf(name, sizeof name, textureNameFormat.c_str(), x - textureOffset[0], y - textureOffset[1]);
    return textureDirectory + "\\" + name;
}

void WorldMap::Draw() {
    if (scale > 0) {
        DrawSlices();
        DrawObjects();
    }
    DrawChildren();
}

void WorldMap::DrawSlices() {
    const float w = absRect.right - absRect.left, h = absRect.bottom - absRect.top;
    int32_t x0, y0, x1, y1;
    MapToSlice({0, 0}, x0, y0);
    MapToSlice({w, h}, x1, y1);
    for (auto it = sliceCache.begin(); it != sliceCache.end();) {
        const auto [y, x] = it->first;
        if (x < x0 || x > x1 || y < y0 || y > y1) {
            DropSlice(it->second);
            it = sliceCache.erase(it);
        } else {
            ++it;
        }
    }

    const uint8_t level = LevelForZoom(zoom);
    const auto inSpan = [this](int32_t x, int32_t y) {
        return x >= 0 && x < slicesSpan[0] && y >= 0 && y < slicesSpan[1];
    };
    for (int32_t y = y0; y <= y1; ++y)
        for (int32_t x = x0; x <= x1; ++x) {
            auto [it, added] = sliceCache.try_emplace({y, x});
            SliceEntry& entry = it->second;
            if (added) {
                if (inSpan(x, y) && landMask.Get(uint32_t(x), uint32_t(y))) {
                    entry.texture = Base::StreamedTextureCache::Request(SliceTextureName(x, y), level, 0);
                    entry.requested = 1;
                    entry.level = level;
                }
            } else if (entry.requested && entry.level != level) {
                Base::StreamedTextureCache::Entry* old = entry.texture;
                entry.texture = Base::StreamedTextureCache::Request(SliceTextureName(x, y), level, 0);
                entry.level = level;
                if (old)
                    Base::StreamedTextureCache::Release(old);
            }
        }

    const RwRGBA mapTint = ArgbToColour(mapColour);
    std::vector<ScreenPoint> crosses;
    const auto cross = [&](Base::Vector2 a, Base::Vector2 b) {
        const Base::Vector2 mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
        crosses.push_back(Point({a.x, mid.y}, CrossColour));
        crosses.push_back(Point({b.x, mid.y}, CrossColour));
        crosses.push_back(Point({mid.x, a.y}, CrossColour));
        crosses.push_back(Point({mid.x, b.y}, CrossColour));
    };
    for (const auto& [key, entry] : sliceCache) {
        const auto [y, x] = key;
        const Base::Vector2 a = MapToScreen(SliceToMap(x, y)), b = MapToScreen(SliceToMap(x + 1, y + 1));
        if (!inSpan(x, y)) {
            cross(a, b);
            continue;
        }
        const bool water = waterMask.Get(uint32_t(x), uint32_t(y));
        if (water) {
            const ScreenPoint quad[2] = {Point(a, mapTint, 0, 0), Point(b, mapTint, 1, 1)};
            DrawQuads(quad, 2, waterTexture, rwFILTERLINEAR);
        }
        if (landMask.Get(uint32_t(x), uint32_t(y))) {
            if (RwTexture* texture = Base::StreamedTextureCache::GetTexture(entry.texture)) {
                // Half a texel in from each edge: the slice textures wrap, and a row of pixels on a slice's
                // border would blend in the far side of the slice.
                const RwRaster* raster = RwTextureGetRaster(texture);
                const float du = 0.5f / float(std::max(RwRasterGetWidth(raster), 1));
                const float dv = 0.5f / float(std::max(RwRasterGetHeight(raster), 1));
                const ScreenPoint quad[2] = {Point(a, mapTint, du, dv), Point(b, mapTint, 1 - du, 1 - dv)};
                DrawQuads(quad, 2, texture, rwFILTERLINEAR);
            } else if (!water) {
                cross(a, b);
            }
        }
    }
    if (!crosses.empty())
        DrawLines2d(crosses.data(), uint32_t(crosses.size()), 1);

    // Something is still on its way: the page may show that the map is busy.
    bool reading = false;
    for (const auto& [key, entry] : sliceCache)
        reading = reading || (entry.texture && !entry.texture->texture);
    const double now = Base::FrameClock::GameTime;
    if (reading)
        activity = 1.0f;
    else if (!(activity > 0 && std::fmod(now, 0.5) < 0.3))
        activity = std::max(0.0f, activity - 0.9f * float(Base::FrameClock::FrameTime));
}

std::vector<WorldMap::Label> WorldMap::MergeLabels() const {
    std::vector<Label> labels;
    for (const MapObjectRecord& record : objects) {
        if (record.name.empty())
            continue;
        const Base::Vector2 s = MapToScreen(WorldToMap(record.position));
        const Base::Vector2 anchor{s.x + IconHalf, s.y + IconHalf};
        Label* near = nullptr;
        for (Label& label : labels)
            if (label.name == record.name && std::fabs(label.anchor.x - anchor.x) <= LabelReachX &&
                std::fabs(label.anchor.y - anchor.y) <= LabelReachY) {
                near = &label;
                break;
            }
        if (near) {
            const float n = float(near->count);
            near->anchor = {(near->anchor.x * n + anchor.x) / (n + 1),
                            (near->anchor.y * n + anchor.y) / (n + 1)};
            ++near->count;
        } else {
            labels.push_back({record.name, anchor, 1});
        }
    }
    return labels;
}

void WorldMap::DrawObjects() {
    // Segments as pairs: first to second, second to third, ...; nothing for fewer than two points.
    std::vector<ScreenPoint> route;
    bool first = true;
    for (const MapObjectRecord& record : objects)
        if (record.drawLine) {
            const ScreenPoint point = Point(MapToScreen(WorldToMap(record.position)), RouteColour);
            if (!first)
                route.push_back(point);
            route.push_back(point);
            first = false;
        }
    if (!route.empty())
        route.pop_back();
    if (route.size() >= 2)
        DrawLines2d(route.data(), uint32_t(route.size()), 1);

    for (const MapObjectRecord& record : objects) {
        const Base::Vector2 s = MapToScreen(WorldToMap(record.position));
        const RwRGBA colour = ArgbToColour(record.colour);
        const ScreenPoint quad[2] = {
            Point({std::floor(s.x - IconHalf) + 0.5f, std::floor(s.y - IconHalf) + 0.5f}, colour, 0, 0),
            Point({std::floor(s.x + IconHalf) + 0.5f, std::floor(s.y + IconHalf) + 0.5f}, colour, 1, 1)};
        DrawQuads(quad, 2, record.texture, rwFILTERLINEAR);
    }

    for (const Label& label : MergeLabels()) {
        Base::String text = label.name;
        if (label.count > 1) {
            char counted[32];
            std::snprintf(counted, sizeof counted, " (%d)", label.count);
            text += counted;
        }
        QueueText({std::floor(label.anchor.x), std::floor(label.anchor.y)}, text, {255, 255, 255, 255},
                  {1, 1}, 0, text.size(), {0, 0}, -1, -1);
    }
    FlushTextQueue(font, rwFILTERNEAREST);
}

} // namespace Gui
