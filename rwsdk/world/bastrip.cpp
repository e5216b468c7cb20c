// The default strip builder: one triangle strip per material group, from strips grown across shared edges
// and joined with degenerate triangles so that every triangle keeps its winding.
#include "rwsdk/world/bastrip.h"

#include "rwsdk/src/plcore/error.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

constexpr RwInt32 none = -1;

struct Edge {
    RxVertexIndex a, b;
    RwInt32 first, second; // triangles, or none
    RwInt32 nextWaiting;   // the record of the same direction that waited before this one
};

// Open addressing from a directed edge to the newest record that waits for its partner.
class EdgeTable {
public:
    explicit EdgeTable(size_t expected) {
        size_t capacity = 16;
        while (capacity < 2 * expected)
            capacity *= 2;
        keys.assign(capacity, emptyKey);
        values.assign(capacity, none);
        mask = capacity - 1;
    }
    // The slot of the key, made (holding none) when absent.
    RwInt32& At(RwUInt64 key) {
        size_t i = size_t(key * 0x9E3779B97F4A7C15ull >> 32) & mask;
        while (keys[i] != key && keys[i] != emptyKey)
            i = (i + 1) & mask;
        keys[i] = key;
        return values[i];
    }

private:
    static constexpr RwUInt64 emptyKey = ~0ull; // no edge of 16-bit indices has this key
    std::vector<RwUInt64> keys;
    std::vector<RwInt32> values;
    size_t mask;
};

struct StripTriangle {
    RxVertexIndex v[3];
    RwInt32 edges[3];   // edge k runs from v[k] to v[k + 1]
    RwInt32 prev, next; // in its bucket
    RwInt32 neighbours;
    bool used;
};

class StripGenerator {
public:
    StripGenerator(const RpBuildMeshTriangle* const* triangles, RwUInt32 count) : tris(count) {
        // Records of an edge direction (a, b) that still wait for a partner (b, a), as a stack per direction
        // through nextWaiting: pairing with the newest is pairing with the first found from the head of the
        // edge list.
        EdgeTable waiting(count * 3);
        edges.reserve(count * 2);
        for (RwUInt32 t = 0; t < count; ++t) {
            StripTriangle& tri = tris[t];
            std::copy(triangles[t]->vertIndex, triangles[t]->vertIndex + 3, tri.v);
            tri.neighbours = 0;
            tri.used = false;
            for (int k = 0; k < 3; ++k) {
                const RxVertexIndex a = tri.v[k], b = tri.v[(k + 1) % 3];
                RwInt32& partner = waiting.At(Key(b, a));
                if (partner != none) {
                    const RwInt32 e = partner;
                    partner = edges[e].nextWaiting;
                    edges[e].second = RwInt32(t);
                    ++tri.neighbours;
                    ++tris[edges[e].first].neighbours;
                    tri.edges[k] = e;
                } else {
                    RwInt32& head = waiting.At(Key(a, b));
                    edges.push_back({a, b, RwInt32(t), none, head});
                    tri.edges[k] = RwInt32(edges.size() - 1);
                    head = tri.edges[k];
                }
            }
        }
        std::fill(std::begin(buckets), std::end(buckets), none);
        for (RwUInt32 t = 0; t < count; ++t)
            Push(RwInt32(t));
    }

    std::vector<RpStrip> Run() {
        std::vector<RpStrip> strips;
        for (RwUInt32 done = 0; done < tris.size();) {
            RpStrip strip;
            if (buckets[0] != none) {
                const RwInt32 t = buckets[0];
                strip.assign(tris[t].v, tris[t].v + 3);
                Use(t);
                ++done;
            } else {
                RwInt32 t = none;
                for (int n = 1; n <= 3 && t == none; ++n)
                    t = buckets[n];
                done += Grow(t, strip);
            }
            strips.push_back(std::move(strip));
        }
        // Each finished strip goes to the head of the list.
        std::reverse(strips.begin(), strips.end());
        return strips;
    }

private:
    std::vector<StripTriangle> tris;
    std::vector<Edge> edges;
    RwInt32 buckets[4];

    static RwUInt32 Key(RxVertexIndex a, RxVertexIndex b) { return RwUInt32(a) << 16 | b; }

