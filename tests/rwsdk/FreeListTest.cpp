#include "EngineFixture.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

using FreeListTest = EngineTest;

size_t LiveBlocks() {
    return AllocationCounter::live.size();
}

void Collect(void* entry, void* data) {
    static_cast<std::set<void*>*>(data)->insert(entry);
}

// Random allocate/free sequences against a shadow set: entries are distinct, aligned, never overlap (each
// keeps its own fill pattern), and for-all-used sees exactly the live ones.
TEST_F(FreeListTest, RandomSequencesMatchAShadowSet) {
    struct Case {
        RwInt32 size, perBlock, alignment;
    };
    for (Case c : {Case{20, 13, 16}, Case{33, 8, 0}, Case{8, 1, 4}, Case{100, 64, 32}}) {
        RwFreeList* fl = RwFreeListCreate(c.size, c.perBlock, c.alignment, 0x30000);
        ASSERT_NE(fl, nullptr);
        std::mt19937 random(1234);
        std::set<void*> shadow;
        std::vector<void*> order;
        for (int step = 0; step < 5000; ++step) {
            if (order.empty() || random() % 3 != 0) {
                auto* entry = static_cast<RwUInt8*>(RwFreeListAlloc(fl, 0x30000));
                ASSERT_NE(entry, nullptr);
                ASSERT_TRUE(shadow.insert(entry).second) << "entry handed out twice";
                ASSERT_EQ(reinterpret_cast<uintptr_t>(entry) % fl->alignment, 0u);
                std::memset(entry, RwUInt8(reinterpret_cast<uintptr_t>(entry) >> 3), c.size);
                order.push_back(entry);
            } else {
                size_t pick = random() % order.size();
                auto* entry = static_cast<RwUInt8*>(order[pick]);
                for (RwInt32 i = 0; i < c.size; ++i) {
                    ASSERT_EQ(entry[i], RwUInt8(reinterpret_cast<uintptr_t>(entry) >> 3)) << "overwritten";
                }
                ASSERT_EQ(RwFreeListFree(fl, entry), fl);
                shadow.erase(entry);
                order[pick] = order.back();
                order.pop_back();
            }
        }
        std::set<void*> seen;
        ASSERT_EQ(RwFreeListForAllUsed(fl, Collect, &seen), fl);
        EXPECT_EQ(seen, shadow);
        RwFreeListDestroy(fl);
    }
}

TEST_F(FreeListTest, EntrySizesFollowTheAlignment) {
    RwFreeList* fl = RwFreeListCreate(20, 10, 16, 0x30000);
    EXPECT_EQ(fl->entrySize, 32u);
    EXPECT_EQ(fl->heapSize, 2u);
    void* first = RwFreeListAlloc(fl, 0x30000);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % 16, 0u);
    RwFreeListFree(fl, first);
    RwFreeListDestroy(fl);
    // Alignment 0 means 4, raised to the pointer alignment so that entries may hold pointers.
    fl = RwFreeListCreate(12, 10, 0, 0x30000);
    EXPECT_EQ(fl->alignment, alignof(void*));
    EXPECT_EQ(fl->entrySize, 16u);
    RwFreeListDestroy(fl);
}

TEST_F(FreeListTest, NeverHandsOutBitsPastTheCount) {
    RwFreeList* fl = RwFreeListCreateAndPreallocateSpace(8, 5, 0, 0, nullptr, 0x30000);
    size_t before = LiveBlocks();
    std::vector<void*> entries;
    for (int i = 0; i < 6; ++i) {
        entries.push_back(RwFreeListAlloc(fl, 0x30000));
    }
    EXPECT_EQ(LiveBlocks(), before + 2) << "five entries per block, then a new block";
    for (void* e : entries) {
        EXPECT_EQ(RwFreeListFree(fl, e), fl);
    }
    EXPECT_EQ(LiveBlocks(), before) << "empty blocks go back at once";
    RwFreeListDestroy(fl);
}

TEST_F(FreeListTest, FreeingTheLastEntryReleasesEvenAPreallocatedBlock) {
    size_t before = LiveBlocks();
    RwFreeList* fl = RwFreeListCreateAndPreallocateSpace(16, 4, 0, 2, nullptr, 0x30000);
    EXPECT_EQ(LiveBlocks(), before + 2) << "two blocks preallocated (the header is a headers' entry)";
    void* e = RwFreeListAlloc(fl, 0x30000);
    EXPECT_EQ(LiveBlocks(), before + 2);
    RwFreeListFree(fl, e);
    EXPECT_EQ(LiveBlocks(), before + 1);
    EXPECT_EQ(RwFreeListPurge(fl), 16) << "the other preallocated block is still empty";
    EXPECT_EQ(LiveBlocks(), before);
    e = RwFreeListAlloc(fl, 0x30000);
    EXPECT_EQ(LiveBlocks(), before + 1);
    RwFreeListFree(fl, e);
    RwFreeListDestroy(fl);
    EXPECT_EQ(LiveBlocks(), before);
}

