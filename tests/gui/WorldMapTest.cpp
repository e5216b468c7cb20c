// The world map over the sample terrain on a started engine: its keys, world to map and back against the
// terrain tool's slice layout, detail levels from the zoom, the zoom and pan buttons, merged labels, the
// route, dragging within the margin, ScrollTo with fit, and the map of the sample terrain with icons read
// back.
#include "DrawFixture.h"

#include "base/AsyncLoader.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "base/StreamedTextureCache.h"
#include "gui/Button.h"
#include "gui/Cursor.h"
#include "gui/Desktop.h"
#include "gui/WorldMap.h"
#include "input/Mouse.h"
#include "scene/StreamedTexture.h"
#include "tools/terrain/TerrainShape.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

namespace {

using GuiTest::Draw;
using GuiTest::Picture;

constexpr int MapWidth = 512, MapHeight = 384;

// The sample terrain's map keys (data/Data/Terrain1.info) with the slice count and size as given.
std::string MapKeys(int span = 8, const char* sliceSize = "4096") {
    return std::string("SliceSize\t") + sliceSize + "\nSlicesSpan\t" + std::to_string(span) + " " +
           std::to_string(span) +
           "\nMainTextureRes\t512\nMainTextureDir\tData\\Terrain1\n"
           "MainTextureNameFormat\tS_%02d_%02d.dds\nMainTextureOffset\t0 0\nBottomRightPos\t-16384 -16384\n"
           "SlicesLandFilename\tTerrain1Land.png\nSlicesWaterFilename\tTerrain1Water.png\n";
}

const char* const ButtonNames[] = {"ButtonReset", "HButtonFwd", "HButtonBack", "VButtonFwd",
                                   "VButtonBack", "ZButtonFwd", "ZButtonBack"};

class MapTest : public Draw {
protected:
    MapTest() {
        windowWidth = MapWidth;
        windowHeight = MapHeight;
    }
    void SetUp() override {
        Draw::SetUp();
        Rw::InstallStreamedTextures();
        Base::AsyncLoader::Start();
        savedFrameTime = Base::FrameClock::FrameTime;
        Gui::WorldMap::panVelocity = {};
        Gui::WorldMap::zoomVelocity = 0;
    }
    void TearDown() override {
        page.reset();
        Base::AsyncLoader::Stop();
        Base::StreamedTextureCache::Update();
        Base::FrameClock::FrameTime = savedFrameTime;
        Draw::TearDown();
    }

    // A page with a cursor and the map over the whole screen; false when the page refuses the map.
    bool LoadPage(const std::string& keys) {
        page = std::make_unique<Gui::Desktop>();
        page->screenRect = {0, 0, float(MapWidth), float(MapHeight)};
        std::string buttons;
        for (const char* name : ButtonNames)
            buttons += std::string(name) + " ImageButton\n{\nRect 0 0 r1 r1\n}\n";
        const std::string text = "DesktopRect 0 0 " + std::to_string(MapWidth) + " " +
                                 std::to_string(MapHeight) +
                                 "\nWidgets\n{\nCursor ImageCursor\n{\nRect 0 0 r16 r16\nColor 0 0 0 0\n}\n"
                                 "Map WorldMap\n{\nRect 0 0 r" +
                                 std::to_string(MapWidth) + " r" + std::to_string(MapHeight) + "\n" + keys +
                                 "Widgets\n{\n" + buttons + "}\n}\n}\n";
        Base::Info info;
        EXPECT_EQ(info.LoadText(text), 0) << text;
        if (!page->Load(info))
            return false;
        map = page->Find<Gui::WorldMap>("Map", false);
        return map != nullptr;
    }

    Gui::Button* ButtonOf(const char* name) { return map->Find<Gui::Button>(name, true); }

    // Frames until no slice texture is on its way (bounded), then the picture.
    Picture DrawMap(const char* name) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            Begin({0, 0, 0, 255});
            page->Draw();
            bool waiting = false;
            for (const auto& [key, entry] : map->sliceCache)
                waiting = waiting || (entry.texture && !entry.texture->texture);
            if (!waiting || std::chrono::steady_clock::now() - start > std::chrono::seconds(30))
                return End(name);
            End("waiting");
            std::this_thread::yield();
            Base::StreamedTextureCache::Update();
        }
    }

    std::unique_ptr<Gui::Desktop> page;
    Gui::WorldMap* map = nullptr;
    double savedFrameTime = 0;
};

