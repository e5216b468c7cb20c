// Shared vertex buffers handed out as ranges, dynamic buffers reused, and the rotating per-frame buffers.
#include "DriverFixture.h"

#include "rwsdk/driver/d3d9/d3d9vertexbuffer.h"

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
