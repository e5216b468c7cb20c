// Model descriptions: a table of small descriptions and what each gives, atomic names, and the geometries
// that level model files put in place.
#include "SceneFixture.h"

#include "scene/ClumpFile.h"
#include "scene/Dff.h"

#include "base/ClumpCache.h"
#include "base/Info.h"
#include "platform/win32/Files.h"
#include "rwsdk/src/plcore/stream.h"
#include "tests/support/TempDir.h"
#include "tests/support/ClumpCache.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

class Descriptions : public SceneEngine {
protected:
    TestSupport::TempDir scratch{"corvane-dff"};
    std::filesystem::path dir;

    void SetUp() override {
        SceneEngine::SetUp();
        dir = scratch.path;
        std::filesystem::create_directories(dir);
        Base::ClumpCache::Directory = dir.string() + "\\";
        Rw::InstallClumpCache();
        // Atomics Gun, Wheel and Body (enumerated in that order once read), and level files.
        Write("Truck.dff", {{"Gun", {0, 2, 0}, {1, 2, 0}, {0, 3, 0}},
                            {"Wheel", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                            {"Body", {0, 1, 0}, {2, 1, 0}, {0, 2, 0}}});
        Write("TruckLod.dff",
              {{"wheel", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {"BODY", {0, 1, 0}, {2, 1, 0}, {0, 2, 0}}});
        Write("TruckBodyOnly.dff", {{"Body", {0, 1, 0}, {2, 1, 0}, {0, 2, 0}}});
    }
    void TearDown() override {
        TestSupport::RemoveClumpCache();
        SceneEngine::TearDown();
        std::filesystem::remove_all(dir);
        Win32::FlushPathCache();
    }

    void Write(const std::string& name, std::initializer_list<TrianglePart> parts) {
        RpClump* clump = MakeClump(parts);
        const std::string path = (dir / name).string();
        RwStream* stream = RwStreamOpen(rwSTREAMFILENAME, rwSTREAMWRITE, path.c_str());
        ASSERT_NE(stream, nullptr);
        EXPECT_NE(RpClumpStreamWrite(clump, stream), nullptr);
        RwStreamClose(stream, nullptr);
        RpClumpDestroy(clump);
    }

    static Base::Info Parse(const std::string& text) {
        Base::Info root;
        EXPECT_EQ(root.LoadText(text), 0) << text;
        return root;
    }
};

RpAtomic* Named(Obj::Clump& model, const char* name) {
    struct Find {
        const char* name;
        RpAtomic* found;
    } find{name, nullptr};
    RpClumpForAllAtomics(
        model.clump,
        [](RpAtomic* atomic, void* data) -> RpAtomic* {
            auto* f = static_cast<Find*>(data);
            if (std::strcmp(Rw::GetAtomicName(atomic), f->name) != 0)
                return atomic;
            f->found = atomic;
            return nullptr;
        },
        &find);
    return find.found;
}

// The atomics that a level's type-3 commands draw, by name.
std::string Drawn(const Obj::DffLod& lod) {
    std::string names;
    for (const Obj::DffCommand& c : lod.commands)
        if (c.type == Obj::DffCommand::RenderAtomics)
            names += std::string(names.empty() ? "" : " ") + Rw::GetAtomicName(c.atomic);
    return names;
}

std::string Level(const char* commands, const char* extra = "") {
    return std::string("Dff Truck.dff\n") + extra +
           "RenderOrders\n{\n128\n{\nLods\n{\n0\n{\nThreshold 100\nCommands\n{\n" + commands +
           "}\n}\n}\n}\n}\n";
}

} // namespace

TEST_F(Descriptions, TableOfDescriptions) {
    struct Case {
        const char* name;
        std::string text;
        bool loads;
        std::function<void(Obj::Dff&)> check;
    };
    auto orders = [](size_t n) { return [n](Obj::Dff& m) { EXPECT_EQ(m.renderOrders.size(), n); }; };
    auto command = [](uint8_t type, uint32_t a, uint32_t b, uint32_t c) {
        return [=](Obj::Dff& m) {
            ASSERT_EQ(m.renderOrders.size(), 1u);
            ASSERT_EQ(m.renderOrders[0].lods.size(), 1u);
            ASSERT_EQ(m.renderOrders[0].lods[0].commands.size(), 1u);
            const Obj::DffCommand& got = m.renderOrders[0].lods[0].commands[0];
            EXPECT_EQ(got.type, type);
            EXPECT_EQ(got.a, a);
            EXPECT_EQ(got.b, b);
            EXPECT_EQ(got.c, c);
        };
    };
    auto drawn = [](std::vector<std::string> levels) {
        return [levels](Obj::Dff& m) {
            ASSERT_EQ(m.renderOrders.size(), 1u);
            ASSERT_EQ(m.renderOrders[0].lods.size(), 1u);
            EXPECT_EQ(Drawn(m.renderOrders[0].lods[0]), levels[0]);
        };
    };
    auto flags = [](const char* name, int expected) {
        return [=](Obj::Dff& m) {
            RpAtomic* atomic = Named(m, name);
            ASSERT_NE(atomic, nullptr) << name;
            EXPECT_EQ(RpAtomicGetFlags(atomic), expected) << name;
        };
    };
    const int all = rpATOMICRENDER | rpATOMICCOLLISIONTEST;
    const Case cases[] = {
        {"only the model", "Dff Truck.dff\n", true, orders(0)},
        {"no model key", "CameraRelDistance 5\n", false, nullptr},
        {"no model file", "Dff Missing.dff\n", false, nullptr},
        {"camera-relative distance", "Dff Truck.dff\nCameraRelDistance 3000\n", true,
         [](Obj::Dff& m) { EXPECT_EQ(m.cameraRelDistance, 3000.0f); }},
        {"unreadable distance", "Dff Truck.dff\nCameraRelDistance far\n", true,
         [](Obj::Dff& m) { EXPECT_EQ(m.cameraRelDistance, 0.0f); }},
        {"empty render pattern", "Dff Truck.dff\nRenderAtomicsRegEx \"\"\n", true,
         flags("Body", rpATOMICCOLLISIONTEST)},
        {"no render pattern", "Dff Truck.dff\n", true, flags("Gun", all)},
        {"render pattern full match", "Dff Truck.dff\nRenderAtomicsRegEx B.*\n", true,
         [&](Obj::Dff& m) {
             flags("Body", all)(m);
             flags("Wheel", rpATOMICCOLLISIONTEST)(m);
         }},
        {"pattern is not a search", "Dff Truck.dff\nCollisionAtomicsRegEx ody\n", true,
         flags("Body", rpATOMICRENDER)},
        {"bad pattern", "Dff Truck.dff\nRenderAtomicsRegEx \"(\"\n", false, nullptr},
        {"same key twice", "Dff Truck.dff\nRenderOrders\n{\n1\n{\n}\n0x01\n{\n}\n}\n", false, nullptr},
        {"key out of range", "Dff Truck.dff\nRenderOrders\n{\n256\n{\n}\n}\n", false, nullptr},
        {"key not a number", "Dff Truck.dff\nRenderOrders\n{\nsky\n{\n}\n}\n", false, nullptr},
        {"order without levels", "Dff Truck.dff\nRenderOrders\n{\n010\n{\n}\n}\n", true,
         [](Obj::Dff& m) {
             ASSERT_EQ(m.renderOrders.size(), 1u);
             EXPECT_EQ(m.renderOrders[0].key, 8) << "octal";
             EXPECT_TRUE(m.renderOrders[0].lods.empty());
         }},
        {"level gap",
         "Dff Truck.dff\nRenderOrders\n{\n1\n{\nLods\n{\n0\n{\nThreshold 1\n}\n2\n{\nThreshold "
         "2\n}\n}\n}\n}\n",
         false, nullptr},
        {"level without threshold", "Dff Truck.dff\nRenderOrders\n{\n1\n{\nLods\n{\n0\n{\n}\n}\n}\n}\n",
         false, nullptr},
        {"hex value", Level("# SetRenderState\n{\nState 27\nValue 0x10\n}\n"), true, command(0, 27, 16, 0)},
        {"float value", Level("# SetRenderState\n{\nState 195\nValue 0.5\n}\n"), true,
         command(0, 195, 0x3F000000, 0)},
        {"negative value", Level("# SetRenderState\n{\nState 24\nValue -1\n}\n"), true,
         command(0, 24, 0xFFFFFFFF, 0)},
        {"value with letters", Level("# SetRenderState\n{\nState 24\nValue 12abc\n}\n"), false, nullptr},
        {"state with letters", Level("# SetRenderState\n{\nState 7abc\nValue 1\n}\n"), true,
         command(0, 7, 1, 0)},
        {"render state past the cache", Level("# SetRenderState\n{\nState 210\nValue 1\n}\n"), false,
         nullptr},
        {"negative state", Level("# SetRenderState\n{\nState -1\nValue 1\n}\n"), false, nullptr},
        {"missing value", Level("# SetRenderState\n{\nState 7\n}\n"), false, nullptr},
        {"stage state", Level("# SetTextureStageState\n{\nStage 1\nState 32\nValue 4\n}\n"), true,
         command(1, 1, 32, 4)},
        {"stage past the cache", Level("# SetTextureStageState\n{\nStage 8\nState 1\nValue 4\n}\n"), false,
         nullptr},
        {"stage state past the cache", Level("# SetTextureStageState\n{\nStage 0\nState 33\nValue 4\n}\n"),
         false, nullptr},
        {"sampler state", Level("# setsamplerstate\n{\nStage 7\nState 13\nValue 2\n}\n"), true,
         command(2, 7, 13, 2)},
        {"sampler state past the cache", Level("# SetSamplerState\n{\nStage 0\nState 14\nValue 2\n}\n"),
         false, nullptr},
        {"render point", Level("# RenderPoint\n{\nStart 0.5\nEnd 2\n}\n"), true,
         command(4, 0x3F000000, 0x40000000, 0)},
        {"render point without end", Level("# RenderPoint\n{\nStart 5\n}\n"), false, nullptr},
        {"depth bias", Level("# DepthBias\n{\nBias 2\n}\n"), true, command(5, 0x40000000, 0, 0)},
        {"unknown command", Level("# SetFog\n"), false, nullptr},
        {"every atomic", Level("# RenderAtomics\n"), true, drawn({"Gun Wheel Body"})},
        {"rest after a pattern", Level("# RenderAtomics\n{\nRegEx Wheel\n}\n# RenderAtomics\n{\nRest 1\n}\n"),
         true, drawn({"Wheel Gun Body"})},
        {"again without rest", Level("# RenderAtomics\n{\nRegEx Wheel\n}\n# RenderAtomics\n"), true,
         drawn({"Wheel Gun Wheel Body"})},
        {"empty pattern operand", Level("# RenderAtomics\n{\nRegEx \"\"\n}\n"), true, drawn({""})},
        {"bad pattern operand", Level("# RenderAtomics\n{\nRegEx \"[\"\n}\n"), false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Base::Info root = Parse(c.text);
        auto* model = new Obj::Dff;
        EXPECT_EQ(model->Load(&root), c.loads);
        if (c.loads && c.check)
            c.check(*model);
        delete model;
    }
}

TEST_F(Descriptions, LevelModelsReplaceGeometryBySameName) {
    const Base::Info root = Parse("Dff Truck.dff\nRenderOrders\n{\n128\n{\nLods\n{\n"
                                  "0\n{\nThreshold 10\n}\n"
                                  "1\n{\nDff TruckLod.dff\nThreshold 100\n}\n"
                                  "2\n{\nDff TruckBodyOnly.dff\nThreshold 1000\n}\n}\n}\n}\n");
    Obj::Dff model;
    ASSERT_TRUE(model.Load(&root));
    RpAtomic* body = Named(model, "Body");
    RpAtomic* wheel = Named(model, "Wheel");
    RpAtomic* gun = Named(model, "Gun");
    ASSERT_TRUE(body && wheel && gun);
    // Names match ignoring case; slot 0 is the atomic's own geometry.
    for (RpAtomic* atomic : {body, wheel}) {
        const Rw::AtomicLodData* data = Rw::AtomicLodData::Get(atomic);
        EXPECT_EQ(atomic->renderCallBack, Rw::AtomicLodData::RenderCallback);
        EXPECT_EQ(data->geometries[0], RpAtomicGetGeometry(atomic));
        EXPECT_NE(data->geometries[1], nullptr);
        EXPECT_NE(data->geometries[1], RpAtomicGetGeometry(atomic));
    }
    // The wheel is missing from the level-2 file: its slot stays empty, so it is not drawn at that level.
    EXPECT_NE(Rw::AtomicLodData::Get(body)->geometries[2], nullptr);
    EXPECT_EQ(Rw::AtomicLodData::Get(wheel)->geometries[2], nullptr);
    // The gun is in no level file: it keeps its own callback and draws its own geometry at every level.
    EXPECT_NE(gun->renderCallBack, Rw::AtomicLodData::RenderCallback);

    // The level callback draws the level's geometry through the saved callback, then puts the own one back.
    static RpGeometry* drawnWith;
    drawnWith = nullptr;
    Rw::AtomicLodData* data = Rw::AtomicLodData::Get(wheel);
    data->savedRenderCallback = [](RpAtomic* atomic) {
        drawnWith = RpAtomicGetGeometry(atomic);
        return atomic;
    };
    RpGeometry* own = RpAtomicGetGeometry(wheel);
    data->index = 1;
    EXPECT_EQ(Rw::AtomicLodData::RenderCallback(wheel), wheel);
    EXPECT_EQ(drawnWith, data->geometries[1]);
    EXPECT_EQ(RpAtomicGetGeometry(wheel), own);
    drawnWith = nullptr;
    data->index = 2;
    EXPECT_EQ(Rw::AtomicLodData::RenderCallback(wheel), wheel);
    EXPECT_EQ(drawnWith, nullptr);
    data->savedRenderCallback = [](RpAtomic*) -> RpAtomic* { return nullptr; };
    data->index = 1;
    EXPECT_EQ(Rw::AtomicLodData::RenderCallback(wheel), nullptr);
    EXPECT_EQ(RpAtomicGetGeometry(wheel), own) << "also after a failed draw";
}

TEST_F(Descriptions, AtomicNamePrecedence) {
    struct Array {
        bool onFrame;
        const char* name;
        RpUserDataFormat format;
        int elements;
        const char* text;
    };
    struct Case {
        std::vector<Array> arrays;
        const char* expected;
    };
    const Case cases[] = {
        {{}, ""},
        {{{false, "Name", rpSTRINGUSERDATA, 1, "Geo"}}, "Geo"},
        {{{false, "name", rpSTRINGUSERDATA, 1, "Geo"}}, "Geo"},
        {{{false, "Name", rpSTRINGUSERDATA, 1, "Geo"}, {true, "1.blindName", rpSTRINGUSERDATA, 1, "Blind"}},
         "Blind"},
        {{{true, "3DSMAX USER PROPERTIES", rpSTRINGUSERDATA, 1, "Max"},
          {true, "1.blindName", rpSTRINGUSERDATA, 1, "B"}},
         "Max"},
        {{{true, "1.blindName", rpSTRINGUSERDATA, 2, "Two"}, {false, "Name", rpSTRINGUSERDATA, 1, "Geo"}},
         "Geo"},
        {{{true, "1.blindName", rpINTUSERDATA, 1, nullptr}, {false, "Name", rpSTRINGUSERDATA, 1, "Geo"}},
         "Geo"},
        {{{true, "Name", rpSTRINGUSERDATA, 1, "FrameName"}}, ""},
        {{{false, "1.blindName", rpSTRINGUSERDATA, 1, "GeoBlind"}}, ""},
    };
    for (const Case& c : cases) {
        RpClump* clump = MakeClump({{nullptr, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
        RpAtomic* atomic = nullptr;
        RpClumpForAllAtomics(
            clump, [](RpAtomic* a, void* d) { return *static_cast<RpAtomic**>(d) = a; }, &atomic);
        for (const Array& a : c.arrays) {
            RpGeometry* geometry = RpAtomicGetGeometry(atomic);
            RwFrame* frame = RpAtomicGetFrame(atomic);
            const RwInt32 index = a.onFrame
                                      ? RpUserDataFrameAddArray(frame, a.name, a.format, a.elements)
                                      : RpUserDataGeometryAddArray(geometry, a.name, a.format, a.elements);
            RpUserDataArray* array = a.onFrame ? RpUserDataFrameGetArray(frame, index)
                                               : RpUserDataGeometryGetArray(geometry, index);
            if (a.text)
                RpUserDataArraySetString(array, 0, a.text);
        }
        EXPECT_STREQ(Rw::GetAtomicName(atomic), c.expected);
        const char* wanted = c.expected[0] ? "nothing like it" : "x";
        const char* word = wanted;
        RpClumpForAllAtomics(clump, Rw::MatchAtomicName, &word);
        EXPECT_EQ(word, wanted);
        RpClumpDestroy(clump);
    }
    // A match replaces the word with the atomic's own name and stops.
    RpClump* clump =
        MakeClump({{"Wing", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {"WING", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
    const char* word = "wing";
    RpClumpForAllAtomics(clump, Rw::MatchAtomicName, &word);
    EXPECT_STREQ(word, "WING") << "the newest atomic is walked first";
    RpClumpDestroy(clump);
}