TEST_F(MapTest, LoadFixesTheGeometryAndTheOwnerTheScrollBounds) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    EXPECT_EQ(map->extent, (Base::Vector2{32768, 32768}));
    EXPECT_FLOAT_EQ(map->scale, 8.0f);
    EXPECT_EQ(map->origin, (Base::Vector2{16384, 16384}));
    EXPECT_EQ(map->bounds, (Gui::Rect{-4096, -4096, 0, 0}));
    EXPECT_TRUE(map->landMask.filled);
    EXPECT_TRUE(map->waterMask.filled);
    EXPECT_NE(map->waterTexture, nullptr);
    EXPECT_NE(map->font, nullptr);
    EXPECT_FLOAT_EQ(map->zoom, 1.0f);

    // Every key is required. (A page keeps a child whose load failed, so the map is loaded alone.)
    const auto loads = [](const std::string& text) {
        Base::Info node;
        EXPECT_EQ(node.LoadText(text), 0) << text;
        Gui::WorldMap alone;
        return alone.Load("Map", node);
    };
    const auto withRect = [](const std::string& keys) { return "Rect\t0 0 r100 r100\n" + keys; };
    EXPECT_TRUE(loads(withRect(MapKeys())));
    const char* const keys[] = {"SliceSize",
                                "SlicesSpan",
                                "MainTextureRes",
                                "MainTextureDir",
                                "MainTextureNameFormat",
                                "MainTextureOffset",
                                "BottomRightPos",
                                "SlicesLandFilename",
                                "SlicesWaterFilename"};
    for (const char* key : keys) {
        std::string text = withRect(MapKeys());
        const size_t at = text.find(key);
        text.erase(at, text.find('\n', at) + 1 - at);
        EXPECT_FALSE(loads(text)) << key;
    }
    // Sizes that every transform divides by, and a name format that is not two integers, are refused.
    struct Bad {
        const char* key;
        const char* value;
    };
    const Bad bad[] = {{"SliceSize", "0"},
                       {"SliceSize", "-4096"},
                       {"SlicesSpan", "0 8"},
                       {"MainTextureRes", "0"},
                       {"MainTextureRes", "8"},
                       {"MainTextureNameFormat", "S_%s_%d.dds"},
                       {"MainTextureNameFormat", "S_%02d.dds"},
                       {"MainTextureNameFormat", "S_%d_%d_%d.dds"}};
    for (const Bad& b : bad) {
        std::string text = withRect(MapKeys());
        const size_t at = text.find(b.key);
        const size_t value = text.find('\t', at) + 1;
        text.replace(value, text.find('\n', at) - value, b.value);
        EXPECT_FALSE(loads(text)) << b.key << ' ' << b.value;
    }
}

