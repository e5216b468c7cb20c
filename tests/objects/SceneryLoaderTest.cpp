// The scenery loader on a data tree made per test: the scenery's own files and "Bases.info", the values it
// writes from the settings, the order of the airbases on the ground, and the bases and files it cannot use.
#include "tests/objects/TerrainFixture.h"
#include "tests/scene/SceneFixture.h"
#include "tests/support/TempDir.h"

#include "objects/AutoGen.h"
#include "objects/Clouds.h"
#include "objects/LoadScenery.h"
#include "objects/Sky.h"
#include "objects/Structure.h"
#include "objects/Terrain.h"
#include "scene/ClumpFile.h"
#include "scene/World.h"

#include "base/ClumpCache.h"
#include "base/String.h"
#include "base/TextTable.h"
#include "rwsdk/src/baimage.h"
#include "rwsdk/src/frame.h"
#include "rwsdk/tool/png/rtpng.h"
#include "tests/support/ClumpCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

const char* SkyText = "VisibilityRange 12000\nDomeLongTessel 8\nDomeLatTessel 4\nTopHiAltColor 0 0 0.3\n"
                      "TopLoAltColor 0.2 0.4 0.8\nHorizonColor 0.7 0.8 0.9\nHiAltLevel 9000\nStarsCount 10\n"
                      "StarsFade 20000 6000\nLightAmbientColor 0.3 0.3 0.3\nLightDiffuseColor 1 1 1\n"
                      "LightDirection 0 -1 0\n";
const char* CloudsText =
    "VisibilityRange 12000\nAltitude 2500\nDensity 0.5\nSectorsSpan 2 2\nSectorSize 2048\n"
    "BottomRightPos -2048 -2048\nCloudsSpan 700\nCloudMaxSize 300\nMaxParticlesPerCloud 8\n"
    "LightAmbientColor 0.5 0.5 0.5\nLightDiffuseColor 1 1 1\nLightDirection 0 -1 0\n";

class SceneryLoader : public SceneEngine {
protected:
    void SetUp() override {
        SceneEngine::SetUp();
        scratch = std::make_unique<TestSupport::TempDir>("scenery");
        data = scratch->path;
        Base::Info strings;
        strings.AddValue("DataDir", data.string());
        Base::TextTable = strings;
        RwImageRegisterImageFormat("png", RtPNGImageRead, RtPNGImageWrite);
        RwImageSetPath((data.string() + "/").c_str());
        Base::ClumpCache::Directory = std::string(CORVANE_BINARY_DIR) + "/data/Data/Models\\";
        Rw::InstallClumpCache();
        WriteTerrainImages();
    }
    void TearDown() override {
        world.reset();
        TestSupport::RemoveClumpCache();
        Base::TextTable = Base::Info();
        SceneEngine::TearDown();
        scratch.reset();
    }

    void Write(const std::string& name, const std::string& text) const { std::ofstream(data / name) << text; }

    void WritePng(const std::string& name, int width, int height, uint8_t (*value)(int column, int row)) {
        RwImage* image = RwImageCreate(width, height, 32);
        ASSERT_NE(image, nullptr);
        RwImageAllocatePixels(image);
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c) {
                uint8_t* p = image->pixels + r * image->stride + c * 4;
                p[0] = p[1] = p[2] = value(c, r);
                p[3] = 255;
            }
        ASSERT_NE(RtPNGImageWrite(image, (data / name).string().c_str()), nullptr);
        RwImageDestroy(image);
    }

    // A 4 x 4 km terrain (65 x 65 samples) read through a flip of both axes: x > 0 stands at 360, x < 0 at
    // 120; every slice is land.
    void WriteTerrainImages() {
        WritePng("Height.png", 65, 65, [](int c, int) -> uint8_t { return c < 32 ? 60 : 20; });
        WritePng("Land.png", 4, 4, [](int, int) -> uint8_t { return 255; });
        WritePng("Water.png", 4, 4, [](int, int) -> uint8_t { return 0; });
    }

    void WriteScenery(int number) {
        const std::string n = std::to_string(number);
        Write("Sky" + n + ".info", SkyText);
        Write("Clouds" + n + ".info", CloudsText);
        Write("Terrain" + n + ".info", TerrainFixture::Keys{}.Text());
        Write("Autogen" + n + ".info", "SectorSize 512\n");
    }

    void Load(int number) {
        world = std::make_unique<Grp::World>();
        Obj::LoadScenery(settings, *world, number);
    }

    // The world's airbases in the order they were added.
    std::vector<Obj::Airbase*> Airbases() const {
        std::vector<Obj::Airbase*> out;
        world->ForEach([&](Obj::Object* object) {
            if (auto* base = dynamic_cast<Obj::Airbase*>(object))
                out.insert(out.begin(), base);
        });
        return out;
    }
    template <class T> size_t Count() const {
        size_t count = 0;
        world->ForEach([&](Obj::Object* object) { count += dynamic_cast<T*>(object) != nullptr; });
        return count;
    }

    std::unique_ptr<TestSupport::TempDir> scratch;
    fs::path data;
    Base::Config settings;
    std::unique_ptr<Grp::World> world;
};

