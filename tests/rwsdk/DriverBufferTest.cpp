// Shared vertex buffers handed out as ranges, dynamic buffers reused, and the rotating per-frame buffers.
#include "DriverFixture.h"

#include "rwsdk/driver/d3d9/d3d9cache.h"
#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"

#include <cstdlib>
#include <map>

namespace {

std::vector<RwD3D9FreeArea> FreeAreas(RwUInt32 stride) {
    std::vector<RwD3D9FreeArea> areas(16);
    areas.resize(size_t(RwD3D9GetFreeAreas(stride, areas.data(), RwInt32(areas.size()))));
    return areas;
}

} // namespace

TEST_F(DriverTest, SmallRangesOfOneStrideShareOneBuffer) {
    void* a = nullptr;
    void* b = nullptr;
    RwUInt32 offsetA = 1, offsetB = 1;
    ASSERT_TRUE(RwD3D9CreateVertexBuffer(24, 100, &a, &offsetA));
    ASSERT_TRUE(RwD3D9CreateVertexBuffer(24, 100, &b, &offsetB));
    EXPECT_EQ(a, b);
    EXPECT_EQ(offsetA, 0u);
    EXPECT_EQ(offsetB, 100u);
    D3DVERTEXBUFFER_DESC desc{};
    static_cast<IDirect3DVertexBuffer9*>(a)->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 131088u); // 128 KB rounded up to a multiple of 24
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    auto areas = FreeAreas(24);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].offset, 200u);
    EXPECT_EQ(areas[0].size, 131088u - 200u);
}

TEST_F(DriverTest, ReleasedNeighboursMergeIntoOneFreeArea) {
    void* buffer[3];
    RwUInt32 offset[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(RwD3D9CreateVertexBuffer(32, 64, &buffer[i], &offset[i]));
    RwD3D9DestroyVertexBuffer(32, 64, buffer[1], offset[1]);
    EXPECT_EQ(FreeAreas(32).size(), 2u);
    RwD3D9DestroyVertexBuffer(32, 64, buffer[0], offset[0]);
    RwD3D9DestroyVertexBuffer(32, 64, buffer[2], offset[2]);
    auto areas = FreeAreas(32);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].offset, 0u);
    EXPECT_EQ(areas[0].size, 131072u);

    // A range larger than the default size gets a buffer of its own.
    void* big = nullptr;
    RwUInt32 bigOffset = 1;
    ASSERT_TRUE(RwD3D9CreateVertexBuffer(32, 200000, &big, &bigOffset));
    EXPECT_NE(big, buffer[0]);
    EXPECT_EQ(bigOffset, 0u);
}

TEST_F(DriverTest, AnIdleDynamicBufferOfTheSameSizeIsReused) {
    void* first = nullptr;
    ASSERT_TRUE(RwD3D9CreateDynamicVertexBuffer(5000, &first));
    RwD3D9DestroyDynamicVertexBuffer(first);
    void* second = nullptr;
    ASSERT_TRUE(RwD3D9CreateDynamicVertexBuffer(5000, &second));
    EXPECT_EQ(first, second);
    void* third = nullptr;
    ASSERT_TRUE(RwD3D9CreateDynamicVertexBuffer(5000, &third));
    EXPECT_NE(third, second);
    RwD3D9DestroyDynamicVertexBuffer(second);
    RwD3D9DestroyDynamicVertexBuffer(third);
}