TEST_F(MapTest, WorldToMapAndBackFollowTheTerrainSlices) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    // Off the slice borders, where the map's and the terrain's halves of a border differ.
    const Base::Vector2 points[] = {{10, 10}, {-16000, 12000}, {9876.5f, -3210}, {16383, -16383}};
    const float zooms[] = {1.0f, 0.5f, 0.1f, 2.0f};
    const Base::Vector2 scrolls[] = {{0, 0}, {-2048, -1000}, {-4096, -4096}};
    for (float z : zooms)
        for (Base::Vector2 s : scrolls) {
            map->SetZoom(z);
            map->SetScrollPos(s);
            for (Base::Vector2 p : points) {
                const Base::Vector2 back = map->MapToWorld(map->WorldToMap(p));
                EXPECT_NEAR(back.x, p.x, 0.02f) << z;
                EXPECT_NEAR(back.y, p.y, 0.02f) << z;
                // The map slice under a world point is the terrain's slice, named as the terrain tool
                // writes it: map slice (x, y) is the texture S_x_y of terrain slice (7 - x, 7 - y).
                int32_t i, j;
                map->MapToSlice(map->WorldToMap(p), i, j);
                const int ti = int(std::floor((p.x - Tools::Terrain::Origin) / Tools::Terrain::SliceSize));
                const int tj = int(std::floor((p.y - Tools::Terrain::Origin) / Tools::Terrain::SliceSize));
                EXPECT_EQ(i, Tools::Terrain::Slices - 1 - ti) << p.x;
                EXPECT_EQ(j, Tools::Terrain::Slices - 1 - tj) << p.y;
                // And the slice's corners are where its world corners map.
                const Base::Vector2 corner = map->SliceToMap(i, j);
                const Base::Vector2 world = map->MapToWorld(corner);
                EXPECT_NEAR(world.x, Tools::Terrain::Origin + float(ti + 1) * Tools::Terrain::SliceSize,
                            0.05f);
                EXPECT_NEAR(world.y, Tools::Terrain::Origin + float(tj + 1) * Tools::Terrain::SliceSize,
                            0.05f);
            }
        }
    // ScrollTo puts the point at the widget's centre.
    map->SetZoom(0.5f);
    map->ScrollTo({-3500, 5200}, false);
    const Base::Vector2 m = map->WorldToMap({-3500, 5200});
    EXPECT_NEAR(m.x, MapWidth / 2.0f, 1e-3f);
    EXPECT_NEAR(m.y, MapHeight / 2.0f, 1e-3f);
    EXPECT_EQ(map->MapToScreen(m), (Base::Vector2{MapWidth / 2.0f, MapHeight / 2.0f}));
}

