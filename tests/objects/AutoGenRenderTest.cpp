// The sample scenery's generated objects over the sample terrain, drawn offscreen on the Direct3D 9 driver:
// the same view with and without them, checked tolerantly and written for a look (AutoGenView.png).
#include "objects/AutoGen.h"
#include "tests/scene/SceneFixture.h"
#include "objects/Terrain.h"
#include "OffscreenCamera.h"

#include "scene/AtomicData.h"
#include "scene/ClumpFile.h"
#include "scene/Frame.h"
#include "scene/StreamedTexture.h"
#include "scene/Wrappers.h"

#include "base/AsyncLoader.h"
#include "base/ClumpCache.h"
#include "base/StreamedTextureCache.h"
#include "rwsdk/plugin/collis/rpcollis.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/renderstate.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/ClumpCache.h"

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

namespace {

// A vertex buffer, large enough for any sector, that refuses to be locked; counts its releases.
class RefusingBuffer : public IDirect3DVertexBuffer9 {
public:
    explicit RefusingBuffer(int* released) : released_(released) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ++*released_;
        if (--references_ > 0)
            return references_;
        delete this;
        return 0;
    }
    HRESULT GetDevice(IDirect3DDevice9**) override { return D3DERR_INVALIDCALL; }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT, UINT, void**, DWORD) override { return D3DERR_INVALIDCALL; }
    HRESULT Unlock() override { return D3DERR_INVALIDCALL; }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override {
        *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, 1u << 24, 0};
        return D3D_OK;
    }

private:
    int* released_;
    ULONG references_ = 1;
};

class AutoGenRender : public OffscreenCamera {
protected:
    void AttachPlugins() override { AttachScenePlugins(); }
    void SetUp() override {
        StartCamera("autogen", {0.5f, 0.375f});
        if (HasFatalFailure())
            return;
        RenderSupport::StartStreaming();
        Base::ClumpCache::Directory = "Data\\Models";
        Rw::InstallClumpCache();
        ASSERT_NO_FATAL_FAILURE(RenderSupport::LoadSampleTerrain(terrain));
        Base::Info sets;
        ASSERT_EQ(sets.LoadFile("Data/Autogen1.info"), 0);
        sets.SetFloat("GlobalDensityFactor", 1);
        autogen = std::make_unique<Obj::AutoGen>();
        ASSERT_TRUE(autogen->Load(sets));
        ASSERT_EQ(autogen->objectSets.size(), 3u);
        ASSERT_NE(autogen->texture, nullptr);
        ASSERT_NE(autogen->shadowTexture, nullptr);
        Obj::Terrain* ground = terrain.get();
        autogen->SetGroundProbe([ground](float x, float z) -> std::optional<Obj::AutoGen::Ground> {
            Base::Vector3 point, normal;
            if (!ground->IntersectSegment({{x, 10000, z}, {x, -10000, z}}, &point, &normal))
                return std::nullopt;
            return Obj::AutoGen::Ground{point.y, normal};
        });
    }
    void TearDown() override {
        autogen.reset();
        terrain.reset();
        TestSupport::RemoveClumpCache();
        RenderSupport::StopStreaming();
        StopCamera();
    }

    std::vector<uint32_t> Draw(bool withScenery) {
        RwCameraBeginUpdate(camera);
        RwRGBA sky = {150, 185, 225, 255};
        RwCameraClear(camera, &sky, rwCAMERACLEARIMAGE | rwCAMERACLEARZ);
        RwRenderStateSet(rwRENDERSTATEZTESTENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        RwRenderStateSet(rwRENDERSTATEZWRITEENABLE, reinterpret_cast<void*>(uintptr_t(1)));
        terrain->Render(camera);
        if (withScenery)
            autogen->Render(Obj::AutoGen::RenderOrder, nullptr);
        RwCameraEndUpdate(camera);
        return ReadBack();
    }

    // The camera at a height over the ground at (x, z), looking along at.
    void Over(float x, float height, float z, RwV3d at) {
        Base::Vector3 point, normal;
        ASSERT_TRUE(terrain->IntersectSegment({{x, 10000, z}, {x, -10000, z}}, &point, &normal));
        Look({x, point.y + height, z}, at);
    }
    // Frames until every land slice has its texture (bounded).
    void Settle() {
        const auto start = std::chrono::steady_clock::now();
        do {
            std::this_thread::yield();
            Draw(false);
        } while (!RenderSupport::AllLandTextured(*terrain) &&
                 std::chrono::steady_clock::now() - start < std::chrono::seconds(20));
        ASSERT_TRUE(RenderSupport::AllLandTextured(*terrain));
    }
    static int Luma(uint32_t c) { return int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF); }

    std::unique_ptr<Obj::Terrain> terrain;
    std::unique_ptr<Obj::AutoGen> autogen;
};

