// The model preview on a started engine: its keys, the spin by the frame time (against GLM), the sample
// fighter drawn into the widget's part of the frame over what the interface drew before, cut to the screen
// and to the clip stack's top, and nothing drawn for a rect thinner than a pixel.
#include "DrawFixture.h"

#include "base/ClumpCache.h"
#include "base/FrameClock.h"
#include "base/Info.h"
#include "gui/ClipStack.h"
#include "gui/Desktop.h"
#include "gui/Model.h"
#include "gui/draw/ScreenDraw.h"
#include "rwsdk/src/engine.h"
#include "scene/ClumpFile.h"
#include "scene/Dff.h"
#include "tests/support/ClumpCache.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#define GLM_FORCE_DEPTH_ZERO_TO_ONE
#include <glm/gtc/matrix_transform.hpp>
#include <glm/mat4x4.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace {

using GuiTest::Draw;
using GuiTest::Height;
using GuiTest::InkBox;
using GuiTest::Picture;
using GuiTest::Width;

constexpr RwRGBA Background = {16, 24, 40, 255};
const char* const Fighter = "Data\\Models\\Airplanes\\F16.info";

class Preview : public Draw {
protected:
    void SetUp() override {
        Draw::SetUp();
        RwImageSetPath("Data\\Textures\\;Data\\Textures2\\");
        Base::ClumpCache::Directory = "Data\\Models\\";
        Rw::InstallClumpCache();
        savedFrameTime = Base::FrameClock::FrameTime;
        Base::FrameClock::FrameTime = 0;
    }
    void TearDown() override {
        preview.reset();
        Base::FrameClock::FrameTime = savedFrameTime;
        TestSupport::RemoveClumpCache();
        Draw::TearDown();
    }

    // The fighter in a fresh preview, not spinning.
    Gui::ModelBase& MakeFighter() {
        preview = std::make_unique<Gui::ModelBase>();
        EXPECT_TRUE(preview->SetModel(Fighter));
        preview->rotationVelocity = {0, 0, 0};
        return *preview;
    }

    // The frame with the preview drawn into rect (screen pixels), inside the test's camera update.
    Picture DrawInto(const Gui::Rect& rect, const char* name) {
        Begin(Background);
        preview->Draw(nullptr, rect);
        EXPECT_EQ(RwEngineInstance->curCamera, camera) << "the main camera's update is running again";
        return End(name);
    }

    // The box of pixels that differ from the background.
    static InkBox Changed(const Picture& p) {
        InkBox box;
        const uint32_t background =
            uint32_t(Background.red) << 16 | uint32_t(Background.green) << 8 | uint32_t(Background.blue);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                if (p.At(x, y) != background) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x);
                    box.bottom = std::max(box.bottom, y);
                }
        return box;
    }

    std::unique_ptr<Gui::ModelBase> preview;
    double savedFrameTime = 0;
};

TEST_F(Preview, KeysKeepTheirValuesWhenMissingAndTheLightDirectionIsNormalised) {
    Gui::ModelBase model;
    Base::Info node;
    ASSERT_EQ(node.LoadText("ModelCameraOffset\t1 2 3\nModelAmbLightColor\t0.1 0.2 0.3\n"
                            "ModelDirLightColor\t0.5 0.6 0.7 0.8\nModelRotVel\tnot numbers\n"),
              0);
    EXPECT_TRUE(model.Load(node));
    EXPECT_EQ(model.cameraOffset, (Base::Vector3{1, 2, 3}));
    EXPECT_FLOAT_EQ(model.viewAngle, float(Base::Pi) / 4) << "a missing view angle keeps 45 degrees";
    EXPECT_EQ(model.ambientColor, (Base::Color{0.1f, 0.2f, 0.3f, 1.0f})) << "alpha 1 when missing";
    EXPECT_EQ(model.dirLightColor, (Base::Color{0.5f, 0.6f, 0.7f, 0.8f}));
    EXPECT_EQ(model.rotationVelocity, (Base::Vector3{0, 0.5f, 0})) << "an unparsable value keeps the default";
    const Base::Vector3& d = model.dirLightDir;
    EXPECT_NEAR(d.x * d.x + d.y * d.y + d.z * d.z, 1.0f, 1e-6f) << "normalised though the key is missing";
    EXPECT_EQ(model.model, nullptr);

    Base::Info more;
    ASSERT_EQ(more.LoadText("ModelViewAngle\t60\nModelDirLightDir\t0 -3 4\n"), 0);
    model.Load(more);
    EXPECT_FLOAT_EQ(model.viewAngle, 60.0f * float(Base::Pi) / 180.0f);
    EXPECT_NEAR(model.dirLightDir.y, -0.6f, 1e-6f);
    EXPECT_NEAR(model.dirLightDir.z, 0.8f, 1e-6f);
}

