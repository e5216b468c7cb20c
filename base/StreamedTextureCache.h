// Terrain and map textures streamed in the background at a chosen mip level
// from 512 x 512 DXT1 DDS files, showing the nearest level already loaded
// meanwhile. Textures are the engine's: the layer above installs the routines
// that make one from the read mip chain and destroy it.
#pragma once

#include "base/AsyncLoader.h"
#include "base/String.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

struct RwTexture;

namespace Base {

class StreamedTextureCache {
public:
    static constexpr uint32_t Side = 512;
    static constexpr uint32_t HeaderBytes = 128; // "DDS " and its header record
    static constexpr uint32_t FourCCDXT1 = 0x31545844;

    struct Key {
        String name;
        uint32_t level = 0;
    };
    // A key to look up with, borrowing its name.
    struct KeyView {
        std::string_view name;
        uint32_t level = 0;
    };
    // By name, then level; takes either kind of key, so that a lookup copies no name.
    struct KeyOrder {
        using is_transparent = void;
        static bool Less(std::string_view a, uint32_t aLevel, std::string_view b, uint32_t bLevel) {
            int order = a.compare(b);
            return order != 0 ? order < 0 : aLevel < bLevel;
        }
        template <typename A, typename B> bool operator()(const A& a, const B& b) const {
            return Less(a.name, a.level, b.name, b.level);
        }
    };

    struct ReadRecord {
        int32_t state = AsyncLoader::Queued;    // a copy of the request's: Queued, Read or Failed
        AsyncLoader::Handle* request = nullptr; // null once handed back to the loader
        std::unique_ptr<uint8_t[]> data;
        uint32_t size = 0;
        uint32_t capacity = 0; // of data: records and their buffers are reused
    };

    // Where a texture may show what lies under it, by mip level: for each of Grid x Grid areas of the
    // texture, the first level (numbered as in a Side x Side chain, 0 the largest) with a texel that is not
    // fully opaque in it, or within the half texel that linear filtering reaches from it (wrapping at the
    // edges, as the textures' addressing does); Never where no level has one. And the same for texels that
    // are not fully transparent: where none is reached, the texture drawn blended adds nothing.
    struct SeeThroughMap {
        static constexpr uint32_t Grid = 32;
        static constexpr uint8_t Never = 255;
        SeeThroughMap() {
            level.fill(Never);
            cover.fill(0);
        }
        std::array<uint8_t, Grid * Grid> level; // rows of areas, top first
        std::array<uint8_t, Grid * Grid> cover; // not fully transparent, from this level on
        uint8_t largest = 0;                    // the number of the chain's largest level
        // Whether a texel of level `upTo` or a larger one shows through in area (x, y).
        bool Shows(uint32_t x, uint32_t y, uint32_t upTo) const {
            return x < Grid && y < Grid && level[y * Grid + x] <= upTo;
        }
        // Whether a texel of level `upTo` or a larger one is not fully transparent in area (x, y).
        bool Covers(uint32_t x, uint32_t y, uint32_t upTo) const {
            return x >= Grid || y >= Grid || cover[y * Grid + x] <= upTo;
        }
        bool operator==(const SeeThroughMap&) const = default;
    };
    // The map of a DXT1 chain of a side x side texture, side Side >> n (the levels one after the other,
    // largest first); false, the map untouched, when the data is short or the side is not such a one.
    static bool MapSeeThrough(uint32_t side, const uint8_t* data, uint32_t size, SeeThroughMap& map);

    struct Entry {
        std::string_view name; // the key's
        uint32_t level = 0;    // the side is Side >> level
        uint32_t references = 0;
        RwTexture* texture = nullptr;     // null until the read is done
        std::unique_ptr<ReadRecord> read; // null once the texture exists
        Entry* fallback = nullptr;        // holds one reference on the nearest level
                                          // loaded when this was requested
        SeeThroughMap seeThrough;         // of the texture, once it exists
    };

    static std::map<Key, Entry, KeyOrder> Entries;

    // Makes a texture of side x side in DXT1 with its whole mip chain, the levels
    // one after the other in data; null on failure.
    static RwTexture* (*CreateTexture)(uint32_t side, const uint8_t* data, uint32_t size);
    static void (*DestroyTexture)(RwTexture* texture);

    // Keeps room for this many entries at once (spare ones made now, and let go only beyond that count),
    // so that streaming them allocates none; released entries past a small default are otherwise let go.
    static void Reserve(size_t entries);
    static constexpr size_t DefaultSpareLimit = 32;

    static Entry* Request(std::string_view name, uint32_t level, int32_t priority);
    // A new reference on the entry of exactly this key, or a new entry that
    // starts its read.
    static Entry* Acquire(KeyView key, Entry* fallback, int32_t priority);
    static void Release(Entry* entry);
    // The entry's texture, else the first one along its fallbacks, else null.
    static RwTexture* GetTexture(const Entry* entry);
    // The see-through map of the texture GetTexture gives, null with it.
    static const SeeThroughMap* GetSeeThrough(const Entry* entry);
    // Once per frame: takes finished reads and makes their textures.
    static void Update();

    // Queues the read of the mip chain from level down to 1 x 1.
    static std::unique_ptr<ReadRecord> StartRead(uint32_t level, uint32_t side, int32_t priority,
                                                 std::string_view name, bool dxt1 = true);
    // Mip levels of a square texture (down to 1 x 1) and the bytes of one, in
    // whole 4 x 4 blocks.
    static uint32_t LevelCount(uint32_t side);
    static uint32_t LevelBytes(uint32_t side, uint32_t level, bool dxt1 = true);

private:
    static void FinishRead(Entry& entry);
    // Keeps a record whose read is over (or never started) for a later one.
    static void Recycle(std::unique_ptr<ReadRecord> record);

    static size_t SpareLimit; // spare entries kept
    static std::vector<std::unique_ptr<ReadRecord>> SpareReads;
    static std::vector<std::map<Key, Entry, KeyOrder>::node_type> SpareNodes;
};

} // namespace Base
