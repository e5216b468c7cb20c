// Tracked pointers: a target knows every SmartPtr aimed at it and sets them to null when it dies.
#pragma once

namespace Base {

// A link of a circular doubly linked list; a lone link points at itself.
struct SmartPtrLink {
    SmartPtrLink* next = this;
    SmartPtrLink* prev = this;

    SmartPtrLink() = default;
    SmartPtrLink(const SmartPtrLink&) = delete;
    SmartPtrLink& operator=(const SmartPtrLink&) = delete;

    bool IsLinked() const { return next != this; }
    void Unlink() {
        next->prev = prev;
        prev->next = next;
        next = prev = this;
    }
    // Links this right after head. Not inlined: GCC 12 at -O3 takes a local pointer's link
    // stored in its target for a dangling pointer (a false -Wdangling-pointer).
    [[gnu::noinline]] void LinkAfter(SmartPtrLink& head) {
        next = head.next;
        prev = &head;
        head.next->prev = this;
        head.next = this;
    }
};

// The untyped part of a SmartPtr: what a dying target needs to clear it.
class SmartPtrNode : public SmartPtrLink {
protected:
    void* pointer = nullptr;
    friend class SmartPtrTarget;
};

class SmartPtrTarget {
public:
    SmartPtrTarget() = default;
    // A copy is a new object: nothing points at it yet.
    SmartPtrTarget(const SmartPtrTarget&) {}
    SmartPtrTarget& operator=(const SmartPtrTarget&) { return *this; }
    ~SmartPtrTarget();

    bool HasTrackers() const { return head.IsLinked(); }

private:
    template <class T> friend class SmartPtr;
    SmartPtrLink head;
};

template <class T> class SmartPtr : private SmartPtrNode {
public:
    SmartPtr() = default;
    SmartPtr(T* target) { Assign(target); }
    SmartPtr(const SmartPtr& other) : SmartPtrNode() { Assign(other.Get()); }
    template <class U> SmartPtr(const SmartPtr<U>& other) { Assign(other.Get()); }
    ~SmartPtr() { Unlink(); }

    SmartPtr& operator=(const SmartPtr& other) {
        Assign(other.Get());
        return *this;
    }
    SmartPtr& operator=(T* target) {
        Assign(target);
        return *this;
    }

    // Leaves the old target's list; joins the front of the new one's (null only leaves).
    void Assign(T* target) {
        Unlink();
        pointer = static_cast<void*>(target);
        if (target)
            LinkAfter(static_cast<SmartPtrTarget*>(target)->head);
    }

    T* Get() const { return static_cast<T*>(pointer); }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }
    operator T*() const { return Get(); }
    bool IsLinked() const { return SmartPtrLink::IsLinked(); }
};

} // namespace Base
