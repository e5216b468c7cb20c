#include "rwsdk/src/plcore/resources.h"

#include "ImageTestSupport.h"

#include <string>

using namespace ImageTestSupport;

namespace {

// Each test entry takes one 256-byte payload and its 32-byte block header.
constexpr RwInt32 entrySize = 256 - static_cast<RwInt32>(sizeof(RwResourceEntry));
constexpr RwUInt32 blockBytes = 256 + 32;
// Room for exactly four entries, whatever the alignment of the arena block.
constexpr RwUInt32 fourEntryArena = 4 * blockBytes + 78 + 100;

std::vector<std::string> destroyed;
void Notify(RwResourceEntry* entry) {
    destroyed.push_back(static_cast<const char*>(entry->owner));
}

struct Owner {
    std::string name;
    RwResourceEntry* entry = nullptr;
    RwResourceEntry* Allocate(RwInt32 size = entrySize) {
        return RwResourcesAllocateResourceEntry(const_cast<char*>(name.c_str()), &entry, size, Notify);
    }
};

TEST(ResourceArena, TakingBackClearsTheOwnerAndNotifiesOnce) {
    Engine engine(64 * 1024);
    destroyed.clear();
    Owner a{"a"};
    RwResourceEntry* entry = a.Allocate(100);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(a.entry, entry);
    EXPECT_EQ(entry->size, 100);
    EXPECT_EQ(RwResourcesGetArenaUsage(), 100u);
    EXPECT_TRUE(RwResourcesFreeResourceEntry(entry));
    EXPECT_EQ(a.entry, nullptr);
    EXPECT_EQ(destroyed, std::vector<std::string>{"a"});
    EXPECT_EQ(RwResourcesGetArenaUsage(), 0u);
}

TEST(ResourceArena, OlderFramesGoFirstAndThisFrameLast) {
    Engine engine(fourEntryArena);
    destroyed.clear();
    Owner a{"a"}, b{"b"}, c{"c"}, d{"d"}, e{"e"}, f{"f"}, g{"g"};
    ASSERT_TRUE(a.Allocate());
    ASSERT_TRUE(b.Allocate());
    RwResourcesNextFrame();
    ASSERT_TRUE(c.Allocate());
    ASSERT_TRUE(d.Allocate());
    EXPECT_TRUE(destroyed.empty());

    ASSERT_TRUE(e.Allocate()); // the arena is full: the oldest entry of the frames before goes
    EXPECT_EQ(destroyed, std::vector<std::string>{"a"});
    EXPECT_EQ(a.entry, nullptr);
    EXPECT_EQ(RwResourcesGetArenaThisFrameTakeBack(), 0u);
    ASSERT_TRUE(f.Allocate());
    EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "b"}));
    ASSERT_TRUE(g.Allocate()); // nothing older is left: this frame's oldest goes, and is counted
    EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(RwResourcesGetArenaThisFrameTakeBack(), static_cast<RwUInt32>(entrySize));
    EXPECT_NE(d.entry, nullptr);

    RwResourcesNextFrame();
    EXPECT_EQ(RwResourcesGetArenaThisFrameTakeBack(), 0u);
    // d was used this frame, so e (the oldest untouched) goes first.
    RwResourcesUseResourceEntry(d.entry);
    Owner h{"h"};
    ASSERT_TRUE(h.Allocate());
    EXPECT_EQ(destroyed.back(), "e");
    EXPECT_NE(d.entry, nullptr);

    RwResourcesEmptyArena();
    EXPECT_EQ(destroyed.size(), 8u);
    EXPECT_EQ(RwResourcesGetArenaUsage(), 0u);
    for (Owner* owner : {&d, &f, &g, &h}) {
        EXPECT_EQ(owner->entry, nullptr) << owner->name;
    }
}

TEST(ResourceArena, ARequestLargerThanTheArenaFailsWithItsError) {
    Engine engine(fourEntryArena);
    destroyed.clear();
    Owner a{"a"}, big{"big"};
    ASSERT_TRUE(a.Allocate());
    big.entry = reinterpret_cast<RwResourceEntry*>(&big);
    TakeError();
    EXPECT_EQ(big.Allocate(static_cast<RwInt32>(fourEntryArena)), nullptr);
    EXPECT_EQ(big.entry, nullptr);
    EXPECT_EQ(TakeError(), 12u);
    EXPECT_EQ(destroyed, std::vector<std::string>{"a"}); // everything went trying
    ASSERT_TRUE(big.Allocate(4 * 256 - static_cast<RwInt32>(sizeof(RwResourceEntry))));
}

