#include "base/Info.h"

#include "base/InfoPool.h"
#include "base/Parse.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <new>

namespace Base {

int Info::IncludeDepth = 0;

Info::Info(const Info& other, bool deep) : value(other.value), reference(other.reference) {
    for (const auto& [name, child] : other.children) {
        if (deep) {
            auto copy = std::make_shared<Info>(*child, true);
            copy->parent = this;
            children.emplace_hint(children.end(), name, std::move(copy));
        } else {
            Adopt(child);
            children.emplace_hint(children.end(), name, child);
        }
    }
}

Info::Info(Info&& other) noexcept : value(std::move(other.value)), reference(other.reference) {
    // Assigned rather than taken whole: an array from a load's pool must stay with a node of that pool.
    children = std::move(other.children);
    other.children.clear();
    for (auto& entry : children)
        if (entry.second->parent == &other)
            entry.second->parent = this;
}

Info::~Info() {
    // Children held elsewhere as well outlive this node: they must not point back at it. The others go
    // with it, and are not touched here: a big tree is mostly those.
    for (auto& entry : children)
        if (entry.second.use_count() > 1 && entry.second->parent == this)
            entry.second->parent = nullptr;
}

Info& Info::operator=(const Info& other) {
    if (this != &other) {
        // Copied first: other may be one of this node's own descendants.
        Info copy(other, true);
        *this = std::move(copy);
    }
    return *this;
}

Info& Info::operator=(Info&& other) noexcept {
    if (this == &other)
        return *this;
    ClearChildren(true);
    children = std::move(other.children);
    other.children.clear();
    for (auto& entry : children)
        if (entry.second->parent == &other)
            entry.second->parent = this;
    value = std::move(other.value);
    reference = other.reference;
    parent = nullptr;
    shared = false;
    return *this;
}

Info Info::ConstructFromFile(std::string_view path) {
    Info tree;
    tree.LoadFile(path);
    return tree;
}

void Info::Adopt(const std::shared_ptr<Info>& child) {
    if (!child->parent && !child->shared) {
        child->parent = this;
    } else {
        child->parent = nullptr;
        child->shared = true;
    }
}

Info::ChildMap::iterator Info::InsertPosition(std::string_view name) {
    // Files mostly list a block's keys in order (the writer does, and generated keys always grow), so a
    // name after the last one is placed without a search.
    if (children.empty() || children.rbegin()->first < name)
        return children.end();
    return children.lower_bound(name);
}

Info* Info::Walk(std::string_view path, bool create) {
    Info* node = this;
    for (;;) {
        size_t dot = path.find('.');
        std::string_view name = path.substr(0, dot);
        ChildMap::iterator found;
        if (!create) {
            found = node->children.find(name);
            if (found == node->children.end())
                return nullptr;
        } else {
            found = node->InsertPosition(name);
            if (found == node->children.end() || found->first != name) {
                auto made = MakeNode();
                made->parent = node;
                found = node->children.emplace_hint(found, String(name), std::move(made));
            }
        }
        node = found->second.get();
        if (dot == std::string_view::npos)
            return node;
        path.remove_prefix(dot + 1);
    }
}

bool Info::AddChild(std::string_view path, std::shared_ptr<Info> child) {
    if (path.empty() || !child)
        return false;
    size_t dot = path.rfind('.');
    Info* holder = dot == std::string_view::npos ? this : Walk(path.substr(0, dot), true);
    std::string_view name = dot == std::string_view::npos ? path : path.substr(dot + 1);
    auto position = holder->InsertPosition(name);
    if (position != holder->children.end() && position->first == name)
        return false;
    // A node cannot become its own descendant (one without children can only be the holder itself).
    for (const Info* up = holder; up; up = child->children.empty() ? nullptr : up->parent)
        if (up == child.get())
            return false;
    holder->Adopt(child);
    holder->children.emplace_hint(position, String(name), std::move(child));
    return true;
}

bool Info::AddChild(std::string_view path, const Info& child) {
    return AddChild(path, std::make_shared<Info>(child, true));
}

Info* Info::AddValue(std::string_view path, String text, bool isReference) {
    auto node = MakeNode();
    node->SetValue(std::move(text), isReference);
    Info* raw = node.get();
    return AddChild(path, std::move(node)) ? raw : nullptr;
}

void Info::AddChildren(const ChildMap& entries, bool copy) {
    if (&entries == &children)
        return;
    for (const auto& [name, child] : entries) {
        if (copy)
            AddChild(name, *child);
        else
            AddChild(name, child);
    }
}

Info::ChildMap Info::ClearChildren(bool destroy) {
    ChildMap old;
    old.swap(children);
    for (auto& entry : old)
        if (entry.second->parent == this)
            entry.second->parent = nullptr;
    if (destroy)
        old.clear();
    return old;
}

void Info::SetFloat(std::string_view path, float number) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, number);
    Walk(path, true)->SetValue(String(text, result.ptr), false);
}