    bool Unused(RwInt32 t) const { return t != none && !tris[t].used; }
    RwInt32 OtherUnused(RwInt32 e) const {
        if (Unused(edges[e].first))
            return edges[e].first;
        return Unused(edges[e].second) ? edges[e].second : none;
    }
    // Both slots hold triangles and neither is used.
    bool FreeNeighbour(RwInt32 e) const { return Unused(edges[e].first) && Unused(edges[e].second); }
    int UnusedCount(RwInt32 e) const {
        return (Unused(edges[e].first) ? 1 : 0) + (Unused(edges[e].second) ? 1 : 0);
    }

    void Push(RwInt32 t) {
        StripTriangle& tri = tris[t];
        const int n = std::min(tri.neighbours, 3);
        tri.prev = none;
        tri.next = buckets[n];
        if (tri.next != none)
            tris[tri.next].prev = t;
        buckets[n] = t;
    }
    void Unlink(RwInt32 t) {
        StripTriangle& tri = tris[t];
        if (tri.prev != none)
            tris[tri.prev].next = tri.next;
        else
            buckets[std::min(tri.neighbours, 3)] = tri.next;
        if (tri.next != none)
            tris[tri.next].prev = tri.prev;
    }

    // Out of its bucket; each unused neighbour goes one bucket lower.
    void Use(RwInt32 t) {
        Unlink(t);
        tris[t].used = true;
        for (RwInt32 e : tris[t].edges) {
            const RwInt32 other = edges[e].first == t ? edges[e].second : edges[e].first;
            if (Unused(other)) {
                Unlink(other);
                --tris[other].neighbours;
                Push(other);
            }
        }
    }

    // Steps across edge e into unused triangles while the buffer can follow; the number stepped into.
    RwUInt32 Walk(RpStrip& buffer, RwInt32 e) {
        RwUInt32 steps = 0;
        for (;;) {
            const RwInt32 n = OtherUnused(e);
            if (n == none)
                return steps;
            Use(n);
            ++steps;
            const StripTriangle& tri = tris[n];
            int j = 0;
            while (j < 2 && tri.edges[j] != e)
                ++j;
            const RxVertexIndex c = tri.v[(j + 2) % 3];
            const RxVertexIndex last = buffer.back(), nextToLast = buffer[buffer.size() - 2];
            // Of N's two other edges, the one through the buffer's last index and c, and the remaining one.
            const RwInt32 e1 = tri.edges[(j + 1) % 3], e2 = tri.edges[(j + 2) % 3];
            const bool e2HasLast = tri.v[j] == last;
            const RwInt32 acrossLast = e2HasLast ? e2 : e1;
            const RwInt32 acrossPrev = e2HasLast ? e1 : e2;
            if (OtherUnused(acrossLast) != none) {
                buffer.push_back(c);
                e = acrossLast;
            } else if (OtherUnused(acrossPrev) != none && buffer.size() % 2 == 0) {
                buffer.push_back(nextToLast);
                buffer.push_back(c);
                e = acrossPrev;
            } else {
                buffer.push_back(c);
                return steps;
            }
        }
    }

    RwUInt32 Grow(RwInt32 t, RpStrip& strip) {
        const StripTriangle& tri = tris[t];
        const RwInt32* e = tri.edges;
        int r;
        if (FreeNeighbour(e[2]) && FreeNeighbour(e[1])) {
            r = 1;
        } else if (FreeNeighbour(e[0]) && FreeNeighbour(e[2])) {
            r = 2;
        } else if (FreeNeighbour(e[1]) && FreeNeighbour(e[0])) {
            r = 0;
        } else {
            const int s0 = UnusedCount(e[0]), s1 = UnusedCount(e[1]), s2 = UnusedCount(e[2]);
            if (s1 < s0)
                r = s2 < s0 ? 2 : 1;
            else
                r = s1 <= s2 ? 1 : 0;
        }
        RpStrip forward = {tri.v[r], tri.v[(r + 1) % 3], tri.v[(r + 2) % 3]};
        Use(t);
        RwUInt32 count = 1 + Walk(forward, e[(r + 1) % 3]);
        const RwInt32 backEdge = e[r];
        if (OtherUnused(backEdge) == none) {
            strip = std::move(forward);
            return count;
        }
        RpStrip backward = {forward[1], forward[0]};
        count += Walk(backward, backEdge);
        if (backward.size() % 2 == 1)
            backward.push_back(backward[backward.size() - 2]);
        strip.assign(backward.rbegin(), backward.rend() - 2);
        strip.insert(strip.end(), forward.begin(), forward.end());
        return count;
    }
};

} // namespace