TEST_F(DriverTest, RotatingLocksAppendAlignedAndDiscardWhenFull) {
    void* buffer = nullptr;
    void* data = nullptr;
    RwUInt32 base = 99;
    const RwInt32 slot = RwD3D9GetCurrentRotatingSlot();
    ASSERT_TRUE(RwD3D9LockDynamicVertexBuffer(50, 1, &buffer, &data, &base));
    RwD3D9UnlockVertexBuffer(buffer);
    EXPECT_EQ(base, 0u);
    EXPECT_EQ(RwD3D9GetRotatingSlot(slot).offset, 50u);
    // 36-byte vertices start at the next multiple of 36.
    ASSERT_TRUE(RwD3D9LockDynamicVertexBuffer(36, 27, &buffer, &data, &base));
    RwD3D9UnlockVertexBuffer(buffer);
    EXPECT_EQ(base, 2u);
    EXPECT_EQ(RwD3D9GetRotatingSlot(slot).offset, 72u + 36u * 27u);
    EXPECT_EQ(RwD3D9GetCurrentRotatingSlot(), slot);

    // Too big for any slot: the next slot gets a buffer of that size.
    ASSERT_TRUE(RwD3D9LockDynamicVertexBuffer(1, 300000, &buffer, &data, &base));
    RwD3D9UnlockVertexBuffer(buffer);
    const RwInt32 next = RwD3D9GetCurrentRotatingSlot();
    EXPECT_EQ(next, (slot + 1) % 4);
    EXPECT_EQ(RwD3D9GetRotatingSlot(next).size, 300000u);
    D3DVERTEXBUFFER_DESC desc{};
    static_cast<IDirect3DVertexBuffer9*>(buffer)->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 300000u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC));

    RwD3D9DynamicVertexBuffersNextFrame();
    EXPECT_EQ(RwD3D9GetCurrentRotatingSlot(), (next + 1) % 4);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(RwD3D9GetRotatingSlot(s).offset, 0u);
}

namespace {

// Every engine allocation, with its size and hint, while the memory functions below are installed.
struct Allocation {
    size_t size;
    RwUInt32 hint;
};
std::map<void*, Allocation> liveAllocations;

void* RecordMalloc(size_t size, RwUInt32 hint) {
    void* block = std::malloc(size ? size : 1);
    if (block)
        liveAllocations[block] = {size, hint};
    return block;
}
void RecordFree(void* block) {
    if (block)
        liveAllocations.erase(block);
    std::free(block);
}
void* RecordRealloc(void* block, size_t size, RwUInt32 hint) {
    void* grown = std::realloc(block, size ? size : 1);
    if (grown) {
        liveAllocations.erase(block);
        liveAllocations[grown] = {size, hint};
    }
    return grown;
}
void* RecordCalloc(size_t count, size_t size, RwUInt32 hint) {
    void* block = std::calloc(count ? count : 1, size ? size : 1);
    if (block)
        liveAllocations[block] = {count * size, hint};
    return block;
}
const RwMemoryFunctions recordingFunctions = {RecordMalloc, RecordFree, RecordRealloc, RecordCalloc};

class DriverWithoutFreeLists : public DriverTest {
protected:
    RwUInt32 InitFlags() const override { return rwENGINEINITNOFREELISTS; }
    const RwMemoryFunctions* MemoryFunctions() const override { return &recordingFunctions; }
    void TearDown() override {
        DriverTest::TearDown();
        // With free lists off every entry is its own allocation, and each one goes back.
        EXPECT_TRUE(liveAllocations.empty()) << liveAllocations.size() << " allocations left";
        liveAllocations.clear();
    }
};

} // namespace

// The driver's own lists (vertex-buffer areas, video-memory rasters, transform slots) take their entries
// through the engine's entry functions: with free lists off, no list block is made for them.
TEST_F(DriverWithoutFreeLists, DriverEntriesAreSeparateAllocations) {
    const std::map<void*, Allocation> before = liveAllocations;
    void* buffer = nullptr;
    RwUInt32 offset = 0;
    ASSERT_TRUE(RwD3D9CreateVertexBuffer(24, 100, &buffer, &offset));
    RwD3D9DestroyVertexBuffer(24, 100, buffer, offset);
    ASSERT_TRUE(RwD3D9CreateVertexBuffer(24, 100, &buffer, &offset));
    const D3DMATRIX m = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}}};
    ASSERT_TRUE(RwD3D9SetTransform(D3DTS_VIEW, &m));
    RwRaster* target = RwRasterCreate(16, 16, 0, rwRASTERTYPECAMERATEXTURE);
    ASSERT_NE(target, nullptr);
    int driverEntries = 0;
    for (const auto& [block, allocation] : liveAllocations) {
        if (before.count(block) || (allocation.hint & 0xFFFF) != 0x0411)
            continue;
        ++driverEntries;
        EXPECT_LE(allocation.size, 64u) << "a list block of hint " << std::hex << allocation.hint;
    }
    EXPECT_GE(driverEntries, 4); // stride record, area, created buffer, transform slot, video raster node
    RwRasterDestroy(target);
}