TEST_F(Preview, AModelThatCannotBeLoadedShowsNothingButTheWidgetLoads) {
    Gui::Model widget;
    Base::Info node;
    ASSERT_EQ(node.LoadText("Rect\t0 0 100 100\nModelDff\tData\\Models\\NoSuchModel.info\n"), 0);
    EXPECT_TRUE(widget.Load("Preview", node));
    EXPECT_EQ(widget.model, nullptr);
    EXPECT_EQ(widget.modelName, "Data\\Models\\NoSuchModel.info");
    EXPECT_FALSE(widget.SetModel("Data\\Models\\NoSuchModel.info"));
    EXPECT_TRUE(widget.SetModel(Fighter));
    ASSERT_NE(widget.model, nullptr);
    EXPECT_TRUE(widget.SetModel({})) << "an empty name only removes the model";
    EXPECT_EQ(widget.model, nullptr);
}

TEST_F(Preview, TheSpinFollowsTheFrameTimeAboutTheModelsOwnPosition) {
    Gui::ModelBase& model = MakeFighter();
    RwMatrix place;
    RwMatrixSetIdentity(&place);
    place.pos = {5, -2, 3};
    RwMatrixUpdate(&place);
    model.model->Transform(&place, rwCOMBINEREPLACE);

    struct Case {
        Base::Vector3 velocity;
        double frameTime;
    };
    const Case cases[] = {
        {{0, 3.14159f, 0}, 1.0}, {{0.3f, 0.4f, 0}, 0.5}, {{0, 0, 0}, 2.0}, {{0, 0, -2}, 0.1}};
    for (const Case& c : cases) {
        model.rotationVelocity = c.velocity;
        Base::FrameClock::FrameTime = c.frameTime;
        const RwMatrix before = *RwFrameGetMatrix(model.model->frame);
        // Also while nothing can be drawn: the spin comes first.
        Begin(Background);
        model.Draw(nullptr, {-50, -50, -10, -10});
        End("spin");

        // GLM, column vectors: p' = T(pos) R T(-pos) p, applied after the old placement.
        const float speed = std::sqrt(c.velocity.x * c.velocity.x + c.velocity.y * c.velocity.y +
                                      c.velocity.z * c.velocity.z);
        glm::mat4 expected(1.0f);
        const glm::mat4 old(before.right.x, before.right.y, before.right.z, 0, before.up.x, before.up.y,
                            before.up.z, 0, before.at.x, before.at.y, before.at.z, 0, before.pos.x,
                            before.pos.y, before.pos.z, 1);
        if (speed > 0) {
            const glm::vec3 axis(c.velocity.x / speed, c.velocity.y / speed, c.velocity.z / speed);
            const glm::vec3 pivot(before.pos.x, before.pos.y, before.pos.z);
            expected = glm::translate(glm::mat4(1.0f), pivot) *
                       glm::rotate(glm::mat4(1.0f), float(speed * c.frameTime), axis) *
                       glm::translate(glm::mat4(1.0f), -pivot);
        }
        expected = expected * old;
        const RwMatrix* after = RwFrameGetMatrix(model.model->frame);
        const RwV3d* rows[4] = {&after->right, &after->up, &after->at, &after->pos};
        for (int column = 0; column < 4; ++column) {
            EXPECT_NEAR(rows[column]->x, expected[column][0], 1e-4f) << column << " speed " << speed;
            EXPECT_NEAR(rows[column]->y, expected[column][1], 1e-4f) << column << " speed " << speed;
            EXPECT_NEAR(rows[column]->z, expected[column][2], 1e-4f) << column << " speed " << speed;
        }
    }
    // Half a turn a second about the vertical: the nose points the other way after a second.
    EXPECT_NEAR(RwFrameGetMatrix(model.model->frame)->pos.x, 5.0f, 1e-4f);
}