TEST_F(MapTest, TheDetailLevelFollowsTheZoomAndTheZoomStaysInItsRange) {
    struct Case {
        float zoom;
        uint8_t level;
    };
    const Case cases[] = {{2.0f, 0}, {1.0f, 0}, {0.75f, 0}, {0.5f, 1}, {0.3f, 2}, {0.25f, 2}, {0.1f, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(Gui::WorldMap::LevelForZoom(c.zoom), c.level) << c.zoom;

    ASSERT_TRUE(LoadPage(MapKeys()));
    map->SetZoom(5);
    EXPECT_EQ(map->zoom, 2.0f);
    map->SetZoom(0.01f);
    EXPECT_EQ(map->zoom, 0.1f);
    map->SetZoom(std::nanf(""));
    EXPECT_EQ(map->zoom, 0.1f);

    // The slices on screen are requested at the zoom's level, and again when it changes.
    map->SetZoom(0.25f);
    map->ScrollTo({0, 0}, false);
    Begin();
    page->Draw();
    End("levels");
    ASSERT_FALSE(map->sliceCache.empty());
    for (const auto& [key, entry] : map->sliceCache)
        if (entry.requested) {
            EXPECT_EQ(entry.level, 2);
            ASSERT_NE(entry.texture, nullptr);
            EXPECT_EQ(entry.texture->level, 2u);
        }
    map->SetZoom(0.1f);
    Begin();
    page->Draw();
    End("levels");
    size_t requested = 0;
    for (const auto& [key, entry] : map->sliceCache)
        if (entry.requested) {
            ++requested;
            EXPECT_EQ(entry.texture->level, 3u);
        }
    EXPECT_GT(requested, 0u);
}

TEST_F(MapTest, HoldingZoomGrowsItToTheLimitAndReleasingLetsTheSpeedDecay) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    Base::FrameClock::FrameTime = 0.05;
    Gui::Button* in = ButtonOf("ZButtonFwd");
    ASSERT_NE(in, nullptr);
    float last = map->zoom;
    for (int frame = 0; frame < 200; ++frame) {
        in->state = Gui::Button::Pressed;
        map->Update();
        EXPECT_GE(map->zoom, last);
        last = map->zoom;
    }
    EXPECT_EQ(map->zoom, 2.0f);
    in->state = Gui::Button::Normal;
    const float speed = Gui::WorldMap::zoomVelocity;
    map->Update();
    EXPECT_NEAR(Gui::WorldMap::zoomVelocity, speed * std::pow(0.0001f, 0.05f), 1e-6f);

    // Both of a pair held: the Back button wins, and the map zooms out.
    Gui::WorldMap::zoomVelocity = 0;
    map->SetZoom(1.0f);
    ButtonOf("ZButtonFwd")->state = Gui::Button::Pressed;
    ButtonOf("ZButtonBack")->state = Gui::Button::Pressed;
    map->Update();
    EXPECT_LT(map->zoom, 1.0f);

    // A pan button moves the scroll position its way.
    Gui::WorldMap::zoomVelocity = 0;
    ButtonOf("ZButtonFwd")->state = ButtonOf("ZButtonBack")->state = Gui::Button::Normal;
    map->SetScrollPos({-2000, -2000});
    ButtonOf("HButtonFwd")->state = Gui::Button::Pressed;
    map->Update();
    EXPECT_GT(map->scrollPos.x, -2000.0f);
    EXPECT_EQ(map->scrollPos.y, -2000.0f);
}

TEST_F(MapTest, NearbyLabelsOfOneNameMergeWithTheirCount) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    map->ScrollTo({0, 0}, false);
    // At zoom 1 a map pixel is 8 world units: these three lie within 70 x 10 pixels of each other.
    map->AddObject("Viper", {0, 0}, "IconFighter", 0xFFFFFFFF, false, false);
    map->AddObject("Viper", {-200, 40}, "IconFighter", 0xFFFFFFFF, false, false);
    map->AddObject("Viper", {-400, -40}, "IconFighter", 0xFFFFFFFF, false, false);
    map->AddObject("Viper", {-800, 0}, "IconFighter", 0xFFFFFFFF, false, false); // 100 pixels away
    map->AddObject("Eagle", {0, 0}, "IconFighter", 0xFFFFFFFF, false, false);    // another name
    map->AddObject("", {0, 0}, "IconFighter", 0xFFFFFFFF, false, false);         // no label
    const auto labels = map->MergeLabels();
    ASSERT_EQ(labels.size(), 3u);
    EXPECT_EQ(labels[0].name, "Viper");
    EXPECT_EQ(labels[0].count, 3);
    // The running mean of the three anchors (each 8 pixels right of and below its object).
    const Base::Vector2 a = map->WorldToMap({0, 0}), b = map->WorldToMap({-200, 40}),
                        c = map->WorldToMap({-400, -40});
    EXPECT_NEAR(labels[0].anchor.x, (a.x + b.x + c.x) / 3 + 8, 1e-3f);
    EXPECT_NEAR(labels[0].anchor.y, (a.y + b.y + c.y) / 3 + 8, 1e-3f);
    EXPECT_EQ(labels[1].name, "Viper");
    EXPECT_EQ(labels[1].count, 1);
    EXPECT_EQ(labels[2].name, "Eagle");

    // Drawn: one text of the merged label.
    Begin({0, 0, 0, 255});
    page->Draw();
    End("labels");
}

TEST_F(MapTest, ARouteNeedsTwoObjectsThatDrawLines) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    map->SetZoom(0.1f);
    map->ScrollTo({0, 0}, false);
    const auto magenta = [](const Picture& p) {
        int count = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                count += p.At(x, y) == 0xFF008Cu;
        return count;
    };
    map->AddObject("", {-9000, 0}, "", 0x00FFFFFF, true, false);     // invisible icons: only lines
    map->AddObject("", {-2000, 2000}, "", 0x00FFFFFF, false, false); // not on the route
    EXPECT_EQ(magenta(DrawMap("route_one")), 0);
    map->AddObject("", {9000, 0}, "", 0x00FFFFFF, true, false);
    map->AddObject("", {9000, -9000}, "", 0x00FFFFFF, true, false);
    const Picture p = DrawMap("route_three");
    // Two legs of 18000 and 9000 world units: about 180 and 90 pixels at zoom 0.1.
    EXPECT_GT(magenta(p), 200);
    const Base::Vector2 mid = map->MapToScreen(map->WorldToMap({0, 0}));
    EXPECT_EQ(p.At(int(mid.x), int(mid.y)), 0xFF008Cu) << "the first leg passes the centre";
}

