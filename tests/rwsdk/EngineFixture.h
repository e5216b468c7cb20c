// A started engine on the null device, with allocations counted.
#pragma once

#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

// Counts live blocks by size so that tests can see what the engine allocates and frees.
struct AllocationCounter {
    static inline std::map<void*, size_t> live;
    static inline size_t allocations = 0;
    static inline size_t largest = 0; // the largest single request since the last reset

    static void* Malloc(size_t size, RwUInt32) {
        largest = std::max(largest, size);
        void* p = std::malloc(size);
        if (p) {
            live[p] = size;
            ++allocations;
        }
        return p;
    }
    static void Free(void* p) {
        if (p) {
            live.erase(p);
        }
        std::free(p);
    }
    static void* Realloc(void* block, size_t size, RwUInt32) {
        largest = std::max(largest, size);
        void* p = std::realloc(block, size);
        if (p) {
            live.erase(block);
            live[p] = size;
        }
        return p;
    }
    static void* Calloc(size_t count, size_t size, RwUInt32) {
        largest = std::max(largest, count * size);
        void* p = std::calloc(count, size);
        if (p) {
            live[p] = count * size;
            ++allocations;
        }
        return p;
    }
    static constexpr RwMemoryFunctions functions = {Malloc, Free, Realloc, Calloc};
};

inline RwInt32 TakeError() {
    RwError error;
    RwErrorGet(&error);
    return error.errorCode;
}

class EngineTest : public ::testing::Test {
protected:
    // Init flags; plugins to register between Init and Open.
    virtual RwUInt32 InitFlags() const { return 0; }
    virtual void RegisterPlugins() {}

    void SetUp() override {
        AllocationCounter::live.clear();
        ASSERT_TRUE(RwEngineInit(&AllocationCounter::functions, InitFlags(), 0));
        RegisterPlugins();
        RwEngineOpenParams params = {nullptr};
        ASSERT_TRUE(RwEngineOpen(&params));
        ASSERT_TRUE(RwEngineStart());
        TakeError();
    }
    void TearDown() override {
        EXPECT_TRUE(RwEngineStop());
        EXPECT_TRUE(RwEngineClose());
        EXPECT_TRUE(RwEngineTerm());
        EXPECT_TRUE(AllocationCounter::live.empty()) << AllocationCounter::live.size() << " blocks left";
    }
};
