// A node of the *.info configuration tree: a value, a reference flag and named children, looked up by
// dotted keys ("ComplexPhysicsParams.Mass") with typed getters that take the caller's default.
#pragma once

#include "base/Maths.h"
#include "base/String.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace Base {

class Info;

// A node's children by name, in byte-wise order, side by side in one array: a loaded tree is walked and
// freed far more often than it is edited. A shallow copy shares child nodes, so they are shared_ptr.
class InfoChildren {
public:
    using value_type = std::pair<String, std::shared_ptr<Info>>;

private:
    using Storage = std::vector<value_type, std::pmr::polymorphic_allocator<value_type>>;

public:
    using iterator = Storage::iterator;
    using const_iterator = Storage::const_iterator;

    InfoChildren() = default;
    explicit InfoChildren(std::pmr::memory_resource* memory) : entries(memory) {}

    iterator begin() { return entries.begin(); }
    iterator end() { return entries.end(); }
    const_iterator begin() const { return entries.begin(); }
    const_iterator end() const { return entries.end(); }
    auto rbegin() const { return entries.rbegin(); }
    auto rend() const { return entries.rend(); }
    size_t size() const { return entries.size(); }
    bool empty() const { return entries.empty(); }

    // The first child not before name.
    iterator lower_bound(std::string_view name) {
        return std::lower_bound(entries.begin(), entries.end(), name,
                                [](const value_type& e, std::string_view n) { return e.first < n; });
    }
    const_iterator lower_bound(std::string_view name) const {
        return const_cast<InfoChildren*>(this)->lower_bound(name);
    }
    iterator find(std::string_view name) {
        auto found = lower_bound(name);
        return found != end() && found->first == name ? found : end();
    }
    const_iterator find(std::string_view name) const { return const_cast<InfoChildren*>(this)->find(name); }

    const std::shared_ptr<Info>& at(std::string_view name) const {
        auto found = find(name);
        if (found == end())
            throw std::out_of_range("no child of that name");
        return found->second;
    }

    // where must be the name's place in the order.
    iterator emplace_hint(const_iterator where, String name, std::shared_ptr<Info> node) {
        if (entries.capacity() == 0) {
            // Blocks mostly hold a few keys: skip the first steps of growth.
            entries.reserve(4);
            where = entries.begin();
        }
        return entries.emplace(where, std::move(name), std::move(node));
    }
    void clear() { entries.clear(); }
    // By moves: the two arrays may come from different memory.
    void swap(InfoChildren& other) {
        InfoChildren held(std::move(other));
        other = std::move(*this);
        *this = std::move(held);
    }

private:
    Storage entries;
};

class Info {
public:
    using ChildMap = InfoChildren;
    using Entry = ChildMap::value_type;

    // Trees nested deeper than this are refused by the parser: every walk over a tree recurses.
    static constexpr int MaxDepth = 512;
    // Files being included right now, across all loads.
    static int IncludeDepth;

    Info() = default;
    // A node whose children's array is kept in memory (the nodes of a loaded tree share one pool).
    explicit Info(std::pmr::memory_resource* memory) : children(memory) {}
    // Deep: every child copied; otherwise the child nodes are shared (see AddChild for their parent).
    Info(const Info& other, bool deep);
    Info(const Info& other) : Info(other, true) {}
    Info(Info&& other) noexcept;
    ~Info();
    // Replaces this node's value, flag and children by a deep copy of other's; the parent becomes null.
    Info& operator=(const Info& other);
    Info& operator=(Info&& other) noexcept;

    // A new tree read from a file; empty when the load fails.
    static Info ConstructFromFile(std::string_view path);

    // ---- the node itself
    const String& Value() const { return value; }
    bool IsReference() const { return reference; }
    void SetValue(String text, bool isReference = false) {
        value = std::move(text);
        reference = isReference;
    }
    Info* Parent() const { return parent; }
    bool IsShared() const { return shared; }
    const ChildMap& GetChildren() const { return children; }

