// Scene objects on the engine's frames: an attachment tree destroyed from the top (a child hung below another
// object leaves and dies with it), and frames, cameras and lights that can be hung in it.
#pragma once

#include "base/SmartPtr.h"
#include "scene/Frame.h"
#include "scene/Wrappers.h"

namespace Obj {

class Attachable : public virtual Base::SmartPtrTarget {
public:
    Attachable() = default;
    virtual ~Attachable();
    Attachable(const Attachable&) = delete;
    Attachable& operator=(const Attachable&) = delete;

    Attachable* GetParent() const { return parent; }
    // The most recently attached child first.
    Attachable* FirstChild() const { return firstChild; }
    Attachable* NextSibling() const { return nextSibling; }

    // The first attached child (newest first) of that class, or null.
    template <class T> T* FindChild() const {
        for (Attachable* child = firstChild; child; child = child->nextSibling)
            if (T* found = dynamic_cast<T*>(child))
                return found;
        return nullptr;
    }

protected:
    void LinkTo(Attachable* newParent);
    void Unlink();
    // Deletes every attached child, front first; each unlinks itself while it dies.
    void DeleteChildren();

    Attachable* parent = nullptr;
    Attachable* firstChild = nullptr;
    Attachable* prevSibling = nullptr;
    Attachable* nextSibling = nullptr;
};

class Frame : public Attachable, public Rw::Frame {
public:
    // A new identity frame, owned.
    Frame() = default;
    Frame(RwFrame* frame, bool owns) : Rw::Frame(frame, owns) {}
    ~Frame() override;

    // Hangs this object's frame below parentFrame, any frame of parent; keepWorld keeps the world placement.
    // With no parentFrame it joins the parent's tree only (to enter and leave the world and die with it).
    void AttachTo(Attachable* parent, RwFrame* parentFrame, bool keepWorld);
    // Only on an attached object; keepWorld keeps the world placement.
    void Detach(bool keepWorld);

    RwFrame* attachedToFrame = nullptr;

protected:
    // The first step of dying, before the engine parts go: leave the parent (keeping the world placement)
    // and delete the attached children. Safe to call twice.
    void LeaveTree();
};

class Camera : public Frame, public Rw::Camera {
public:
    Camera();
    ~Camera() override;
};

class Light : public Frame, public Rw::Light {
public:
    explicit Light(int type);
    ~Light() override;
};

} // namespace Obj