TEST(ResourceArena, NoArenaMeansNoEntries) {
    Engine engine(0);
    Owner a{"a"};
    TakeError();
    EXPECT_EQ(a.Allocate(1), nullptr);
    EXPECT_EQ(TakeError(), 12u);
    EXPECT_EQ(RwResourcesGetArenaSize(), 0u);
}

TEST(ResourceArena, EntriesMadeOutsideTheArenaGoBackToTheAllocator) {
    Engine engine(4096);
    destroyed.clear();
    auto* entry = static_cast<RwResourceEntry*>(RwMalloc(sizeof(RwResourceEntry) + 16, 0x3050D));
    *entry = {{nullptr, nullptr}, 16, const_cast<char*>("outside"), nullptr, Notify};
    EXPECT_TRUE(RwResourcesFreeResourceEntry(entry));
    EXPECT_EQ(destroyed, std::vector<std::string>{"outside"});
}

// The heap alone, over a block of our own.
struct HeapBuffer {
    alignas(32) RwUInt8 bytes[32 * 64];
    RwResourceHeap* heap = reinterpret_cast<RwResourceHeap*>(bytes);
    HeapBuffer() { EXPECT_TRUE(RwResourceHeapInit(heap, bytes, sizeof(bytes))); }
    ptrdiff_t Offset(void* p) const { return static_cast<RwUInt8*>(p) - bytes; }
};

TEST(ResourceHeap, SplitsFirstFitAndMergesNeighbours) {
    HeapBuffer buffer;
    // The first block's header follows the heap record, rounded up to 32.
    void* a = RwResourceHeapAlloc(buffer.heap, 1);
    void* b = RwResourceHeapAlloc(buffer.heap, 100);
    void* c = RwResourceHeapAlloc(buffer.heap, 32);
    EXPECT_EQ(buffer.Offset(a), 64);
    EXPECT_EQ(buffer.Offset(b), 64 + 32 + 32);
    EXPECT_EQ(buffer.Offset(c), 128 + 128 + 32);

    RwResourceHeapFree(b);
    EXPECT_EQ(RwResourceHeapAlloc(buffer.heap, 64), b); // 128 is not more than 64 + 64: taken whole
    EXPECT_EQ(buffer.Offset(RwResourceHeapAlloc(buffer.heap, 1)), buffer.Offset(c) + 64);

    RwResourceHeapFree(b);
    RwResourceHeapFree(a);
    EXPECT_EQ(RwResourceHeapAlloc(buffer.heap, 128 + 32 + 32), a); // a and b merged

    HeapBuffer fresh;
    const size_t whole = sizeof(fresh.bytes) - 64; // less the heap record and the first header
    EXPECT_EQ(RwResourceHeapAlloc(fresh.heap, whole + 1), nullptr);
    void* all = RwResourceHeapAlloc(fresh.heap, whole);
    ASSERT_NE(all, nullptr);
    RwResourceHeapFree(all);
    void* parts[3] = {RwResourceHeapAlloc(fresh.heap, 200), RwResourceHeapAlloc(fresh.heap, 200),
                      RwResourceHeapAlloc(fresh.heap, 200)};
    for (void* p : {parts[1], parts[0], parts[2]}) {
        RwResourceHeapFree(p);
    }
    EXPECT_EQ(RwResourceHeapAlloc(fresh.heap, whole), all); // everything merged back into one block
}

TEST(ResourceHeap, AOneByteEntryTakesOnePayloadGranuleStep) {
    Engine engine(64 * 1024);
    Owner a{"a"}, b{"b"};
    ASSERT_TRUE(a.Allocate(1));
    ASSERT_TRUE(b.Allocate(1));
    // sizeof(RwResourceEntry) + 1 bytes round up to whole 32-byte granules, plus the 32-byte block header.
    const ptrdiff_t payload = (static_cast<ptrdiff_t>(sizeof(RwResourceEntry)) + 1 + 31) / 32 * 32;
    EXPECT_EQ(reinterpret_cast<RwUInt8*>(b.entry) - reinterpret_cast<RwUInt8*>(a.entry), payload + 32);
}

TEST(ResourceHeap, TooSmallABlockIsRefused) {
    alignas(32) RwUInt8 bytes[64 + 32];
    auto* heap = reinterpret_cast<RwResourceHeap*>(bytes);
    EXPECT_FALSE(RwResourceHeapInit(heap, bytes, 64 + 31));
    EXPECT_TRUE(RwResourceHeapInit(heap, bytes, sizeof(bytes)));
}

} // namespace
