// The memory of one loaded *.info tree. Its nodes and their children's arrays come from a few large blocks,
// so that a load makes few heap allocations and freeing the tree gives nothing back piece by piece. The
// blocks live while any node of the load does (a shared child keeps them).
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <memory_resource>
#include <vector>

namespace Base {

class InfoPool final : public std::pmr::memory_resource {
public:
    // Nodes made on this thread while a scope is open come from its pool.
    class Scope {
    public:
        Scope();
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        InfoPool* pool;
        InfoPool* previous;
    };

    // The pool of the load in progress on this thread, if any.
    static InfoPool* Current();

    // Memory for one object from the blocks, counted as a live node until Release. Only the loading thread
    // takes nodes, so they are counted without a lock and added to the live count when the load ends.
    void* TakeNode(size_t bytes, size_t alignment) {
        ++taken;
        return Bump(bytes, alignment);
    }
    void Release() { Drop(1); }

private:
    InfoPool() = default;
    ~InfoPool() override;

    void* Bump(size_t bytes, size_t alignment);
    bool Owns(const void* p) const;

    void* do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void* p, size_t bytes, size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }

    struct Block {
        std::unique_ptr<std::byte[]> bytes;
        size_t size;
    };
    std::vector<Block> blocks;
    std::byte* next = nullptr;
    std::byte* limit = nullptr;
    void Drop(long count) {
        if (live.fetch_sub(count, std::memory_order_acq_rel) == count)
            delete this;
    }

    // While the load runs, the scope holds this many: more than the nodes that can die before it ends.
    static constexpr long ScopeHold = long(1) << 60;
    std::atomic<long> live{ScopeHold}; // the open scope's hold, and the nodes taken since it closed
    long taken = 0;
    // Once the load is over, other threads may edit the tree: new arrays come from the heap.
    bool sealed = false;
};

// The allocator of a node and its shared_ptr's count, from the load's pool.
template <class T> struct InfoPoolAllocator {
    using value_type = T;
    InfoPool* pool;
    explicit InfoPoolAllocator(InfoPool* p) : pool(p) {}
    template <class U> InfoPoolAllocator(const InfoPoolAllocator<U>& other) : pool(other.pool) {}
    T* allocate(size_t n) { return static_cast<T*>(pool->TakeNode(n * sizeof(T), alignof(T))); }
    void deallocate(T*, size_t) { pool->Release(); }
    template <class U> bool operator==(const InfoPoolAllocator<U>& other) const { return pool == other.pool; }
};

} // namespace Base
