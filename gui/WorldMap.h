// The scrollable, zoomable map of the terrain: square slices with their textures streamed at a detail level
// that follows the zoom, sea slices in the water texture, the mission's objects as icons with merged name
// labels and a route line, six pan and zoom buttons, and one object that the user may drag.
#pragma once

#include "base/Maths.h"
#include "base/String.h"
#include "base/StreamedTextureCache.h"
#include "gui/Scroller.h"
#include "objects/Terrain.h"

#include <cstdint>
#include <list>
#include <map>
#include <utility>

struct RwTexture;

namespace Gui {

class Font;

struct MapObjectRecord {
    MapObjectRecord() = default;
    MapObjectRecord(const MapObjectRecord&) = delete;
    MapObjectRecord& operator=(const MapObjectRecord&) = delete;
    // The texture goes with the record when it was loaded by name.
    ~MapObjectRecord();

    Base::String name;
    Base::Vector2 position; // world x and z
    RwTexture* texture = nullptr;
    Base::String textureName;
    uint32_t colour = 0xFFFFFFFF; // ARGB
    bool drawLine = false;
    bool canBeFocused = false;
};

class WorldMap : public Scroller {
public:
    struct SliceEntry {
        Base::StreamedTextureCache::Entry* texture = nullptr; // released when the entry is dropped
        uint8_t requested = 0;
        uint8_t level = 0xFF; // none
    };
    // Ordered by y, then x.
    using SliceKey = std::pair<int32_t, int32_t>;

    static constexpr float MinZoom = 0.1f, MaxZoom = 2.0f;
    // The smallest slice texture a map may name (the streamed textures' side at their lowest level).
    static constexpr int32_t MinTextureResolution = 64;
    // How far from the map's edge a dragged object must stay, in world units, on a map big enough for it.
    static constexpr float DragMargin = 30000.0f;

    WorldMap() = default;
    ~WorldMap() override;

    // The scroller's keys, then every map key (all required): "SliceSize", "SlicesSpan", "MainTextureRes",
    // "MainTextureDir", "MainTextureNameFormat", "MainTextureOffset", "BottomRightPos", "SlicesLandFilename",
    // "SlicesWaterFilename". Also false for a map that cannot be drawn: sizes that are not positive, a
    // texture resolution below MinTextureResolution, or a name format other than two integers.
    bool Load(const Base::String& widgetName, const Base::Info& node) override;
    void Draw() override;
    void Update() override;
    // With an owner the scroll bounds cover the whole map.
    void SetOwner(Desktop* newOwner) override;

    void SetZoom(float f);
    // Appends the objects of the node's children ("Name", "Pos", "Texture", "Color" required; "DrawLine",
    // "CanBeFocused"), in order.
    void LoadObjects(const Base::Info& node);
    void ClearObjects();
    // An object of its own, kept until removed or cleared; the record stays where it is while others come
    // and go.
    MapObjectRecord* AddObject(const Base::String& name, Base::Vector2 position,
                               const Base::String& textureName, uint32_t colour, bool drawLine,
                               bool canBeFocused);
    void RemoveObject(MapObjectRecord* record);
    // Centres the point; with fit, moves towards the nearest objects for as long as they all stay in view.
    void ScrollTo(Base::Vector2 point, bool fit);
    void FocusFirstObject();

    // Widget-relative map points (desktop units) and world (x, z).
    Base::Vector2 WorldToMap(Base::Vector2 p) const;
    Base::Vector2 MapToWorld(Base::Vector2 m) const;
    Base::Vector2 SliceToMap(int32_t i, int32_t j) const;
    void MapToSlice(Base::Vector2 m, int32_t& i, int32_t& j) const;
    // A widget-relative map point in screen pixels.
    Base::Vector2 MapToScreen(Base::Vector2 m) const;
    // The slice texture level for the zoom: round(log2(1 / zoom)) kept in 0..3.
    static uint8_t LevelForZoom(float zoom);
    // The edge distance a drag keeps: DragMargin, or a quarter of the map's smaller side on a small map.
    float DragMarginFor() const;
    // The world position strictly inside the area a dragged object may take.
    bool InDragArea(Base::Vector2 world) const;
    // The object's screen point lies strictly inside the widget shrunk by 10 on each side.
    bool InView(Base::Vector2 world) const;
    // The labels as drawn: anchor (screen pixels) and text, in the order they are queued.
    struct Label {
        Base::String name;
        Base::Vector2 anchor;
        int32_t count = 0;
    };
    std::vector<Label> MergeLabels() const;

    // The pan and zoom speeds (one set for the program).
    static Base::Vector2 panVelocity;
    static float zoomVelocity;

    std::map<SliceKey, SliceEntry> sliceCache;
    std::list<MapObjectRecord> objects;
    float zoom = 1.0f;
    uint32_t mapColour = 0xFFFFFFFF;
    const Font* font = nullptr;
    bool placementEnabled = false;
    float activity = 0.0f;
    RwTexture* waterTexture = nullptr;
    float sliceSize = 0.0f;
    int32_t slicesSpan[2] = {0, 0};
    Base::Vector2 extent;
    uint32_t textureResolution = 0;
    float scale = 0.0f;
    Base::Vector2 origin;
    Obj::Terrain::BitMask waterMask, landMask;
    Base::String textureDirectory;
    Base::String textureNameFormat;
    int32_t textureOffset[2] = {0, 0};
    MapObjectRecord* placedObject = nullptr;

private:
    void DropSlice(SliceEntry& entry);
    Base::String SliceTextureName(int32_t x, int32_t y) const;
    void DrawSlices();
    void DrawObjects();
};

} // namespace Gui