TEST_F(MapTest, ADragMovesThePlacedObjectOnlyInsideTheMargin) {
    Input::Mouse mouse;
    const auto drag = [&](Gui::WorldMap* m, Base::Vector2 world) {
        page->mouse = &mouse;
        const Base::Vector2 screen = m->MapToScreen(m->WorldToMap(world));
        page->cursor->SetPosition(screen);
        mouse.buttons[0] = 1;
        mouse.clickedButton = 0;
        ++Base::FrameClock::FrameCounter;
        page->Update();
    };
    const auto release = [&] {
        page->mouse = &mouse;
        mouse.buttons[0] = 0;
        mouse.clickedButton = -1;
        ++Base::FrameClock::FrameCounter;
        page->Update();
    };
    Base::FrameClock::FrameTime = 0;

    // The sample map is 32768 units across: a margin of 30000 would leave nowhere to drag to, so a small
    // map keeps a quarter of its side (8192) instead.
    ASSERT_TRUE(LoadPage(MapKeys()));
    EXPECT_EQ(map->DragMarginFor(), 8192.0f);
    map->SetZoom(0.1f);
    map->ScrollTo({0, 0}, false);
    Gui::MapObjectRecord* placed = map->AddObject("Target", {0, 0}, "IconWaypoint", 0xFFFFFFFF, false, false);
    map->placedObject = placed;
    drag(map, {1000, -2000});
    EXPECT_EQ(placed->position, (Base::Vector2{0, 0})) << "placement not enabled";
    release();
    map->placementEnabled = true;
    drag(map, {1000, -2000});
    EXPECT_NEAR(placed->position.x, 1000, 8);
    EXPECT_NEAR(placed->position.y, -2000, 8);
    EXPECT_EQ(page->captured.Get(), map);
    drag(map, {9000, 0}); // within 8192 of the edge at 16384: stays
    EXPECT_NEAR(placed->position.x, 1000, 8);
    drag(map, {8000, 7900});
    EXPECT_NEAR(placed->position.x, 8000, 8);
    EXPECT_NEAR(placed->position.y, 7900, 8);
    release();
    EXPECT_EQ(page->captured.Get(), nullptr) << "the capture ends with the button";

    // A map of 32 slices (131072 across) keeps the full 30000.
    ASSERT_TRUE(LoadPage(MapKeys(32)));
    EXPECT_EQ(map->DragMarginFor(), 30000.0f);
    map->SetZoom(0.1f);
    map->placementEnabled = true;
    const Base::Vector2 middle{-16384 + 65536, -16384 + 65536};
    map->ScrollTo({middle.x + 35000, middle.y}, false); // both drags in view
    placed = map->AddObject("Target", middle, "IconWaypoint", 0xFFFFFFFF, false, false);
    map->placedObject = placed;
    // A frame for the page to find the map under the cursor.
    page->cursor->SetPosition(map->MapToScreen(map->WorldToMap({middle.x + 34000, middle.y})));
    release();
    drag(map, {middle.x + 34000, middle.y}); // 31536 from the edge
    EXPECT_NEAR(placed->position.x, middle.x + 34000, 8);
    drag(map, {middle.x + 37000, middle.y}); // 28536 from the edge
    EXPECT_NEAR(placed->position.x, middle.x + 34000, 8);
    release();
    map->RemoveObject(placed);
    EXPECT_EQ(map->placedObject, nullptr);
}