TEST(SceneryValues, ViewRangeAndDensityClamp) {
    const struct { float visibility, range; } ranges[] = {{0, 30000}, {0.75f, 82500}, {1, 100000}};
    for (const auto& r : ranges)
        EXPECT_FLOAT_EQ(Obj::SceneryViewRange(r.visibility), r.range) << r.visibility;
    const struct {
        float density, written;
    } densities[] = {{1.5f, 1}, {1, 1}, {-0.2f, 0}, {0, 0}, {0.3f, 0.3f}};
    for (const auto& d : densities)
        EXPECT_FLOAT_EQ(Obj::ClampSceneryDensity(d.density), d.written) << d.density;
}

// Written as the descriptions write numbers: six significant digits, never an exponent below a million.
TEST(SceneryValues, WrittenWithSixSignificantDigits) {
    const struct {
        float value;
        const char* text;
    } cases[] = {{82500, "82500"}, {100000, "100000"}, {30000, "30000"},           {0.3f, "0.3"},
                 {1, "1"},         {0, "0"},           {0.123456789f, "0.123457"}, {38641.99f, "38642"}};
    for (const auto& c : cases)
        EXPECT_EQ(Obj::SceneryValueText(c.value), c.text) << c.value;
}

TEST_F(SceneryLoader, ReadsItsOwnNumberedFilesAndOverridesTheViewRange) {
    WriteScenery(3);
    Load(3);
    ASSERT_NE(world->sky, nullptr);
    ASSERT_NE(world->clouds, nullptr);
    ASSERT_NE(world->terrain, nullptr);
    EXPECT_TRUE(world->sky->IsLoaded()) << world->sky->Error();
    EXPECT_TRUE(world->clouds->IsLoaded()) << world->clouds->Error();
    EXPECT_TRUE(world->terrain->IsLoaded()) << world->terrain->Error();
    EXPECT_EQ(Count<Obj::AutoGen>(), 1u);
    // The files say 12000 and 20000: the settings' view range replaces them.
    EXPECT_FLOAT_EQ(world->sky->VisibilityRange(), 82500);
    EXPECT_FLOAT_EQ(world->clouds->VisibilityRange(), 82500);
    EXPECT_FLOAT_EQ(world->terrain->GetDescription().visibilityRange, 82500);
    // The scenery roles are in the world's groups.
    EXPECT_EQ(world->terrain->Obj::Renderable::group, world->renderables.get());
    EXPECT_EQ(world->terrain->Obj::Static::group, world->statics.get());
    EXPECT_EQ(world->sky->Obj::Renderable::group, world->renderables.get());

    world.reset();
    settings.visibility = 0;
    Load(3);
    EXPECT_FLOAT_EQ(world->sky->VisibilityRange(), 30000);
    // A range of more digits is written to six of them, and read back as written.
    world.reset();
    settings.visibility = 0.123456789f;
    Load(3);
    EXPECT_EQ(world->sky->VisibilityRange(), 38642.0f);
    EXPECT_EQ(world->clouds->VisibilityRange(), 38642.0f);
    EXPECT_EQ(world->terrain->GetDescription().visibilityRange, 38642.0f);
    // Another number reads other files: none here, so nothing loads.
    world.reset();
    Load(1);
    EXPECT_FALSE(world->sky->IsLoaded());
}

TEST_F(SceneryLoader, CloudsDensityComesFromTheSettings) {
    WriteScenery(1);
    settings.cloudsDensity = 0;
    Load(1);
    ASSERT_TRUE(world->clouds->IsLoaded()) << world->clouds->Error();
    EXPECT_EQ(world->clouds->CloudCount(), 0u);
    world.reset();
    settings.cloudsDensity = 1;
    Load(1);
    ASSERT_TRUE(world->clouds->IsLoaded()) << world->clouds->Error();
    EXPECT_GT(world->clouds->CloudCount(), 0u);
}