TEST_F(Preview, TheFighterIsDrawnInsideTheWidgetOverTheInterface) {
    MakeFighter();
    Begin(Background);
    // The interface drawn so far: a grey panel under the widget's corner stays behind the model.
    Gui::ScreenPoint panel[2];
    panel[0].x = 60;
    panel[0].y = 40;
    panel[1].x = 80;
    panel[1].y = 60;
    panel[0].colour = panel[1].colour = {128, 128, 128, 255};
    Gui::DrawQuads(panel, 2, nullptr, 1);
    preview->Draw(nullptr, {64, 48, 192, 144});
    const Picture p = End("preview_fighter");

    const InkBox box = Changed(p);
    ASSERT_FALSE(box.Empty()) << "the fighter was drawn";
    // The panel outside the widget, and the widget's corner, which the fighter does not reach.
    EXPECT_EQ(p.At(62, 42), 0x808080u);
    EXPECT_EQ(p.At(66, 50), 0x808080u) << "only depth is cleared under the widget";
    // Nothing of the model outside the widget's rect.
    const InkBox model = Ink(p, 81, 61, Width, Height, 0);
    int outside = 0;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const bool inWidget = x >= 64 && x < 192 && y >= 48 && y < 144;
            const bool inPanel = x >= 60 && x < 80 && y >= 40 && y < 60;
            if (!inWidget && !inPanel && p.At(x, y) != 0x101828u)
                ++outside;
        }
    EXPECT_EQ(outside, 0);
    // The fighter fills a good part of the widget around its centre, lit (not black).
    EXPECT_FALSE(model.Empty());
    int lit = 0, covered = 0;
    for (int y = 48; y < 144; ++y)
        for (int x = 64; x < 192; ++x) {
            if (p.At(x, y) == 0x101828u || (x < 80 && y < 60))
                continue;
            ++covered;
            lit += p.Brightness(x, y) > 150;
        }
    EXPECT_GT(covered, 128 * 96 / 10);
    EXPECT_GT(lit, covered / 2);
    EXPECT_NE(p.At(128, 96), 0x101828u) << "the centre of the widget shows the fighter";
}

TEST_F(Preview, AWidgetPartlyOffTheScreenOrClippedDrawsIntoTheVisiblePartOnly) {
    MakeFighter();
    // Partly off the left edge: the preview gets the visible part of the rect.
    InkBox box = Changed(DrawInto({-64, 48, 64, 144}, "preview_left_edge"));
    ASSERT_FALSE(box.Empty());
    EXPECT_GE(box.left, 0);
    EXPECT_LT(box.right, 64);
    EXPECT_GE(box.top, 48);
    EXPECT_LT(box.bottom, 144);

    // Off the bottom right too.
    box = Changed(DrawInto({Width - 40.0f, Height - 30.0f, Width + 90.0f, Height + 70.0f}, "preview_corner"));
    ASSERT_FALSE(box.Empty());
    EXPECT_GE(box.left, Width - 40);
    EXPECT_GE(box.top, Height - 30);

    // Inside a clipped panel: the scissor rect of the clip stack's top cuts it.
    const Gui::Rect clip = {0, 0, 128, 96};
    Gui::PushClipRect(&clip, false);
    box = Changed(DrawInto({64, 48, 192, 144}, "preview_clipped"));
    Gui::PopClipRect();
    ASSERT_FALSE(box.Empty());
    EXPECT_LT(box.right, 128);
    EXPECT_LT(box.bottom, 96);
    EXPECT_GE(box.left, 64);
    EXPECT_GE(box.top, 48);

    // And the scissor test is off again once the clip stack is empty.
    box = Changed(DrawInto({64, 48, 192, 144}, "preview_unclipped"));
    EXPECT_GT(box.right, 128);
}

