// Wrecks from models built in memory: parts already small leave nothing and the wreck ends itself, a part is
// cut into at most 2^depth pieces whose triangles add up to the part's, and on a flat terrain a falling
// piece bounces with a third of its reflected speed and comes to rest.
#include "tests/objects/TerrainFixture.h"
#include "tests/scene/SceneFixture.h"

#include "objects/Wreck.h"
#include "scene/Clump.h"
#include "scene/World.h"

#include "base/Random.h"
#include "base/SmartPtr.h"
#include "rwsdk/plugin/matfx/rpmatfx.h"
#include "rwsdk/src/plcore/matrix.h"
#include "rwsdk/world/baworobj.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

class Wrecks : public SceneWorld {
protected:
    void SetUp() override {
        SceneWorld::SetUp();
        Clock(1, 0.02f);
        Base::Random::Seed(26);
    }
    void TearDown() override {
        world.reset();
        model.reset();
        SceneWorld::TearDown();
    }
    // A grid of n x n cells, two triangles each, side long, in the x-z plane at y.
    static RpClump* Grid(int n, float side, float y) {
        RpClump* clump = RpClumpCreate();
        RwFrame* root = RwFrameCreate();
        RpClumpSetFrame(clump, root);
        RpGeometry* geometry = RpGeometryCreate(
            (n + 1) * (n + 1), 2 * n * n, rpGEOMETRYPOSITIONS | rpGEOMETRYNORMALS | rpGEOMETRYTEXTURED2);
        RpMorphTarget* target = RpGeometryGetMorphTarget(geometry, 0);
        RwV3d* v = RpMorphTargetGetVertices(target);
        RwV3d* normals = RpMorphTargetGetVertexNormals(target);
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const int k = j * (n + 1) + i;
                v[k] = {side * i / n - side / 2, y, side * j / n - side / 2};
                normals[k] = {0, 1, 0};
                // Both coordinate sets follow the position, so that a copied vertex can be checked.
                RpGeometryGetVertexTexCoords(geometry, 1)[k] = {v[k].x, v[k].z};
                RpGeometryGetVertexTexCoords(geometry, 2)[k] = {-v[k].x, -v[k].z};
            }
        RpTriangle* t = RpGeometryGetTriangles(geometry);
        RpMaterial* material = RpMaterialCreate();
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const RwUInt16 a = RwUInt16(j * (n + 1) + i), b = RwUInt16(a + 1), c = RwUInt16(a + n + 1),
                               d = RwUInt16(c + 1);
                RpGeometryTriangleSetVertexIndices(geometry, t, a, b, c);
                RpGeometryTriangleSetMaterial(geometry, t++, material);
                RpGeometryTriangleSetVertexIndices(geometry, t, b, d, c);
                RpGeometryTriangleSetMaterial(geometry, t++, material);
            }
        RpMaterialDestroy(material);
        RwSphere sphere;
        RpMorphTargetCalculateBoundingSphere(target, &sphere);
        RpMorphTargetSetBoundingSphere(target, &sphere);
        RpAtomicSetFlags(TestSupport::AddAtomicUnder(clump, root, geometry),
                         rpATOMICRENDER | rpATOMICCOLLISIONTEST);
        return clump;
    }
    Obj::Wreck* Break(RpClump* clump, int depth, float maxPiece, float lifeFactor = 1) {
        model = std::make_unique<Obj::Clump>(clump, true);
        auto* wreck = new Obj::Wreck;
        wreck->CreateFromModel(model.get(), {0, 0, 0}, depth, maxPiece, lifeFactor, 1);
        return wreck;
    }
    static int Triangles(const Obj::Wreck& wreck) {
        int count = 0;
        for (const auto* fragment : wreck.Fragments()) {
            RpGeometry* g = RpAtomicGetGeometry(fragment->atomic);
            EXPECT_EQ(RpGeometryGetNumVertices(g), 3 * RpGeometryGetNumTriangles(g)); // nothing shared
            EXPECT_TRUE(RpGeometryGetFlags(g) & rpGEOMETRYMODULATEMATERIALCOLOR);
            count += RpGeometryGetNumTriangles(g);
            // Normals and both coordinate sets came along with every vertex (moved by the piece's centre).
            if (RpGeometryGetNumTexCoordSets(g) == 2) {
                const RwV3d* v = RpMorphTargetGetVertices(RpGeometryGetMorphTarget(g, 0));
                const RwV3d centre = fragment->frame->modelling.pos;
                for (RwInt32 k = 0; k < RpGeometryGetNumVertices(g); ++k) {
                    EXPECT_NEAR(RpGeometryGetVertexTexCoords(g, 1)[k].u, v[k].x + centre.x, 1e-4);
                    EXPECT_NEAR(RpGeometryGetVertexTexCoords(g, 2)[k].v, -(v[k].z + centre.z), 1e-4);
                    EXPECT_EQ(RpMorphTargetGetVertexNormals(RpGeometryGetMorphTarget(g, 0))[k].y, 1);
                }
            }
        }
        return count;
    }

    std::unique_ptr<Obj::Clump> model;
};