TEST_F(SceneryLoader, AirbasesInKeyOrderOnTheGround) {
    WriteScenery(1);
    Write("Bases.info", "Zulu\n{\n\tPos -1000 500\n}\nAlpha\n{\n\tName North Field\n\tPos 1000 -300\n}\n");
    Load(1);
    const std::vector<Obj::Airbase*> bases = Airbases();
    ASSERT_EQ(bases.size(), 2u);
    EXPECT_EQ(bases[0]->name, "North Field");
    EXPECT_EQ(bases[1]->name, ""); // no "Name": empty, not the model's "Airbase"
    const RwV3d& a = RwFrameGetWorldMatrix(bases[0]->Rw::Frame::frame)->pos;
    const RwV3d& z = RwFrameGetWorldMatrix(bases[1]->Rw::Frame::frame)->pos;
    EXPECT_NEAR(a.x, 1000, 0.01);
    EXPECT_NEAR(a.y, 360, 0.01);
    EXPECT_NEAR(a.z, -300, 0.01);
    EXPECT_NEAR(z.x, -1000, 0.01);
    EXPECT_NEAR(z.y, 120, 0.01);
    EXPECT_NEAR(z.z, 500, 0.01);
    EXPECT_NE(bases[0]->FindRunway("09"), nullptr);
    EXPECT_EQ(bases[0]->Obj::Static::group, world->statics.get());
}

TEST_F(SceneryLoader, BasesThatCannotStandAreLeftOut) {
    WriteScenery(1);
    Write("Bases.info", "A\n{\n\tPos 50000 0\n}\nB\n{\n\tName NoPos\n}\nC\n{\n\tPos 100 100\n}\n");
    Load(1);
    const std::vector<Obj::Airbase*> bases = Airbases();
    ASSERT_EQ(bases.size(), 1u); // off the terrain and without "Pos": skipped
    EXPECT_NEAR(RwFrameGetWorldMatrix(bases[0]->Rw::Frame::frame)->pos.y, 360, 0.01);

    // A model that does not load: no base at all, the rest of the scenery is there.
    world.reset();
    Write("Base.model", "Dff\tMissing.dff\n");
    Base::ClumpCache::Directory = data.string() + "\\";
    Load(1);
    EXPECT_TRUE(Airbases().empty());
    EXPECT_TRUE(world->terrain->IsLoaded());
}

TEST_F(SceneryLoader, MissingFilesGiveInertObjects) {
    Write("Bases.info", "A\n{\n\tPos 0 0\n}\n");
    ::testing::internal::CaptureStderr();
    Load(1);
    // Each file the scenery is built without is named.
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (const char* name : {"Sky1", "Clouds1", "Terrain1", "Autogen1"})
        EXPECT_NE(said.find("Cannot read the scenery file '" + Base::MakePath(data.string(), name, "info") +
                            "'.\n"),
                  std::string::npos)
            << name << ": " << said;
    EXPECT_EQ(said.find("Bases.info'"), std::string::npos) << said; // it is there
    ASSERT_NE(world->sky, nullptr);
    ASSERT_NE(world->clouds, nullptr);
    ASSERT_NE(world->terrain, nullptr);
    EXPECT_FALSE(world->sky->IsLoaded());
    EXPECT_FALSE(world->clouds->IsLoaded());
    EXPECT_FALSE(world->terrain->IsLoaded());
    EXPECT_EQ(Count<Obj::AutoGen>(), 1u);
    // No ground to stand on.
    EXPECT_TRUE(Airbases().empty());
    RwLine down{{0, 100, 0}, {0, -100, 0}};
    EXPECT_FALSE(world->terrain->IntersectSegment(&down, nullptr, nullptr));
    world->Clear();
    EXPECT_EQ(world->sky, nullptr);
    EXPECT_EQ(world->terrain, nullptr);
}