TEST_F(AutoGenRender, ForestsOverTheSampleTerrain) {
    // Low over the conifers of the eastern hills, looking north-west.
    Over(9000, 25, -1500, {-0.55f, -0.35f, 0.75f});
    Settle();
    const std::vector<uint32_t> bare = Draw(false);
    const std::vector<uint32_t> wooded = Draw(true);
    SavePng(wooded, "AutoGenForest.png");

    EXPECT_GT(autogen->sectors.size(), 20u);
    EXPECT_GT(autogen->sectorsDrawn, 5u);
    uint32_t withBuffers = 0;
    for (const auto& s : autogen->sectors)
        withBuffers += s->vertexBuffer != nullptr;
    EXPECT_EQ(autogen->buffersCreated, 2 * withBuffers);
    // The trees and their shadows cover a good part of the ground and are darker than it on the whole.
    int changed = 0, darker = 0;
    for (size_t k = 0; k < bare.size(); ++k) {
        if (bare[k] == wooded[k])
            continue;
        ++changed;
        darker += Luma(wooded[k]) < Luma(bare[k]);
    }
    EXPECT_GT(changed, Width * Height / 20);
    EXPECT_GT(darker, changed * 2 / 3);

    // Another frame from the same place builds and frees nothing.
    const uint32_t built = autogen->sectorsBuilt;
    Draw(true);
    EXPECT_EQ(autogen->sectorsBuilt, built);
    EXPECT_EQ(autogen->sectorsFreed, 0u);
}

// Flying away and back rebuilds the sectors from freed records that keep their device buffers: the same
// view comes back pixel for pixel. The placements' order is drawn from the runtime library's generator, so
// it is seeded alike for both builds.
TEST_F(AutoGenRender, SectorsRebuiltFromKeptBuffersDrawAsNew) {
    Over(9000, 25, -1500, {-0.55f, -0.35f, 0.75f});
    Settle();
    std::srand(7);
    const std::vector<uint32_t> first = Draw(true);
    const size_t count = autogen->sectors.size();
    ASSERT_GT(count, 20u);
    const uint32_t created = autogen->buffersCreated;

    Over(-2000, 70, -4300, {-0.5f, -0.2f, 0.85f});
    Draw(true);
    ASSERT_EQ(autogen->sectorsFreed, count);
    const uint32_t away = autogen->buffersCreated;
    EXPECT_LT(away - created, 2 * uint32_t(autogen->sectors.size()));

    Over(9000, 25, -1500, {-0.55f, -0.35f, 0.75f});
    std::srand(7);
    const std::vector<uint32_t> back = Draw(true);
    EXPECT_EQ(autogen->sectors.size(), count);
    EXPECT_EQ(autogen->buffersCreated, away);
    EXPECT_EQ(back, first);
}

// A kept buffer that cannot be filled is let go with its partner: the sector that took it stays bare rather
// than showing the scenery of the sector that had it before.
TEST_F(AutoGenRender, AKeptBufferThatCannotBeFilledIsDropped) {
    Over(9000, 25, -1500, {-0.55f, -0.35f, 0.75f});
    Draw(true);
    const size_t count = autogen->sectors.size();
    ASSERT_GT(count, 20u);
    int released = 0;
    std::set<const IDirect3DVertexBuffer9*> refusing;
    for (const auto& s : autogen->sectors)
        if (s->vertexBuffer) {
            s->vertexBuffer->Release();
            s->vertexBuffer = new RefusingBuffer(&released);
            refusing.insert(s->vertexBuffer);
        }
    ASSERT_FALSE(refusing.empty());

    Over(-2000, 70, -4300, {-0.5f, -0.2f, 0.85f});
    Draw(true);
    ASSERT_EQ(autogen->sectorsFreed, count);
    // The kept buffers go with any record: each sector with objects either has buffers that filled or none.
    size_t bare = 0;
    for (const auto& s : autogen->sectors) {
        EXPECT_FALSE(refusing.count(s->vertexBuffer));
        if (s->totalVertices == 0)
            continue;
        EXPECT_EQ(s->vertexBuffer == nullptr, s->indexBuffer == nullptr);
        bare += s->vertexBuffer == nullptr;
    }
    EXPECT_GT(bare, 0u);
    EXPECT_EQ(size_t(released), bare);
}

TEST_F(AutoGenRender, AVillageWithRedRoofs) {
    Over(-2000, 70, -4300, {-0.5f, -0.2f, 0.85f});
    Settle();
    const std::vector<uint32_t> bare = Draw(false);
    const std::vector<uint32_t> village = Draw(true);
    SavePng(village, "AutoGenVillage.png");
    // Roofs: reddish pixels that the bare land does not have.
    const auto reddish = [](uint32_t c) {
        const int r = int((c >> 16) & 0xFF), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
        return r > g + 40 && r > b + 40;
    };
    int roofs = 0, before = 0;
    for (size_t k = 0; k < bare.size(); ++k) {
        roofs += reddish(village[k]);
        before += reddish(bare[k]);
    }
    EXPECT_EQ(before, 0);
    EXPECT_GT(roofs, 300);
}

// Streaming along a path again makes no sector storage: freed sectors' buffers and arrays, kept apart from
// their records and taken smallest first, hold every sector the window has already held.
TEST_F(AutoGenRender, AWarmLapCreatesNoBuffers) {
    const float path[][2] = {{9000, -1500}, {6000, 1500}, {2000, 3000}, {-2000, -4300}, {3000, -4000}};
    const auto lap = [&] {
        for (const auto& p : path)
            for (int step = 0; step < 4; ++step) {
                Over(p[0] + float(step) * 300, 60, p[1] - float(step) * 200, {-0.5f, -0.2f, 0.85f});
                Draw(true);
            }
    };
    // Warm: a storage too small for a sector grows, so the pool settles within a few laps.
    lap();
    lap();
    const uint32_t created = autogen->buffersCreated, freed = autogen->sectorsFreed;
    lap();
    ASSERT_GT(autogen->sectorsFreed, freed);
    EXPECT_EQ(autogen->buffersCreated, created);
}

} // namespace