TEST_F(Wrecks, AnAllSmallModelGivesNoFragmentsAndDeletesItself) {
    Obj::Wreck* wreck = Break(SceneEngine::MakeClump({{"a", {0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}},
                                                      {"b", {1, 1, 1}, {1.2f, 1, 1}, {1, 1.2f, 1}}}),
                              1, 1.0f, 10);
    EXPECT_TRUE(wreck->Fragments().empty());
    Base::SmartPtr<Obj::Wreck> watched(wreck);
    world->AddObject(wreck);
    EXPECT_EQ(RpWorldGetNumClumps(world->world), 1);
    wreck->Run();
    EXPECT_FALSE(watched);
    EXPECT_TRUE(world->IsEmpty());
    // It took its clump out of the engine world as it left.
    EXPECT_EQ(RpWorldGetNumClumps(world->world), 0);
}

TEST_F(Wrecks, AtMostTwoToTheDepthPiecesPerPart) {
    for (int depth = 1; depth <= 4; ++depth) {
        Obj::Wreck* wreck = Break(Grid(12, 20, 0), depth, 0.01f);
        const size_t pieces = wreck->Fragments().size();
        EXPECT_LE(pieces, size_t(1) << depth) << depth;
        EXPECT_GE(pieces, 2u) << depth;
        EXPECT_EQ(Triangles(*wreck), 2 * 12 * 12) << depth; // every triangle whole in one piece
        EXPECT_EQ(RpGeometryGetNumTexCoordSets(RpAtomicGetGeometry(wreck->Fragments().front()->atomic)), 2);
        // The model is only read.
        RpAtomic* source = nullptr;
        RpClumpForAllAtomics(
            model->clump, [](RpAtomic* a, void* out) { return *static_cast<RpAtomic**>(out) = a; }, &source);
        EXPECT_EQ(RpGeometryGetNumVertices(RpAtomicGetGeometry(source)), 13 * 13);
        delete wreck;
    }
    // Pieces stop splitting once small enough: a 20-unit part in 12-unit pieces needs no deep cuts.
    Obj::Wreck* wreck = Break(Grid(12, 20, 0), 8, 12);
    EXPECT_LT(wreck->Fragments().size(), 64u);
    EXPECT_EQ(Triangles(*wreck), 2 * 12 * 12);
    for (const auto* fragment : wreck->Fragments()) {
        EXPECT_EQ(fragment->life, 20);
        EXPECT_GT(fragment->size, 0);
        // Each piece sits at its box centre with its vertices about it.
        const RwSphere& s = RpAtomicGetGeometry(fragment->atomic)->morphTarget[0].boundingSphere;
        EXPECT_LT(std::fabs(s.center.x) + std::fabs(s.center.z), fragment->size);
    }
    delete wreck;
}

