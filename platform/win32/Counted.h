// Reference counting for the platform layers' COM objects: an object starts with the one reference its maker
// hands out and deletes itself when the last is released.
#pragma once

#include <windows.h>

#include <atomic>

namespace Win32 {

template <class Interface> class Counted : public Interface {
public:
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> references_{1};
};

} // namespace Win32
