#include "base/StreamedTextureCache.h"

#include <algorithm>
#include <utility>

namespace Base {

std::map<StreamedTextureCache::Key, StreamedTextureCache::Entry> StreamedTextureCache::Entries;
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
StreamedTextureCache::StartRead(uint32_t level, uint32_t side, int32_t priority, const String& name,
                                bool dxt1) {
    auto record = std::make_unique<ReadRecord>();
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
    record->data = std::make_unique<uint8_t[]>(record->size);
    record->request = AsyncLoader::Enqueue(name, offset, record->size, priority, record->data.get());
    int32_t state = AsyncLoader::GetState(record->request);
    if (state == AsyncLoader::Read || state == AsyncLoader::Failed) {
        AsyncLoader::Free(record->request);
        record->request = nullptr;
        record->state = state;
    }
    return record;
}

StreamedTextureCache::Entry* StreamedTextureCache::Request(const String& name, uint32_t level,
                                                           int32_t priority) {
    Entry* nearest = nullptr;
    uint32_t nearestDistance = 0;
    for (auto it = Entries.lower_bound(Key{name, 0}); it != Entries.end() && it->first.name == name; ++it) {
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
    return Acquire(Key{name, level}, nearest, priority);
}

StreamedTextureCache::Entry* StreamedTextureCache::Acquire(const Key& key, Entry* fallback,
                                                           int32_t priority) {
    auto found = Entries.find(key);
    if (found != Entries.end()) {
        ++found->second.references;
        return &found->second;
    }
    Entry& entry = Entries[key];
    entry.name = key.name;
    entry.level = key.level;
    entry.references = 1;
    if (fallback) {
        ++fallback->references;
        entry.fallback = fallback;
    }
    entry.read = StartRead(key.level, Side, priority, key.name);
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
            entry.read.reset();
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
    // The entry goes with its key: its name moves into the key rather than being copied.
    Entries.erase(Key{std::move(entry->name), entry->level});
}

} // namespace Base