TEST_F(Wrecks, TheCallersBreakages) {
    EXPECT_EQ(Obj::Wreck::Car.depth, 1);
    EXPECT_EQ(Obj::Wreck::Car.lifeFactor * Obj::Wreck::LifeSeconds, 200);
    const Obj::Wreck::Breakage airplane = Obj::Wreck::Airplane(200);
    EXPECT_EQ(airplane.depth, 3);
    EXPECT_EQ(airplane.maxPieceSize, 2);
    EXPECT_FLOAT_EQ(airplane.blast, 2);
    Obj::Wreck* wreck = new Obj::Wreck;
    model = std::make_unique<Obj::Clump>(Grid(12, 20, 0), true);
    wreck->CreateFromModel(model.get(), {0, 0, 100}, airplane);
    EXPECT_LE(wreck->Fragments().size(), 8u);
    for (const auto* fragment : wreck->Fragments())
        EXPECT_EQ(fragment->life, 20);
    delete wreck;
}

TEST_F(Wrecks, APlaneLeavingEverythingOnOneSideMakesOnePiece) {
    Obj::Wreck* wreck = Break(SceneEngine::MakeClump({{"big", {0, 0, 0}, {20, 0, 0}, {0, 20, 0}}}), 1, 1);
    ASSERT_EQ(wreck->Fragments().size(), 1u);
    delete wreck;
}

// With the material effects in the engine, the pieces draw through their pipeline.
class WrecksWithEffects : public Wrecks {
protected:
    void SetUp() override {
        ASSERT_TRUE(RwEngineInit(nullptr, 0, 0));
        ASSERT_TRUE(RpWorldPluginAttach());
        ASSERT_TRUE(RpMatFXPluginAttach());
        ASSERT_TRUE(Rw::Frame::RegisterPlugins());
        ASSERT_TRUE(Rw::RegisterWrapperPlugins());
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        world = std::make_unique<Grp::World>();
    }
};

TEST_F(WrecksWithEffects, PiecesTakeTheEffectsPipeline) {
    Obj::Wreck* wreck = Break(Grid(4, 20, 0), 2, 0.01f);
    ASSERT_FALSE(wreck->Fragments().empty());
    for (const auto* fragment : wreck->Fragments())
        EXPECT_TRUE(RpMatFXAtomicQueryEffects(fragment->atomic));
    delete wreck;
}

// No terrain, or one that did not load: the pieces simply fall, with no ground to meet.
TEST_F(Wrecks, WithoutALoadedTerrainPiecesFall) {
    Obj::Terrain unloaded;
    for (Obj::Terrain* terrain : {static_cast<Obj::Terrain*>(nullptr), &unloaded}) {
        world->terrain = terrain;
        Obj::Wreck* wreck = Break(Grid(4, 20, 0), 1, 0.01f);
        world->AddObject(wreck);
        const float y = wreck->Fragments().front()->frame->modelling.pos.y;
        for (int f = 0; f < 50; ++f)
            wreck->Run();
        EXPECT_LT(wreck->Fragments().front()->frame->modelling.pos.y, y - 5);
        world->RemoveObject(wreck);
        delete wreck;
    }
    world->terrain = nullptr;
}

class WrecksOnTerrain : public Wrecks {
protected:
    void SetUp() override {
        Wrecks::SetUp();
        // Flat at 10 x 6 = 60 over x -2048 to 2048, z -1024 to 3072.
        TerrainFixture::Image height{65, 65, 1, std::vector<uint8_t>(65 * 65, 10)};
        ASSERT_TRUE(TerrainFixture::Build(terrain, {}, height, TerrainFixture::Mask(4, 4, 1),
                                          TerrainFixture::Mask(4, 4, 0)))
            << terrain.Error();
        world->terrain = &terrain;
    }
    void TearDown() override {
        world->terrain = nullptr;
        Wrecks::TearDown();
    }
    static void Place(Obj::Wreck::Fragment* fragment, float x, float y, float z) {
        RwMatrix m;
        RwMatrixSetIdentity(&m);
        m.pos = {x, y, z};
        RwMatrixUpdate(&m);
        fragment->Transform(&m, rwCOMBINEREPLACE);
    }
    static RwV3d Position(const Obj::Wreck::Fragment* fragment) { return fragment->frame->modelling.pos; }