TEST_F(Preview, TheWidgetDrawsOverItsRectAsTheDesktopMapsItToTheScreen) {
    // A 512 x 384 desktop on the 256 x 192 screen: the widget's virtual rect is halved.
    Gui::Desktop page;
    page.screenRect = {0, 0, float(Width), float(Height)};
    Base::Info info;
    ASSERT_EQ(info.LoadText(std::string("DesktopRect 0 0 512 384\nWidgets\n{\nPreview Model\n{\n"
                                        "Rect 128 96 r256 r192\nModelRotVel 0 0 0\nModelDff ") +
                            "Data\\Models\\Airplanes\\F16.info\n}\n}\n"),
              0);
    ASSERT_TRUE(page.Load(info));
    auto* widget = page.Find<Gui::Model>("Preview", false);
    ASSERT_NE(widget, nullptr);
    ASSERT_NE(widget->model, nullptr);
    Begin(Background);
    page.Draw();
    const InkBox box = Changed(End("preview_desktop"));
    ASSERT_FALSE(box.Empty());
    EXPECT_GE(box.left, 64);
    EXPECT_LT(box.right, 192);
    EXPECT_GE(box.top, 48);
    EXPECT_LT(box.bottom, 144);
    EXPECT_GT(box.right - box.left, 40) << "the fighter fills a good part of the widget's width";
}

TEST_F(Preview, NothingIsDrawnForARectThinnerThanAPixelOrOffTheScreen) {
    MakeFighter();
    const Gui::Rect rects[] = {
        {100, 20, 100.5f, 180},          // half a pixel wide
        {20, 100, 230, 100.9f},          // not a pixel high
        {-120, 20, -10, 180},            // off the left edge
        {float(Width) + 1, 20, 400, 90}, // off the right edge
        {20, -60, 200, 0.5f},            // half a pixel left at the top
    };
    for (const Gui::Rect& r : rects) {
        const InkBox box = Changed(DrawInto(r, "preview_nothing"));
        EXPECT_TRUE(box.Empty()) << r.left << ' ' << r.top << ' ' << r.right << ' ' << r.bottom;
    }
}

// Every sample model, drawn by the preview in a cell of its own as a contact sheet: each description under
// Data/Models that names a model, and the models that only the generated scenery places (trees, houses)
// through a description written here; a level of detail's model is drawn by its model's description. Each
// must show up in its cell, lit, and stay inside it. With GUI_TEST_IMAGES set the sheet is written as
// sample_models.ppm: a look at the whole set.
class SampleModelSheet : public Preview {
protected:
    static constexpr int Columns = 6, Rows = 5, CellWidth = 128, CellHeight = 112;
    SampleModelSheet() {
        windowWidth = Columns * CellWidth;
        windowHeight = Rows * CellHeight;
    }
};