TEST_F(FreeListTest, RefusesAddressesThatAreNotItsEntries) {
    RwFreeList* fl = RwFreeListCreate(16, 8, 0, 0x30000);
    auto* e = static_cast<RwUInt8*>(RwFreeListAlloc(fl, 0x30000));
    void* keep = RwFreeListAlloc(fl, 0x30000);
    int local = 0;
    EXPECT_EQ(RwFreeListFree(fl, &local), nullptr);
    EXPECT_EQ(RwFreeListFree(fl, e + 4), nullptr) << "inside an entry";
    EXPECT_EQ(RwFreeListFree(fl, e), fl);
    EXPECT_EQ(RwFreeListFree(fl, e), nullptr) << "twice";
    EXPECT_EQ(RwFreeListFree(fl, keep), fl);
    RwFreeListDestroy(fl);
}

TEST_F(FreeListTest, ForAllUsedLetsTheCallbackFreeItsEntry) {
    RwFreeList* fl = RwFreeListCreate(16, 4, 0, 0x30000);
    for (int i = 0; i < 10; ++i) {
        RwFreeListAlloc(fl, 0x30000);
    }
    static RwFreeList* list;
    static int visited;
    list = fl;
    visited = 0;
    RwFreeListForAllUsed(
        fl,
        [](void* entry, void*) {
            ++visited;
            RwFreeListFree(list, entry);
        },
        nullptr);
    EXPECT_EQ(visited, 10);
    EXPECT_EQ(RwFreeListPurge(fl), 0) << "no blocks left";
    RwFreeListDestroy(fl);
}

TEST_F(FreeListTest, HeadersComeFromTheirOwnFreeList) {
    size_t before = LiveBlocks();
    std::vector<RwFreeList*> lists;
    for (int i = 0; i < 40; ++i) {
        lists.push_back(RwFreeListCreateAndPreallocateSpace(8, 4, 0, 0, nullptr, 0x30000));
        ASSERT_NE(lists.back(), nullptr);
    }
    EXPECT_LE(LiveBlocks(), before + 3) << "16 headers per block";
    std::mt19937 random(7);
    std::shuffle(lists.begin(), lists.end(), random);
    for (RwFreeList* fl : lists) {
        RwFreeListAlloc(fl, 0x30000);
        RwFreeListDestroy(fl);
    }
    EXPECT_LE(LiveBlocks(), before);
    RwFreeList storage;
    RwFreeList* own = RwFreeListCreateAndPreallocateSpace(8, 4, 0, 1, &storage, 0x30000);
    EXPECT_EQ(own, &storage);
    EXPECT_EQ(own->flags, 3u);
    RwFreeListDestroy(own);
}

TEST_F(FreeListTest, PurgeAllCountsEveryFreeList) {
    RwFreeList* a = RwFreeListCreateAndPreallocateSpace(16, 4, 0, 3, nullptr, 0x30000);
    RwFreeList* b = RwFreeListCreateAndPreallocateSpace(32, 4, 0, 1, nullptr, 0x30000);
    EXPECT_GE(RwFreeListPurgeAllFreeLists(), 3 * 16 + 32);
    EXPECT_EQ(RwFreeListPurge(a), 0);
    RwFreeListDestroy(a);
    RwFreeListDestroy(b);
}

class NoFreeListsTest : public EngineTest {
protected:
    RwUInt32 InitFlags() const override { return rwENGINEINITNOFREELISTS; }
};

TEST_F(NoFreeListsTest, EntriesAreSeparateAllocationsAndNothingIsPreallocated) {
    size_t before = LiveBlocks();
    RwFreeList* fl = RwFreeListCreateAndPreallocateSpace(24, 16, 0, 4, nullptr, 0x30000);
    EXPECT_EQ(LiveBlocks(), before) << "no blocks, and the header is an entry of an existing block";
    void* e = RwFreeListEntryAlloc(fl, 0x30000);
    ASSERT_EQ(AllocationCounter::live.count(e), 1u);
    EXPECT_EQ(AllocationCounter::live[e], 24u);
    EXPECT_EQ(RwFreeListEntryFree(fl, e), fl);
    RwFreeListDestroy(fl);
}

} // namespace