// A damaged file is named with the line where it broke; the scenery keeps what came before it.
TEST_F(SceneryLoader, DamagedFilesAreNamedWithTheirLine) {
    WriteScenery(1);
    Write("Clouds1.info", std::string(CloudsText) + "}\n");
    Write("Bases.info", "A\n{\n\tPos 100 100\n");
    ::testing::internal::CaptureStderr();
    Load(1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const auto line = [&](const char* name, const char* extension) {
        const std::string text =
            "Error in the scenery file '" + Base::MakePath(data.string(), name, extension) + "' at line ";
        const size_t at = said.find(text);
        return at == std::string::npos ? 0 : std::atoi(said.c_str() + at + text.size());
    };
    EXPECT_EQ(line("Clouds1", "info"),
              int(std::count(CloudsText, CloudsText + std::strlen(CloudsText), '\n')) + 1)
        << said;
    EXPECT_GT(line("Bases", "info"), 0) << said;
    EXPECT_EQ(said.find("Sky1"), std::string::npos) << said;
    EXPECT_TRUE(world->terrain->IsLoaded());

    // A file that reads but describes nothing usable is named with the key at fault.
    world.reset();
    Write("Sky1.info", "Noise 1\n");
    Write("Clouds1.info", CloudsText);
    ::testing::internal::CaptureStderr();
    Load(1);
    const std::string unusable = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(unusable.find("The scenery file '" + Base::MakePath(data.string(), "Sky1", "info") +
                            "' is not usable: sky: \"DomeLongTessel\" is missing or below 3.\n"),
              std::string::npos)
        << unusable;
    EXPECT_EQ(unusable.find("Clouds1"), std::string::npos) << unusable;
    EXPECT_FALSE(world->sky->IsLoaded());
}

// Each fault is told on one line that names the file and the key, and nothing that merely follows from it
// is told again (the bases that a terrain failure leaves without ground, each base of a damaged model).
TEST_F(SceneryLoader, EachFaultIsOneLineNamingItsFileAndKey) {
    const std::string autogen =
        "VisibilityRange 3000\nSectorsSpan 4 4\nSectorSize 1000\nObjectsSpan 8\nObjectSets\n{\n\tA\n\t{\n"
        "\t\tModels\n\t\t{\n\t\t\t1 Tree1.dff\n\t\t}\n\t\tMap Density.png\n\t}\n}\n";
    WritePng("Density.png", 4, 4, [](int, int) -> uint8_t { return 200; });
    const auto replaced = [](std::string text, const std::string& key, const std::string& value) {
        const size_t at = text.find(key + " ");
        text.replace(at, text.find('\n', at) - at, key + " " + value);
        return text;
    };
    const std::string terrain = TerrainFixture::Keys{}.Text();
    struct Case {
        const char* what;
        const char* file;
        std::string text;
        const char* key; // named in the one line
    };
    const Case cases[] = {
        {"no fault", nullptr, "", nullptr},
        {"water frames 4294967295", "Terrain1", replaced(terrain, "WaterAnimFramesCount", "4294967295"),
         "\"WaterAnimFramesCount\""},
        {"slice vertices 1e38", "Terrain1", replaced(terrain, "SliceVerticesSpan", "1e38"),
         "\"SliceVerticesSpan\""},
        {"empty generated scenery", "Autogen1", "", "\"SectorsSpan\""},
        {"sector size 0", "Autogen1", replaced(autogen, "SectorSize", "0"), "\"SectorSize\""},
        {"objects span 0", "Autogen1", replaced(autogen, "ObjectsSpan", "0"), "\"ObjectsSpan\""},
        {"density nan", "Autogen1", autogen.substr(0, autogen.size() - 5) + "\t\tDensityFactor nan\n\t}\n}\n",
         "\"DensityFactor\""},
        {"rotation 360", "Autogen1", autogen.substr(0, autogen.size() - 5) + "\t\tRotateEvery 360\n\t}\n}\n",
         "\"RotateEvery\""},
        {"cut before its end", "Autogen1", autogen.substr(0, autogen.size() - 2), "at line "},
    };
    size_t baseline = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteScenery(1);
        Write("Autogen1.info", autogen);
        Write("Bases.info", "A\n{\n\tPos 100 100\n}\nB\n{\n\tPos -100 100\n}\n");
        if (c.file)
            Write(std::string(c.file) + ".info", c.text);
        ::testing::internal::CaptureStderr();
        Load(1);
        const std::string said = ::testing::internal::GetCapturedStderr();
        const size_t lines = size_t(std::count(said.begin(), said.end(), '\n'));
        if (!c.file) {
            baseline = lines;
            EXPECT_EQ(Airbases().size(), 2u);
            world.reset();
            continue;
        }
        EXPECT_EQ(lines, baseline + 1) << said;
        EXPECT_NE(said.find(Base::MakePath(data.string(), c.file, "info")), std::string::npos) << said;
        EXPECT_NE(said.find(c.key), std::string::npos) << said;
        EXPECT_EQ(said.find("Bases.info"), std::string::npos) << said;
        world.reset();
    }

    // A damaged base model is told once for all the bases, with its line.
    WriteScenery(1);
    Write("Autogen1.info", autogen);
    Write("Bases.info", "A\n{\n\tPos 100 100\n}\nB\n{\n\tPos -100 100\n}\n");
    const fs::path models = fs::path(CORVANE_BINARY_DIR) / "data/Data/Models";
    fs::copy_file(models / "Base.dff", data / "Base.dff");
    std::ifstream in(models / "Base.model");
    const std::string model{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Write("Base.model", model);
    Base::ClumpCache::Directory = data.string() + "\\";
    ::testing::internal::CaptureStderr();
    Load(1);
    const std::string sound = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(Airbases().size(), 2u) << sound;
    world.reset();
    Write("Base.model", model + "}\n");
    ::testing::internal::CaptureStderr();
    Load(1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), std::count(sound.begin(), sound.end(), '\n') + 1)
        << said;
    const int line = int(std::count(model.begin(), model.end(), '\n')) + 1;
    EXPECT_NE(said.find("Base.model' at line " + std::to_string(line) + "."), std::string::npos) << said;
}