TEST_F(MapTest, ScrollToWithFitMovesTowardsTheNearestObjectsWhileAllStayInView) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    map->SetZoom(0.5f);
    // No objects: it only centres.
    map->ScrollTo({-3000, 2000}, true);
    const Base::Vector2 centred = map->scrollPos;
    map->ScrollTo({-3000, 2000}, false);
    EXPECT_EQ(map->scrollPos, centred);

    // One object too far to share the view with the point: the point stays centred.
    map->AddObject("Far", {14000, -14000}, "IconShip", 0xFFFFFFFF, false, false);
    map->ScrollTo({-3000, 2000}, true);
    EXPECT_EQ(map->scrollPos, centred);
    map->ClearObjects();

    // Near objects: the view moves half-way towards each in turn, nearest first, and every one taken
    // stays in view; the far one stops it.
    const Base::Vector2 near[] = {{-2000, 2000}, {-3000, 3500}, {-1000, 1000}};
    for (Base::Vector2 q : near)
        map->AddObject("Near", q, "IconCar", 0xFFFFFFFF, false, false);
    map->AddObject("Far", {14000, -14000}, "IconShip", 0xFFFFFFFF, false, false);
    map->ScrollTo({-3000, 2000}, true);
    for (Base::Vector2 q : near)
        EXPECT_TRUE(map->InView(q)) << q.x << ' ' << q.y;
    EXPECT_FALSE(map->InView({14000, -14000}));
    // The centre followed the midpoints: (-3000, 2000) -> (-2500, 2000) -> (-2750, 2750) -> (-1875, 1875).
    const Base::Vector2 at = map->WorldToMap({-1875, 1875});
    EXPECT_NEAR(at.x, MapWidth / 2.0f, 1.0f);
    EXPECT_NEAR(at.y, MapHeight / 2.0f, 1.0f);

    // FocusFirstObject centres the first object that can be focused, and the reset button asks for it.
    map->AddObject("Home", {5000, 5000}, "IconAirbase", 0xFFFFFFFF, false, true);
    map->ScrollTo({0, 0}, false);
    Gui::Button* reset = ButtonOf("ButtonReset");
    ASSERT_NE(reset, nullptr);
    reset->clickFrame = reset->updateFrame = ++Base::FrameClock::FrameCounter;
    map->Update(); // the children's update stamps the same frame
    const Base::Vector2 home = map->WorldToMap({5000, 5000});
    EXPECT_NEAR(home.x, MapWidth / 2.0f, 1e-3f);
    EXPECT_NEAR(home.y, MapHeight / 2.0f, 1e-3f);
}