std::vector<RpStrip> _rpStripGenerate(const RpBuildMeshTriangle* const* triangles, RwUInt32 count) {
    return StripGenerator(triangles, count).Run();
}

RpStrip _rpStripJoin(const std::vector<RpStrip>& strips) {
    if (strips.empty())
        return {};
    size_t capacity = 0;
    for (const RpStrip& s : strips)
        capacity += s.size() + 6;
    RpStrip out;
    out.reserve(capacity);
    out = strips[0];
    std::vector<const RpStrip*> remaining;
    for (size_t i = 1; i < strips.size(); ++i)
        remaining.push_back(&strips[i]);
    // Strips waiting, by first index, in list order, so that the searches below need not scan them all.
    std::unordered_map<RxVertexIndex, std::vector<size_t>> byFirst;
    for (size_t i = remaining.size(); i-- > 0;)
        byFirst[remaining[i]->front()].push_back(i);
    std::vector<bool> taken(remaining.size(), false);
    size_t nextInOrder = 0;
    auto takeStartingWith = [&](RxVertexIndex v) -> const RpStrip* {
        auto found = byFirst.find(v);
        if (found == byFirst.end())
            return nullptr;
        while (!found->second.empty() && taken[found->second.back()])
            found->second.pop_back();
        if (found->second.empty())
            return nullptr;
        const size_t i = found->second.back();
        found->second.pop_back();
        taken[i] = true;
        return remaining[i];
    };
    for (size_t left = remaining.size(); left > 0; --left) {
        const RxVertexIndex last = out.back();
        const bool odd = out.size() % 2 == 1;
        const RpStrip* strip = takeStartingWith(last);
        if (strip) {
            if (odd)
                out.push_back(last);
        } else if (out.size() >= 2 && (strip = takeStartingWith(out[out.size() - 2])) != nullptr) {
            const RxVertexIndex nextToLast = out[out.size() - 2];
            out.push_back(nextToLast);
            if (!odd)
                out.push_back(nextToLast);
        } else {
            while (taken[nextInOrder])
                ++nextInOrder;
            taken[nextInOrder] = true;
            strip = remaining[nextInOrder];
            out.push_back(last);
            out.push_back(strip->front());
            if (odd)
                out.push_back(strip->front());
        }
        out.insert(out.end(), strip->begin(), strip->end());
    }
    return out;
}

RpMeshHeader* RpBuildMeshGenerateDefaultTriStrip(RpBuildMesh* mesh, void*) {
    std::vector<RpBuildMeshTriangle*> sorted = _rpBuildMeshSortTriangles(mesh);
    std::vector<RpStrip> joined;
    std::vector<RpMaterial*> materials;
    RwUInt32 total = 0;
    for (size_t start = 0; start < sorted.size();) {
        size_t end = start + 1;
        while (end < sorted.size() && sorted[end]->material == sorted[start]->material)
            ++end;
        joined.push_back(_rpStripJoin(_rpStripGenerate(&sorted[start], RwUInt32(end - start))));
        materials.push_back(sorted[start]->material);
        total += RwUInt32(joined.back().size());
        start = end;
    }
    if (joined.size() > 0xFFFF) {
        RwErrorSetCode(E_RW_BADPARAM);
        return nullptr;
    }
    RpMeshHeader* header = _rpMeshHeaderCreate(RwUInt32(joined.size()), total);
    if (!header)
        return nullptr;
    header->flags = rpMESHHEADERTRISTRIP;
    header->totalIndicesInMesh = total;
    RpMesh* meshes = RpMeshHeaderGetMeshes(header);
    RxVertexIndex* indices = reinterpret_cast<RxVertexIndex*>(meshes + joined.size());
    for (size_t m = 0; m < joined.size(); ++m) {
        meshes[m].indices = indices;
        meshes[m].numIndices = RwUInt32(joined[m].size());
        meshes[m].material = materials[m];
        indices = std::copy(joined[m].begin(), joined[m].end(), indices);
    }
    return header;
}
