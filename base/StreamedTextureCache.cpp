#include "base/StreamedTextureCache.h"

#include <algorithm>
#include <utility>

namespace Base {

std::map<StreamedTextureCache::Key, StreamedTextureCache::Entry, StreamedTextureCache::KeyOrder>
    StreamedTextureCache::Entries;
std::vector<std::unique_ptr<StreamedTextureCache::ReadRecord>> StreamedTextureCache::SpareReads;
std::vector<std::map<StreamedTextureCache::Key, StreamedTextureCache::Entry,
                     StreamedTextureCache::KeyOrder>::node_type>
    StreamedTextureCache::SpareNodes;

size_t StreamedTextureCache::SpareLimit = StreamedTextureCache::DefaultSpareLimit;

namespace {
// Room kept in a spare entry's name: a path of up to this length takes it without allocating.
constexpr size_t NameRoom = 128;
} // namespace

void StreamedTextureCache::Reserve(size_t entries) {
    SpareLimit = std::max(DefaultSpareLimit, entries);
    SpareNodes.reserve(SpareLimit);
    SpareReads.reserve(DefaultSpareLimit);
    // Nodes made here, with room for their names, take the entries that come when the most are in use.
    std::map<Key, Entry, KeyOrder> made;
    for (size_t n = Entries.size() + SpareNodes.size(); n < entries; ++n) {
        String name;
        name.reserve(NameRoom);
        auto added = made.try_emplace(Key{std::move(name), uint32_t(n)}).first;
        SpareNodes.push_back(made.extract(added));
    }
}
RwTexture* (*StreamedTextureCache::CreateTexture)(uint32_t side, const uint8_t* data,
                                                  uint32_t size) = nullptr;
void (*StreamedTextureCache::DestroyTexture)(RwTexture* texture) = nullptr;

uint32_t StreamedTextureCache::LevelCount(uint32_t side) {
    uint32_t count = 0;
    for (; side > 0; side >>= 1) {
        ++count;
    }
    return count;
}

uint32_t StreamedTextureCache::LevelBytes(uint32_t side, uint32_t level, bool dxt1) {
    uint32_t blocks = std::max(1u, (level < 32 ? side >> level : 0) / 4);
    return (dxt1 ? 8 : 16) * blocks * blocks;
}

std::unique_ptr<StreamedTextureCache::ReadRecord>
StreamedTextureCache::StartRead(uint32_t level, uint32_t side, int32_t priority, std::string_view name,
                                bool dxt1) {
    std::unique_ptr<ReadRecord> record;
    if (SpareReads.empty()) {
        record = std::make_unique<ReadRecord>();
    } else {
        record = std::move(SpareReads.back());
        SpareReads.pop_back();
        record->state = AsyncLoader::Queued;
        record->request = nullptr;
        record->size = 0;
    }
    uint32_t levels = LevelCount(side);
    if (level >= levels) {
        // No such level in the file: there is nothing to read.
        record->state = AsyncLoader::Failed;
        return record;
    }
    uint32_t offset = HeaderBytes;
    for (uint32_t i = 0; i < level; ++i) {
        offset += LevelBytes(side, i, dxt1);
    }
    for (uint32_t i = level; i < levels; ++i) {
        record->size += LevelBytes(side, i, dxt1);
    }
    if (record->capacity < record->size) {
        // Room for the whole chain of this side, whatever level is asked: a record reused for any later
        // read of the side never grows again. The read fills the buffer whole or fails: no need to clear it.
        uint32_t whole = 0;
        for (uint32_t i = 0; i < levels; ++i) {
            whole += LevelBytes(side, i, dxt1);
        }
        record->data = std::make_unique_for_overwrite<uint8_t[]>(whole);
        record->capacity = whole;
    }
    record->request = AsyncLoader::Enqueue(name, offset, record->size, priority, record->data.get());
    int32_t state = AsyncLoader::GetState(record->request);
    if (state == AsyncLoader::Read || state == AsyncLoader::Failed) {
        AsyncLoader::Free(record->request);
        record->request = nullptr;
        record->state = state;
    }
    return record;
}

void StreamedTextureCache::Recycle(std::unique_ptr<ReadRecord> record) {
    if (record && record->data && SpareReads.size() < DefaultSpareLimit) {
        if (SpareReads.capacity() < DefaultSpareLimit) {
            SpareReads.reserve(DefaultSpareLimit);
        }
        SpareReads.push_back(std::move(record));
    }
}

StreamedTextureCache::Entry* StreamedTextureCache::Request(std::string_view name, uint32_t level,
                                                           int32_t priority) {
    Entry* nearest = nullptr;
    uint32_t nearestDistance = 0;
    for (auto it = Entries.lower_bound(KeyView{name, 0}); it != Entries.end() && it->first.name == name;
         ++it) {
        Entry& entry = it->second;
        if (!entry.texture) {
            continue;
        }
        uint32_t distance = entry.level > level ? entry.level - level : level - entry.level;
        if (!nearest || distance < nearestDistance) {
            nearest = &entry;
            nearestDistance = distance;
        }
    }
    return Acquire(KeyView{name, level}, nearest, priority);
}

StreamedTextureCache::Entry* StreamedTextureCache::Acquire(KeyView key, Entry* fallback, int32_t priority) {
    auto found = Entries.find(key);
    if (found != Entries.end()) {
        ++found->second.references;
        return &found->second;
    }
    decltype(Entries)::iterator added;
    if (SpareNodes.empty()) {
        String name;
        name.reserve(std::max(NameRoom, key.name.size()));
        name.assign(key.name);
        added = Entries.try_emplace(Key{std::move(name), key.level}).first;
    } else {
        // A node of a released entry: its key's buffer takes the new name.
        auto node = std::move(SpareNodes.back());
        SpareNodes.pop_back();
        node.key().name.assign(key.name);
        node.key().level = key.level;
        added = Entries.insert(std::move(node)).position;
    }
    Entry& entry = added->second;
    entry.name = added->first.name;
    entry.level = key.level;
    entry.references = 1;
    if (fallback) {
        ++fallback->references;
        entry.fallback = fallback;
    }
    entry.read = StartRead(key.level, Side, priority, entry.name);
    return &entry;
}

bool StreamedTextureCache::MapSeeThrough(uint32_t side, const uint8_t* data, uint32_t size,
                                         SeeThroughMap& map) {
    const uint32_t levels = LevelCount(side);
    uint64_t needed = 0;
    for (uint32_t level = 0; level < levels; ++level)
        needed += LevelBytes(side, level);
    if (side == 0 || side > Side || (Side >> (LevelCount(Side) - levels)) != side || size < needed)
        return false;
    constexpr uint32_t G = SeeThroughMap::Grid;
    SeeThroughMap result;
    result.cover.fill(SeeThroughMap::Never);
    // Marks in `areas` the areas under [x0, x1) x [y0, y1) of a side of s units, which may run past its
    // edges: they wrap.
    using Areas = std::array<uint8_t, G * G>;
    const auto mark = [](Areas& areas, int64_t x0, int64_t x1, int64_t y0, int64_t y1, int64_t s,
                         uint8_t level) {
        const auto first = [s](int64_t t) { return t * G >= 0 ? t * G / s : -((-t * G + s - 1) / s); };
        const auto last = [s](int64_t t) { return (t * G + s - 1) / s; }; // exclusive
        const int64_t ax0 = first(x0), ax1 = std::max(last(x1), ax0 + 1);
        const int64_t ay0 = first(y0), ay1 = std::max(last(y1), ay0 + 1);
        for (int64_t ay = ay0; ay < ay1 && ay < ay0 + G; ++ay)
            for (int64_t ax = ax0; ax < ax1 && ax < ax0 + G; ++ax) {
                uint8_t& at = areas[size_t(((ay % G) + G) % G) * G + size_t(((ax % G) + G) % G)];
                at = std::min(at, level);
            }
    };
    const uint32_t first = LevelCount(Side) - levels;
    result.largest = uint8_t(first);
    for (uint32_t level = 0; level < levels; ++level) {
        const uint32_t s = side >> level;
        const uint8_t number = uint8_t(first + level);
        const uint32_t blocks = std::max(1u, s / 4);
        for (uint32_t by = 0; by < blocks; ++by)
            for (uint32_t bx = 0; bx < blocks; ++bx) {
                const uint8_t* b = data + (size_t(by) * blocks + bx) * 8;
                const uint32_t c0 = b[0] | uint32_t(b[1]) << 8, c1 = b[2] | uint32_t(b[3]) << 8;
                // Texels and the half texel around them that a linear filter reaches, in half texels.
                const int64_t x0 = int64_t(bx) * 4, y0 = int64_t(by) * 4;
                // Only a block in its three-colour mode has a transparent index (3).
                if (c0 > c1) {
                    const int64_t x1 = std::min<int64_t>(x0 + 4, s), y1 = std::min<int64_t>(y0 + 4, s);
                    mark(result.cover, 2 * x0 - 1, 2 * x1 + 1, 2 * y0 - 1, 2 * y1 + 1, 2 * int64_t(s),
                         number);
                    continue;
                }
                const uint32_t indices =
                    b[4] | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
                for (uint32_t k = 0; k < 16; ++k) {
                    const int64_t x = x0 + k % 4, y = y0 + k / 4;
                    if (x < s && y < s)
                        mark((indices >> (2 * k) & 3) == 3 ? result.level : result.cover, 2 * x - 1,
                             2 * x + 3, 2 * y - 1, 2 * y + 3, 2 * int64_t(s), number);
                }
            }
        data += LevelBytes(side, level);
    }
    map = result;
    return true;
}

const StreamedTextureCache::SeeThroughMap* StreamedTextureCache::GetSeeThrough(const Entry* entry) {
    for (; entry; entry = entry->fallback) {
        if (entry->texture) {
            return &entry->seeThrough;
        }
    }
    return nullptr;
}

RwTexture* StreamedTextureCache::GetTexture(const Entry* entry) {
    for (; entry; entry = entry->fallback) {
        if (entry->texture) {
            return entry->texture;
        }
    }
    return nullptr;
}

void StreamedTextureCache::FinishRead(Entry& entry) {
    ReadRecord& record = *entry.read;
    if (record.state == AsyncLoader::Queued && record.request) {
        int32_t state = AsyncLoader::GetState(record.request);
        if (state == AsyncLoader::Read || state == AsyncLoader::Failed) {
            AsyncLoader::Free(record.request);
            record.request = nullptr;
            record.state = state;
        }
    }
    if (record.state == AsyncLoader::Read) {
        // A chain too short for a map shows everything under it, and covers it.
        entry.seeThrough.level.fill(0);
        entry.seeThrough.cover.fill(0);
        MapSeeThrough(Side >> entry.level, record.data.get(), record.size, entry.seeThrough);
        entry.texture =
            CreateTexture ? CreateTexture(Side >> entry.level, record.data.get(), record.size) : nullptr;
        if (!entry.texture) {
            // Kept without a texture for good, showing its fallback, as after a
            // failed read.
            record.state = AsyncLoader::Failed;
        } else {
            Recycle(std::move(entry.read));
            if (entry.fallback) {
                Release(std::exchange(entry.fallback, nullptr));
            }
            return;
        }
    }
    if (record.state == AsyncLoader::Failed) {
        record.data.reset();
    }
}

void StreamedTextureCache::Update() {
    for (auto& [key, entry] : Entries) {
        if (!entry.texture && entry.read) {
            FinishRead(entry);
        }
    }
}

void StreamedTextureCache::Release(Entry* entry) {
    if (entry->references > 1) {
        --entry->references;
        return;
    }
    if (entry->texture) {
        if (DestroyTexture) {
            DestroyTexture(entry->texture);
        }
    } else {
        if (entry->fallback) {
            Release(std::exchange(entry->fallback, nullptr));
        }
        if (entry->read && entry->read->request) {
            // Returns only once the worker no longer writes into the buffer; a
            // request that had finished in the meantime is still ours to hand back.
            int32_t state = AsyncLoader::Cancel(entry->read->request);
            if (state != AsyncLoader::Cancelled) {
                AsyncLoader::Free(entry->read->request);
            }
        }
    }
    // The entry's node is kept, with its read record, for a later entry.
    Recycle(std::move(entry->read));
    auto node = Entries.extract(Entries.find(KeyView{entry->name, entry->level}));
    if (SpareNodes.size() < SpareLimit) {
        if (SpareNodes.capacity() < SpareLimit) {
            SpareNodes.reserve(SpareLimit);
        }
        node.mapped() = Entry{};
        SpareNodes.push_back(std::move(node));
    }
}

} // namespace Base