// A fifo in a file's place is refused by the file layer with its reason; the loader does not say it again.
TEST_F(SceneryLoader, APathThatIsNoFileIsToldOnce) {
    WriteScenery(1);
    fs::remove(data / "Sky1.info");
    ASSERT_EQ(mkfifo((data / "Sky1.info").c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    Load(1);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string name = Base::MakePath(data.string(), "Sky1", "info");
    const size_t first = said.find(name);
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(name, first + 1), std::string::npos) << said;
    EXPECT_NE(said.find("it is not a regular file"), std::string::npos) << said;
    EXPECT_FALSE(world->sky->IsLoaded());
}

TEST_F(SceneryLoader, GeneratedSceneryDensityIsClamped) {
    WriteScenery(1);
    const struct { float density, written; } cases[] = {{1.5f, 1}, {-0.2f, 0}, {0.3f, 0.3f}};
    for (const auto& c : cases) {
        settings.autogenDensity = c.density;
        Load(1);
        Obj::AutoGen* autogen = nullptr;
        world->ForEach([&](Obj::Object* object) {
            if (auto* found = dynamic_cast<Obj::AutoGen*>(object))
                autogen = found;
        });
        ASSERT_NE(autogen, nullptr);
        EXPECT_FLOAT_EQ(autogen->globalDensity, c.written) << c.density;
        world.reset();
    }
}

TEST_F(SceneryLoader, SceneryLeavesItsGroupsWithTheWorld) {
    WriteScenery(1);
    Load(1);
    Obj::Terrain* terrain = world->terrain;
    Obj::Sky* sky = world->sky;
    Obj::Clouds* clouds = world->clouds;
    // The three are drawn from the catch-all sector, in their passes: sky 10, terrain 120, clouds 220.
    EXPECT_EQ(sky->Obj::Sky::RenderRole::renderOrders, (std::vector<uint8_t>{10, 245}));
    EXPECT_EQ(terrain->Obj::Terrain::RenderRole::renderOrders, std::vector<uint8_t>{120});
    EXPECT_EQ(clouds->Obj::Clouds::RenderRole::renderOrders, std::vector<uint8_t>{220});
    EXPECT_FALSE(terrain->canAddHitSpot);
    // The world's ground query reaches the terrain through the statics.
    RwLine down{{1000, 5000, 0}, {1000, -5000, 0}};
    RwV3d point;
    Obj::Static* hit = nullptr;
    ASSERT_TRUE(Grp::FindNearestTerrainHit(*world->statics, down, &point, nullptr, &hit));
    EXPECT_NEAR(point.y, 360, 0.01);
    EXPECT_EQ(hit, static_cast<Obj::Static*>(terrain));
    // Past the map's edge it meets the open sea, flat at sea level.
    const RwLine beyond{{1e6f, 5000, -2e5f}, {1e6f, -5000, -2e5f}};
    RwV3d normal;
    ASSERT_TRUE(Grp::FindNearestTerrainHit(*world->statics, beyond, &point, &normal, &hit));
    EXPECT_EQ(point.y, 0);
    EXPECT_EQ(normal.y, 1);
    EXPECT_EQ(hit, static_cast<Obj::Static*>(terrain));

    world->RemoveObject(terrain);
    world->RemoveObject(sky);
    world->RemoveObject(clouds);
    EXPECT_EQ(world->terrain, nullptr);
    EXPECT_EQ(terrain->Obj::Renderable::group, nullptr);
    EXPECT_EQ(terrain->Obj::Static::group, nullptr);
    EXPECT_EQ(sky->Obj::Renderable::group, nullptr);
    EXPECT_EQ(clouds->Obj::Renderable::group, nullptr);
    EXPECT_FALSE(Grp::FindNearestTerrainHit(*world->statics, down, &point, nullptr, &hit));
    delete terrain;
    delete sky;
    delete clouds;
}

} // namespace