const Info::Entry* Info::FindChild(std::string_view path) const {
    size_t dot = path.rfind('.');
    const Info* holder = dot == std::string_view::npos ? this : GetChild(path.substr(0, dot));
    if (!holder)
        return nullptr;
    auto found = holder->children.find(dot == std::string_view::npos ? path : path.substr(dot + 1));
    return found == holder->children.end() ? nullptr : &*found;
}

Info::Entry* Info::FindChildForWrite(std::string_view path) {
    return const_cast<Entry*>(static_cast<const Info*>(this)->FindChild(path));
}

const Info::Entry* Info::FindDirectChild(std::string_view name) const {
    auto found = children.find(name);
    return found == children.end() ? nullptr : &*found;
}

const Info* Info::GetChild(std::string_view path) const {
    return const_cast<Info*>(this)->Walk(path, false);
}

Info* Info::GetChildForWrite(std::string_view path) {
    return Walk(path, false);
}

String Info::GetValue() const {
    return reference ? ResolveValue(value) : value;
}

String Info::ResolveValue(std::string_view name) const {
    std::vector<const Info*> visited;
    const Info* node = this;
    String current(name);
    for (;;) {
        const Info* found = nullptr;
        for (const Info* scope = node; scope && !found; scope = scope->parent) {
            auto entry = scope->children.find(current);
            if (entry != scope->children.end())
                found = entry->second.get();
        }
        if (!found)
            return {};
        if (!found->reference)
            return found->value;
        // A chain of references that comes back on itself resolves to nothing.
        if (std::find(visited.begin(), visited.end(), found) != visited.end())
            return {};
        visited.push_back(found);
        current = found->value;
        node = found;
    }
}

void Info::CollectValues(std::vector<String>& out) const {
    for (const auto& entry : children)
        out.push_back(entry.second->GetValue());
}

// ---- typed getters

namespace {

template <class Parser> bool Get(const Info& tree, std::string_view path, Parser parse) {
    const Info* node = tree.GetChild(path);
    return node && parse(node->GetValue());
}

void SetFound(bool* found, bool value) {
    if (found)
        *found = value;
}

} // namespace

bool Info::TryGetString(std::string_view path, String& out) const {
    const Info* node = GetChild(path);
    if (!node)
        return false;
    out = node->GetValue();
    return true;
}

String Info::GetStringDefault(std::string_view path, const String& fallback, bool* found) const {
    String out;
    bool ok = TryGetString(path, out);
    SetFound(found, ok);
    return ok ? out : fallback;
}

bool Info::GetBoolDefault(std::string_view path, bool fallback, bool* found) const {
    bool out = fallback;
    SetFound(found, TryGetBool(path, out));
    return out;
}

float Info::GetFloatDefault(std::string_view path, float fallback, bool* found) const {
    float out = fallback;
    SetFound(found, TryGetFloat(path, out));
    return out;
}

void Info::GetVector3Default(std::string_view path, const Vector3& fallback, Vector3& out,
                             bool* found) const {
    Vector3 v = fallback;
    SetFound(found, TryGetVector3(path, v));
    out = v;
}

Vector3 Info::GetVector3Default(std::string_view path, const Vector3& fallback, bool* found) const {
    Vector3 out;
    GetVector3Default(path, fallback, out, found);
    return out;
}

void Info::GetColorDefault(std::string_view path, const Color& fallback, Color& out, bool* found) const {
    Color c = fallback;
    SetFound(found, TryGetColor(path, c));
    out = c;
}

Vector2 Info::GetPointDefault(std::string_view path, Vector2 fallback, bool* found) const {
    SetFound(found, TryGetPoint(path, fallback));
    return fallback;
}

bool Info::GetRect(std::string_view path, Rect& out) const {
    return Get(*this, path, [&](const String& v) { return ParseRect(v, out); });
}

bool Info::TryGetPoint(std::string_view path, Vector2& out) const {
    return Get(*this, path, [&](const String& v) { return ParsePoint(v, out); });
}

bool Info::TryGetValueAsRect(Rect& out) const {
    return ParseRect(GetValue(), out);
}

bool Info::TryGetBool(std::string_view path, bool& out) const {
    return Get(*this, path, [&](const String& v) { return ParseBool(v, out); });
}

bool Info::TryGetInt(std::string_view path, int32_t& out) const {
    return Get(*this, path, [&](const String& v) { return ParseInt(v, out); });
}

