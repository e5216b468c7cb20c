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

namespace {
// Enough for the slices streaming around the camera at once; beyond that spares are let go.
constexpr size_t SpareLimit = 32;
} // namespace
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
        // The read fills the buffer whole or fails: no need to clear it.
        record->data = std::make_unique_for_overwrite<uint8_t[]>(record->size);
        record->capacity = record->size;
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
    if (record && record->data && SpareReads.size() < SpareLimit) {
        if (SpareReads.capacity() < SpareLimit) {
            SpareReads.reserve(SpareLimit);
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
        added = Entries.try_emplace(Key{String(key.name), key.level}).first;
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