    Obj::Terrain terrain;
};

TEST_F(WrecksOnTerrain, ABounceKeepsAThirdAndThePieceComesToRest) {
    Obj::Wreck* wreck = Break(SceneEngine::MakeClump({{"big", {0, 0, 0}, {20, 0, 0}, {0, 20, 0}}}), 1, 1);
    ASSERT_EQ(wreck->Fragments().size(), 1u);
    world->AddObject(wreck);
    Obj::Wreck::Fragment* piece = wreck->Fragments().front();
    Place(piece, 100, 60.5f, 200);
    piece->velocity = {0, -20, 0};
    piece->spin = {0, 0, 1};

    // One step of 0.1 s: damped, pushed along x, pulled down, through the ground and back on it.
    ASSERT_TRUE(piece->Step(0.1f));
    const float k = std::pow(0.98f, 1.0f);
    const float vx = 0.1f / (piece->size + 1), vy = -20 * k - 0.981f;
    EXPECT_NEAR(Position(piece).y, 60, 1e-4);
    EXPECT_NEAR(piece->velocity.x, vx * 0.33f, 1e-5); // the ground's normal is straight up
    EXPECT_NEAR(piece->velocity.y, -vy * 0.33f, 1e-4);
    EXPECT_NEAR(piece->spin.z, -k * 0.33f, 1e-5);
    EXPECT_NEAR(piece->life, 19.9f, 1e-5);

    // It keeps bouncing lower until it is slow, then rests for good.
    int steps = 0;
    while (Base::VectorLength(piece->velocity) > 0 && steps < 2000) {
        Clock(1 + steps * 0.02f, 0.02f);
        piece->Step(0.02f);
        // Put back on the ground after a bounce; one that stops rests where its last step took it.
        EXPECT_GE(Position(piece).y, 60 - 0.05f);
        ++steps;
    }
    ASSERT_EQ(Base::VectorLength(piece->velocity), 0);
    const RwV3d rest = Position(piece);
    for (int i = 0; i < 10; ++i)
        piece->Step(0.02f);
    EXPECT_EQ(Position(piece).x, rest.x);
    EXPECT_EQ(Position(piece).y, rest.y);
    EXPECT_NEAR(rest.y, 60, 0.5f);

    // Paused: its place and life stay.
    const float life = piece->life;
    EXPECT_TRUE(piece->Step(0));
    EXPECT_EQ(piece->life, life);
}

TEST_F(WrecksOnTerrain, PiecesFadeInTheirLastSecondsThenTheWreckEnds) {
    Obj::Wreck* wreck = Break(Grid(4, 20, 80), 2, 0.01f, 0.25f); // 5 s of life
    ASSERT_GE(wreck->Fragments().size(), 2u);
    Base::SmartPtr<Obj::Wreck> watched(wreck);
    world->AddObject(wreck);
    float now = 1;
    for (int frame = 0; frame < 80 && watched; ++frame) {
        Clock(now += 0.1f, 0.1f);
        wreck->Run();
        if (!watched)
            break;
        const Obj::Wreck::Fragment* first = wreck->Fragments().front();
        const RpGeometry* g = RpAtomicGetGeometry(first->atomic);
        const int alpha = RpMaterialGetColor(RpGeometryGetMaterial(g, 0))->alpha;
        EXPECT_EQ(alpha, int(std::clamp(first->life / 4, 0.0f, 1.0f) * 255)) << first->life;
        const RwSphere* sphere = wreck->GetBoundingSphere();
        EXPECT_GT(sphere->radius, 0);
    }
    EXPECT_GT(now, 5.9f); // all 5 s, and not much later
    EXPECT_LT(now, 6.2f);
    EXPECT_FALSE(watched);
}

} // namespace