bool Info::TryGetUInt(std::string_view path, uint32_t& out) const {
    return Get(*this, path, [&](const String& v) { return ParseUInt(v, out); });
}

bool Info::TryGetFloat(std::string_view path, float& out) const {
    return Get(*this, path, [&](const String& v) { return ParseFloat(v, out); });
}

bool Info::TryGetInt2(std::string_view path, int32_t& x, int32_t& y) const {
    return Get(*this, path, [&](const String& v) { return ParseIntPair(v, x, y); });
}

bool Info::TryGetVector3(std::string_view path, Vector3& out) const {
    return Get(*this, path, [&](const String& v) { return ParseVector3(v, out); });
}

bool Info::TryGetColor(std::string_view path, Color& out) const {
    return Get(*this, path, [&](const String& v) { return ParseColor(v, out); });
}

// ---- the pool of a load

namespace {
thread_local InfoPool* currentPool = nullptr;
constexpr size_t FirstBlock = 64 * 1024, LargestBlock = 4 * 1024 * 1024;

// Blocks of freed pools, kept for the next load: fresh memory costs a page fault per 4 KB, more than the
// parse itself.
struct SpareBlocks {
    std::mutex lock;
    std::vector<std::pair<std::unique_ptr<std::byte[]>, size_t>> blocks;
    size_t bytes = 0;
    static constexpr size_t Limit = 32 * 1024 * 1024;
};

SpareBlocks& Spares() {
    static SpareBlocks* spares = new SpareBlocks; // never freed: pools may die during exit
    return *spares;
}
} // namespace

InfoPool::Scope::Scope() : pool(new InfoPool), previous(currentPool) {
    currentPool = pool;
}

InfoPool::Scope::~Scope() {
    currentPool = previous;
    pool->sealed = true;
    // The scope's hold becomes the count of nodes taken: the pool goes with the last of them.
    pool->Drop(InfoPool::ScopeHold - pool->taken);
}

InfoPool* InfoPool::Current() {
    return currentPool;
}

void* InfoPool::Bump(size_t bytes, size_t alignment) {
    auto aligned = [&] {
        auto at = reinterpret_cast<uintptr_t>(next);
        return reinterpret_cast<std::byte*>((at + alignment - 1) & ~uintptr_t(alignment - 1));
    };
    std::byte* at = next ? aligned() : nullptr;
    if (!at || at + bytes > limit) {
        size_t size = blocks.empty() ? FirstBlock : std::min(blocks.back().size * 2, LargestBlock);
        size = std::max(size, bytes + alignment);
        std::unique_ptr<std::byte[]> memory;
        {
            SpareBlocks& spares = Spares();
            std::lock_guard hold(spares.lock);
            auto found = std::find_if(spares.blocks.begin(), spares.blocks.end(),
                                      [&](const auto& spare) { return spare.second >= size; });
            if (found != spares.blocks.end()) {
                memory = std::move(found->first);
                size = found->second;
                spares.bytes -= size;
                spares.blocks.erase(found);
            }
        }
        if (!memory)
            memory = std::make_unique_for_overwrite<std::byte[]>(size);
        blocks.push_back({std::move(memory), size});
        next = blocks.back().bytes.get();
        limit = next + size;
        at = aligned();
    }
    next = at + bytes;
    return at;
}

InfoPool::~InfoPool() {
    SpareBlocks& spares = Spares();
    std::lock_guard hold(spares.lock);
    for (Block& block : blocks) {
        if (spares.bytes + block.size > SpareBlocks::Limit)
            break;
        spares.bytes += block.size;
        spares.blocks.emplace_back(std::move(block.bytes), block.size);
    }
}

bool InfoPool::Owns(const void* p) const {
    auto* b = static_cast<const std::byte*>(p);
    return std::any_of(blocks.begin(), blocks.end(), [&](const Block& block) {
        return b >= block.bytes.get() && b < block.bytes.get() + block.size;
    });
}

void* InfoPool::do_allocate(size_t bytes, size_t alignment) {
    if (!sealed)
        return Bump(bytes, alignment);
    return ::operator new(bytes, std::align_val_t(alignment));
}

void InfoPool::do_deallocate(void* p, size_t, size_t alignment) {
    // Pool memory comes back with the whole pool.
    if (!Owns(p))
        ::operator delete(p, std::align_val_t(alignment));
}

std::shared_ptr<Info> Info::MakeNode() {
    if (InfoPool* pool = InfoPool::Current())
        return std::allocate_shared<Info>(InfoPoolAllocator<Info>(pool), pool);
    return std::make_shared<Info>();
}

} // namespace Base