TEST_F(MapTest, TheSampleTerrainsMapWithIconsAndRoute) {
    ASSERT_TRUE(LoadPage(MapKeys()));
    map->SetZoom(0.1f);
    Base::Info objects;
    ASSERT_EQ(
        objects.LoadText("#\n{\nName\tNorth Field\nPos\t-3500 5200\nTexture\tIconAirbase\nColor\t80 160 255\n"
                         "DrawLine\t1\nCanBeFocused\t1\n}\n"
                         "#\n{\nName\tTarget\nPos\t2000 -1000\nTexture\tIconWaypoint\nColor\t255 220 0\n"
                         "DrawLine\t1\n}\n"
                         "#\n{\nName\tSouth Field\nPos\t7800 -6400\nTexture\tIconAirbase\nColor\t255 60 60\n"
                         "DrawLine\t1\n}\n"
                         "#\n{\nName\tViper\nPos\t-1000 9000\nTexture\tIconFighter\nColor\t80 160 255\n}\n"
                         "#\n{\nName\tViper\nPos\t-1400 9100\nTexture\tIconFighter\nColor\t80 160 255\n}\n"
                         "#\n{\nName\tFrigate\nPos\t-13500 -2000\nTexture\tIconShip\nColor\t255 60 60\n}\n"
                         "#\n{\nName\tNo colour\nPos\t0 0\nTexture\tIconCar\n}\n"),
        0);
    map->LoadObjects(objects);
    ASSERT_EQ(map->objects.size(), 6u) << "the child without a colour is skipped";
    map->FocusFirstObject();
    map->ScrollTo({0, 0}, false);
    const Picture p = DrawMap("worldmap");

    // Every slice on screen arrived; sea slices are drawn in the water texture, land in its slice texture.
    for (const auto& [key, entry] : map->sliceCache) {
        if (entry.requested) {
            EXPECT_TRUE(entry.texture && entry.texture->texture);
        }
    }
    int land = 0, sea = 0, crosses = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const Base::Vector2 a = map->MapToScreen(map->SliceToMap(i, j));
            const Base::Vector2 b = map->MapToScreen(map->SliceToMap(i + 1, j + 1));
            // A point a quarter in from the slice's corner, away from the icons' rows.
            const uint32_t c = p.At(int(a.x + (b.x - a.x) * 0.25f), int(a.y + (b.y - a.y) * 0.25f));
            const int r = int(c >> 16 & 255), g = int(c >> 8 & 255), bl = int(c & 255);
            const bool landBit = map->landMask.Get(uint32_t(i), uint32_t(j));
            const bool waterBit = map->waterMask.Get(uint32_t(i), uint32_t(j));
            if (!landBit && waterBit) {
                EXPECT_GT(bl, r + 40) << "open sea " << i << ' ' << j;
                ++sea;
            } else if (landBit) {
                EXPECT_GT(r + g + bl, 60) << "land " << i << ' ' << j;
                ++land;
            }
        }
    EXPECT_GT(land, 20);
    EXPECT_GT(sea, 0);
    // No seam where two slice rows meet on a whole pixel (the map is centred, so the middle row is one).
    const Base::Vector2 border = map->MapToScreen(map->SliceToMap(0, 4));
    ASSERT_EQ(border.y, std::floor(border.y));
    const auto rowMean = [&](int y) {
        long sum = 0;
        for (int x = int(border.x); x < int(border.x) + 250; ++x)
            sum += p.Brightness(x, y);
        return double(sum) / 250;
    };
    const int seam = int(border.y);
    EXPECT_GT(rowMean(seam), 0.93 * std::min(rowMean(seam - 1), rowMean(seam + 1)));
    // Outside the terrain: grey crosses over the clear colour.
    const Base::Vector2 outside = map->MapToScreen(map->SliceToMap(-1, 3));
    const Base::Vector2 outsideEnd = map->MapToScreen(map->SliceToMap(0, 4));
    const int crossY = int((outside.y + outsideEnd.y) / 2);
    for (int x = std::max(0, int(outside.x)); x < int(outsideEnd.x); ++x)
        crosses += p.At(x, crossY) != 0;
    EXPECT_GT(crosses, 0);

    // The icons in their colours at their places, and the route between the three airfield points.
    const auto iconCentre = [&](Base::Vector2 world) {
        const Base::Vector2 s = map->MapToScreen(map->WorldToMap(world));
        return p.At(int(s.x), int(s.y));
    };
    EXPECT_EQ(iconCentre({-1000, 9000}) & 0xFFFF00, 0x50A000u) << "the fighter's white, tinted light blue";
    // The label of the two fighters: one "Viper (2)" in white beside them.
    const auto labels = map->MergeLabels();
    int vipers = 0;
    for (const auto& label : labels)
        vipers += label.name == "Viper" ? label.count : 0;
    EXPECT_EQ(vipers, 2);
    int white = 0;
    const Base::Vector2 label = map->MapToScreen(map->WorldToMap({-1200, 9050}));
    for (int y = int(label.y) + 6; y < int(label.y) + 24 && y < p.height; ++y)
        for (int x = int(label.x) + 6; x < int(label.x) + 70 && x < p.width; ++x)
            white += p.Brightness(x, y) > 700;
    EXPECT_GT(white, 10) << "the label's text";
    int route = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            route += p.At(x, y) == 0xFF008Cu;
    EXPECT_GT(route, 50);

    // With every texture there, the activity falls by 0.9 a second, except in the first 0.3 s of each half
    // second while it is still up, and not below 0.
    const double savedGameTime = Base::FrameClock::GameTime;
    struct Step {
        double now, frameTime;
        float expected;
    };
    const Step steps[] = {
        {0.4, 0.5, 0.55f}, {0.1, 0.5, 0.55f}, {1.35, 0.1, 0.46f}, {2.45, 10.0, 0.0f}, {3.1, 1.0, 0.0f}};
    map->activity = 1.0f;
    for (const Step& step : steps) {
        Base::FrameClock::GameTime = step.now;
        Base::FrameClock::FrameTime = step.frameTime;
        Begin();
        page->Draw();
        End("activity");
        EXPECT_NEAR(map->activity, step.expected, 1e-5f) << step.now;
    }
    Base::FrameClock::GameTime = savedGameTime;
}

} // namespace
