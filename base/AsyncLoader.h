// Reads byte ranges of files on one background thread, so that textures stream in without stalling a frame.
// One loader per process: start-up starts it, shutdown stops it. The caller polls a request's state word.
#pragma once

#include "base/String.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Base {

class AsyncLoader {
public:
    enum State : int32_t { Queued = 0, Read = 1, Failed = 2, Cancelled = 3 };

    // A node of the request list; its value is the state word. The main thread may read the state without
    // a lock; a finished node (Read or Failed) belongs to the caller, who hands it back with Free.
    struct Handle {
        std::atomic<int32_t> state{Queued};
        Handle* previous = nullptr;
        Handle* next = nullptr;
    };

    struct Request {
        String name;
        uint32_t offset = 0;
        uint32_t size = 0;
        int32_t priority = 0;   // larger first
        void* buffer = nullptr; // the caller's, at least size bytes
        Handle* state = nullptr;
    };

    static void Start();
    // Joins the worker. Requests still queued are never read: their handles stay Queued (cancelled ones are
    // freed here).
    static void Stop();
    static bool Running();
    // A stop has been asked for and the worker is still being joined.
    static bool Stopping();

    static Handle* Enqueue(std::string_view name, uint32_t offset, uint32_t size, int32_t priority,
                           void* buffer);

    // Waits while the request is being read, and returns its final state. Read or Failed: the request had
    // already finished and the caller still owns the handle (Free it). Cancelled: the buffer is no longer
    // touched and the handle is gone (the worker frees it; while stopped, Cancel does).
    static int32_t Cancel(Handle* handle);
    // Unlinks and deletes a finished handle.
    static void Free(Handle* handle);

    static int32_t GetState(const Handle* handle) { return handle->state.load(std::memory_order_acquire); }
    // Handles in the request list.
    static size_t RequestCount();

    // Reads size bytes at offset of a file into buffer; false when the file cannot be opened or the range
    // cannot be read whole. Replaceable so that a read can be held up in tests.
    static bool (*ReadRange)(const String& name, uint32_t offset, uint32_t size, void* buffer);
    static bool ReadFileRange(const String& name, uint32_t offset, uint32_t size, void* buffer);

    static void ThreadProc();
};

} // namespace Base
