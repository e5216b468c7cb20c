#include "base/AsyncLoader.h"

#include "platform/win32/Files.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace Base {

namespace {

// Lock order in the worker: queue, then test, then read, never two at once. Cancel holds test while it
// waits for read; the worker never takes test while it holds read.
std::mutex queueMutex; // the request heap, the request list and its count, the stop flag
std::mutex readMutex;  // one whole read, from the cancel test to its end
std::mutex testMutex;  // the current request
// Signalled by Enqueue and Stop: the worker sleeps here instead of polling an empty queue.
std::condition_variable queueChanged;

std::vector<AsyncLoader::Request> heap;
AsyncLoader::Handle sentinel{AsyncLoader::Queued, &sentinel, &sentinel};
size_t requestCount = 0;
bool stopping = false;
bool running = false;
std::thread worker;
AsyncLoader::Handle* current = nullptr;
// Under the queue mutex: handles and name buffers of finished requests, reused so that a request costs no
// allocation once the loader has run a while.
constexpr size_t spareLimit = 64;
std::vector<std::unique_ptr<AsyncLoader::Handle>> spareHandles;
std::vector<String> spareNames;

// A failed read leaves its owner with a fallback (a coarser texture) for good: said once a file, from the
// worker only, before the owner can see the failure.
void ReportFailedRead(const AsyncLoader::Request& request) {
    static std::set<String, std::less<>> told;
    if (told.insert(request.name).second)
        std::fprintf(stderr, "The file loader cannot read '%s' (%u bytes at %u).\n",
                     Clip(request.name).c_str(), unsigned(request.size), unsigned(request.offset));
}

bool LowerPriority(const AsyncLoader::Request& a, const AsyncLoader::Request& b) {
    return a.priority < b.priority;
}

// Under the queue mutex.
void Unlink(AsyncLoader::Handle* handle) {
    if (handle == &sentinel) {
        return;
    }
    handle->previous->next = handle->next;
    handle->next->previous = handle->previous;
    --requestCount;
    if (spareHandles.size() < spareLimit) {
        if (spareHandles.capacity() < spareLimit)
            spareHandles.reserve(spareLimit);
        handle->previous = handle->next = nullptr;
        spareHandles.emplace_back(handle);
    } else {
        delete handle;
    }
}

// Under the queue mutex.
void KeepName(String&& name) {
    if (name.capacity() > String().capacity() && spareNames.size() < spareLimit) {
        if (spareNames.capacity() < spareLimit)
            spareNames.reserve(spareLimit);
        spareNames.push_back(std::move(name));
    }
}

} // namespace

bool (*AsyncLoader::ReadRange)(const String& name, uint32_t offset, uint32_t size,
                               void* buffer) = AsyncLoader::ReadFileRange;

bool AsyncLoader::ReadFileRange(const String& name, uint32_t offset, uint32_t size, void* buffer) {
    return Win32::ReadFileRange(name, offset, buffer, size);
}

void AsyncLoader::Start() {
    std::lock_guard lock(queueMutex);
    if (running) {
        return;
    }
    stopping = false;
    running = true;
    worker = std::thread(ThreadProc);
}

void AsyncLoader::Stop() {
    {
        std::lock_guard lock(queueMutex);
        if (!running) {
            return;
        }
        stopping = true;
    }
    queueChanged.notify_all();
    worker.join();
    {
        std::lock_guard test(testMutex);
        current = nullptr;
    }
    std::lock_guard lock(queueMutex);
    // Nothing will take these any more: cancelled handles are ours to free, the others stay with their
    // owners in state Queued.
    for (Request& request : heap) {
        if (request.state->state.load() == Cancelled) {
            Unlink(request.state);
        }
    }
    heap.clear();
    running = false;
}

bool AsyncLoader::Running() {
    std::lock_guard lock(queueMutex);
    return running;
}

bool AsyncLoader::Stopping() {
    std::lock_guard lock(queueMutex);
    return running && stopping;
}

AsyncLoader::Handle* AsyncLoader::Enqueue(std::string_view name, uint32_t offset, uint32_t size,
                                          int32_t priority, void* buffer) {
    Handle* handle;
    {
        std::lock_guard lock(queueMutex);
        if (spareHandles.empty()) {
            handle = new Handle;
        } else {
            handle = spareHandles.back().release();
            spareHandles.pop_back();
            handle->state.store(Queued);
        }
        String copy;
        if (!spareNames.empty()) {
            copy = std::move(spareNames.back());
            spareNames.pop_back();
        }
        copy.assign(name);
        handle->previous = sentinel.previous;
        handle->next = &sentinel;
        sentinel.previous->next = handle;
        sentinel.previous = handle;
        ++requestCount;
        heap.push_back(Request{std::move(copy), offset, size, priority, buffer, handle});
        std::push_heap(heap.begin(), heap.end(), LowerPriority);
    }
    queueChanged.notify_one();
    return handle;
}

int32_t AsyncLoader::Cancel(Handle* handle) {
    std::lock_guard test(testMutex);
    if (handle == current) {
        // The worker may be reading it: whoever holds the read mutex first decides.
        std::lock_guard read(readMutex);
        int32_t state = handle->state.load();
        if (state == Queued) {
            handle->state.store(Cancelled);
            return Cancelled;
        }
        return state;
    }
    // Not taken yet: the worker needs the test mutex before it can start on it.
    int32_t state = handle->state.load();
    if (state != Queued) {
        return state;
    }
    std::lock_guard lock(queueMutex);
    if (!running) {
        // No worker will come for it: take it out of the queue and free it here.
        heap.erase(
            std::remove_if(heap.begin(), heap.end(), [&](const Request& r) { return r.state == handle; }),
            heap.end());
        std::make_heap(heap.begin(), heap.end(), LowerPriority);
        Unlink(handle);
        return Cancelled;
    }
    handle->state.store(Cancelled);
    return Cancelled;
}

void AsyncLoader::Free(Handle* handle) {
    std::lock_guard lock(queueMutex);
    Unlink(handle);
}

size_t AsyncLoader::RequestCount() {
    std::lock_guard lock(queueMutex);
    return requestCount;
}

void AsyncLoader::ThreadProc() {
    Request request;
    for (;;) {
        {
            std::unique_lock lock(queueMutex);
            KeepName(std::move(request.name));
            queueChanged.wait(lock, [] { return stopping || !heap.empty(); });
            if (stopping) {
                return;
            }
            std::pop_heap(heap.begin(), heap.end(), LowerPriority);
            request = std::move(heap.back());
            heap.pop_back();
        }
        {
            std::lock_guard test(testMutex);
            current = request.state;
        }
        bool cancelled = false;
        {
            std::lock_guard read(readMutex);
            if (request.state->state.load() == Cancelled) {
                cancelled = true;
            } else {
                bool ok = ReadRange(request.name, request.offset, request.size, request.buffer);
                if (!ok)
                    ReportFailedRead(request);
                request.state->state.store(ok ? Read : Failed, std::memory_order_release);
            }
        }
        if (cancelled) {
            std::lock_guard lock(queueMutex);
            Unlink(request.state);
        }
    }
}

} // namespace Base