    // ---- insertion (every path is dotted; missing intermediate nodes are made with empty values)
    // Fails, inserting nothing, when the path is empty or its last name exists. The first insertion of a
    // node sets its parent; a node inserted into a second tree is marked shared and loses its parent.
    bool AddChild(std::string_view path, std::shared_ptr<Info> child);
    // Inserts a deep copy of child.
    bool AddChild(std::string_view path, const Info& child);
    // The new node, or null when the insertion failed.
    Info* AddValue(std::string_view path, String text, bool isReference = false);
    // Each entry under its own name: copies when copy is set, shared nodes otherwise.
    void AddChildren(const ChildMap& entries, bool copy);
    template <class It> void AddChildren(It first, It last, bool copy) {
        for (; first != last; ++first) {
            if (copy)
                AddChild(first->first, *first->second);
            else
                AddChild(first->first, first->second);
        }
    }
    // Empties the child map. With destroy the children go (unless held elsewhere); without it they are only
    // detached (parent null) and handed to the caller, who owns them from then on.
    ChildMap ClearChildren(bool destroy = true);
    // Sets the value at a dotted key to the text of a float, making the node when it is missing.
    void SetFloat(std::string_view path, float number);

    // ---- lookup
    const Entry* FindChild(std::string_view path) const;
    Entry* FindChildForWrite(std::string_view path);
    const Entry* FindDirectChild(std::string_view name) const;
    const Info* GetChild(std::string_view path) const;
    Info* GetChildForWrite(std::string_view path);

    // The value, resolved when the node is a reference.
    String GetValue() const;
    // The value of the nearest node called name among this node's children, then its parent's children
    // and so on outward, following references. Empty when nothing resolves (also for a loop).
    String ResolveValue(std::string_view name) const;
    // Appends the resolved values of the direct children, in key order.
    void CollectValues(std::vector<String>& out) const;

    // ---- typed getters: the found flag (optional) is set when the key exists and its value converts
    bool TryGetString(std::string_view path, String& out) const;
    String GetStringDefault(std::string_view path, const String& fallback, bool* found = nullptr) const;
    bool GetBoolDefault(std::string_view path, bool fallback, bool* found = nullptr) const;
    float GetFloatDefault(std::string_view path, float fallback, bool* found = nullptr) const;
    void GetVector3Default(std::string_view path, const Vector3& fallback, Vector3& out,
                           bool* found = nullptr) const;
    Vector3 GetVector3Default(std::string_view path, const Vector3& fallback, bool* found = nullptr) const;
    void GetColorDefault(std::string_view path, const Color& fallback, Color& out,
                         bool* found = nullptr) const;
    Vector2 GetPointDefault(std::string_view path, Vector2 fallback, bool* found = nullptr) const;
    bool GetRect(std::string_view path, Rect& out) const;
    bool TryGetPoint(std::string_view path, Vector2& out) const;
    bool TryGetValueAsRect(Rect& out) const;

    // These leave out untouched unless the key exists and its value parses.
    bool TryGetBool(std::string_view path, bool& out) const;
    bool TryGetInt(std::string_view path, int32_t& out) const;
    bool TryGetUInt(std::string_view path, uint32_t& out) const;
    bool TryGetFloat(std::string_view path, float& out) const;
    bool TryGetInt2(std::string_view path, int32_t& x, int32_t& y) const;
    bool TryGetVector3(std::string_view path, Vector3& out) const;
    bool TryGetColor(std::string_view path, Color& out) const;

    // ---- the *.info syntax (InfoFile.cpp)
    // 0 on success, -1 when the file cannot be opened (tree unchanged), else the line of the failure; a
    // failed parse leaves this node without children.
    int LoadFile(std::string_view path);
    // The same over text in memory; includes are looked up in directory.
    int LoadText(std::string_view text, std::string_view directory = {});
    // Writes the children in the writer's layout. False, and no file written, when a name or value could
    // not be read back as it stands (see Writable), or when the file cannot be written.
    bool SaveFile(std::string_view path) const;
    // The text SaveFile writes; false when the tree cannot be written faithfully.
    bool SaveText(String& out) const;
    // Whether the writer can store this value so that it reads back the same.
    static bool Writable(std::string_view text, bool isReference);

private:
    // A new empty node: from the pool of the load in progress, else from the heap.
    static std::shared_ptr<Info> MakeNode();

    void Adopt(const std::shared_ptr<Info>& child);
    Info* Walk(std::string_view path, bool create);
    // The first child not before name: where name is, or where it would go.
    ChildMap::iterator InsertPosition(std::string_view name);

    ChildMap children;
    String value;
    Info* parent = nullptr;
    bool reference = false;
    bool shared = false;
};

} // namespace Base