TEST_F(SampleModelSheet, EverySampleModelIsDrawnLitInItsCell) {
    namespace fs = std::filesystem;
    TestSupport::TempDir scratch("corvane-models");
    // Model file (as the descriptions name it) -> the description that draws it.
    std::map<std::string, std::string> models;
    std::vector<std::string> files;
    std::set<std::string> levels;
    for (const auto& entry : fs::recursive_directory_iterator("Data/Models")) {
        const fs::path& path = entry.path();
        const std::string name = fs::relative(path, "Data/Models").string();
        if (path.extension() == ".dff") {
            files.push_back(name);
        } else if (path.extension() == ".info" || path.extension() == ".model") {
            const Base::Info info = Base::Info::ConstructFromFile(path.string());
            Base::String dff;
            if (info.TryGetString("Dff", dff))
                models.emplace(std::string(dff.c_str()), path.string());
            if (const Base::Info* orders = info.GetChild("RenderOrders"))
                for (const auto& order : orders->GetChildren())
                    if (const Base::Info* lods = order.second->GetChild("Lods"))
                        for (const auto& level : lods->GetChildren())
                            if (level.second->TryGetString("Dff", dff))
                                levels.insert(std::string(dff.c_str()));
        }
    }
    for (std::string name : files) {
        std::replace(name.begin(), name.end(), '/', '\\');
        if (models.count(name) || levels.count(name))
            continue;
        const fs::path description = scratch / (std::to_string(models.size()) + ".info");
        std::ofstream(description) << "Dff\t" << name
                                   << "\nRenderOrders\n{\n128\n{\nLods\n{\n0\n{\nThreshold\t100000\n"
                                      "Commands\n{\n#\tRenderAtomics\n}\n}\n}\n}\n}\n";
        models.emplace(name, description.string());
    }
    ASSERT_GE(models.size(), 20u) << "the sample data is built";
    ASSERT_LE(models.size(), size_t(Columns * Rows)) << "the sheet has a cell for each";

    std::vector<Gui::Rect> cells;
    Begin(Background);
    for (const auto& [dff, description] : models) {
        const int k = int(cells.size());
        const float left = float(k % Columns * CellWidth), top = float(k / Columns * CellHeight);
        cells.push_back({left + 2, top + 2, left + CellWidth - 2, top + CellHeight - 2});
        preview = std::make_unique<Gui::ModelBase>();
        ASSERT_TRUE(preview->SetModel(description)) << dff;
        // Seen from higher than the preview's default, so that flat models (runways, decks) show, and
        // turned to show a front quarter: a draw turns it by the frame time.
        preview->cameraOffset = {0, 0.9f, -1.3f};
        preview->rotationVelocity = {0, 1, 0};
        Base::FrameClock::FrameTime = 2.4;
        preview->Draw(nullptr, cells.back());
        Base::FrameClock::FrameTime = 0;
    }
    const Picture p = End("sample_models");

    std::vector<int> owner(size_t(p.width) * size_t(p.height), -1);
    for (size_t k = 0; k < cells.size(); ++k)
        for (int y = int(cells[k].top); y < int(cells[k].bottom); ++y)
            for (int x = int(cells[k].left); x < int(cells[k].right); ++x)
                owner[size_t(y) * size_t(p.width) + size_t(x)] = int(k);
    std::vector<int> covered(cells.size()), lit(cells.size());
    int outside = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            if (p.At(x, y) == 0x101828u)
                continue;
            const int k = owner[size_t(y) * size_t(p.width) + size_t(x)];
            if (k < 0) {
                ++outside;
                continue;
            }
            ++covered[size_t(k)];
            lit[size_t(k)] += p.Brightness(x, y) > 90;
        }
    EXPECT_EQ(outside, 0) << "every model stays in its cell";
    size_t k = 0;
    for (const auto& [dff, description] : models) {
        const int area = int((cells[k].right - cells[k].left) * (cells[k].bottom - cells[k].top));
        EXPECT_GT(covered[k], area / 200) << dff << " is drawn"; // a runway is a thin line
        EXPECT_GT(lit[k], covered[k] / 4) << dff << " is lit";
        ++k;
    }
}

} // namespace
