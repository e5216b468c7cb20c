// Model reading against the plain copy of the same bytes (target: at most 3x) for the largest sample model
// and for a generated 40,000-triangle one with the heap allocations per read, and the strip builder's time
// per triangle beside the list builder's. CORVANE_MODELS_DIR names another folder of *.dff files to take the
// largest from.
#include "bench/AllocationCounter.h"
#include "bench/ThreadClock.h"
#include "rwsdk/plugin/userdata/rpusrdat.h"
#include "rwsdk/src/engine.h"
#include "rwsdk/src/plcore/chunk.h"
#include "rwsdk/src/plcore/stream.h"
#include "rwsdk/src/texture.h"
#include "rwsdk/world/rpworld.h"
#include "tests/support/Clumps.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace {

// A rows x columns grid of quads as triangles, shuffled, with prelit colours, normals and one texture set.
RpGeometry* Grid(int rows, int columns, RpMaterial* const* materials, int numMaterials, RwUInt32 flags,
                 std::mt19937& random) {
    const int numVertices = (rows + 1) * (columns + 1);
    RpGeometry* g = RpGeometryCreate(numVertices, 2 * rows * columns,
                                     flags | rpGEOMETRYPRELIT | rpGEOMETRYNORMALS | rpGEOMETRYTEXTURED);
    RpMorphTarget* target = RpGeometryGetMorphTarget(g, 0);
    for (int v = 0; v < numVertices; ++v) {
        const RwReal x = RwReal(v % (columns + 1)), y = RwReal(v / (columns + 1));
        target->verts[v] = {x, y, std::sin(x * 0.1f) * std::cos(y * 0.1f)};
        target->normals[v] = {0, 0, 1};
        RpGeometryGetVertexTexCoords(g, 1)[v] = {x / RwReal(columns), y / RwReal(rows)};
        RpGeometryGetPreLightColors(g)[v] = {RwUInt8(v), 128, 64, 255};
    }
    std::vector<std::array<RwUInt16, 3>> tris;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const RwUInt16 a = RwUInt16(r * (columns + 1) + c), b = RwUInt16(a + 1),
                           d = RwUInt16(a + columns + 1), e = RwUInt16(d + 1);
            tris.push_back({a, b, d});
            tris.push_back({d, b, e});
        }
    }
    std::shuffle(tris.begin(), tris.end(), random);
    RpTriangle* t = RpGeometryGetTriangles(g);
    for (size_t i = 0; i < tris.size(); ++i) {
        RpGeometryTriangleSetVertexIndices(g, &t[i], tris[i][0], tris[i][1], tris[i][2]);
        RpGeometryTriangleSetMaterial(g, &t[i], materials[random() % unsigned(numMaterials)]);
    }
    RwSphere sphere;
    RpMorphTargetCalculateBoundingSphere(target, &sphere);
    RpMorphTargetSetBoundingSphere(target, &sphere);
    return g;
}

struct World {
    World() {
        RwEngineOpenParams params = {nullptr};
        started = RwEngineInit(nullptr, 0, 0) && RpWorldPluginAttach() && RpUserDataPluginAttach() &&
                  RwEngineOpen(&params) && RwEngineStart();
    }
    ~World() {
        RwEngineStop();
        RwEngineClose();
        RwEngineTerm();
    }
    bool started = false;
};

World& TheWorld() {
    static World world;
    return world;
}

// A model of 16 parts, 40,000 triangles in all, each part on its own frame with a name.
std::vector<RwUInt8> GeneratedModel() {
    std::mt19937 random(7);
    RpMaterial* materials[3] = {RpMaterialCreate(), RpMaterialCreate(), RpMaterialCreate()};
    RpClump* clump = RpClumpCreate();
    RwFrame* root = RwFrameCreate();
    RpClumpSetFrame(clump, root);
    for (int part = 0; part < 16; ++part) {
        RwFrame* frame = RwFrameCreate();
        RwFrameAddChild(root, frame);
        RpUserDataArray* name =
            RpUserDataFrameGetArray(frame, RpUserDataFrameAddArray(frame, "Name", rpSTRINGUSERDATA, 1));
        RpUserDataArraySetString(name, 0, "part");
        RpGeometry* geometry =
            Grid(25, 50, materials, 3, part % 2 ? RwUInt32(rpGEOMETRYTRISTRIP) : 0u, random);
        RpGeometryBuildMeshes(geometry);
        TestSupport::AddAtomic(clump, frame, geometry);
    }
    for (RpMaterial* m : materials)
        RpMaterialDestroy(m);
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMWRITE, nullptr);
    RpClumpStreamWrite(clump, stream);
    RwMemory memory = {nullptr, 0};
    RwStreamClose(stream, &memory);
    std::vector<RwUInt8> bytes(memory.start, memory.start + memory.length);
    RwFree(memory.start);
    RpClumpDestroy(clump);
    return bytes;
}

// The largest *.dff below CORVANE_MODELS_DIR, or else below the build's sample data (next to bench/);
// empty when there is none.
std::vector<RwUInt8> LargestSampleModel() {
    std::filesystem::path dir;
    if (const char* given = std::getenv("CORVANE_MODELS_DIR"))
        dir = given;
    else
        dir = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" / "Data" /
              "Models";
    std::error_code error;
    std::filesystem::path largest;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, error))
        if (entry.path().extension() == ".dff" &&
            (largest.empty() || entry.file_size() > std::filesystem::file_size(largest)))
            largest = entry.path();
    if (largest.empty())
        return {};
    std::ifstream in(largest, std::ios::binary);
    return std::vector<RwUInt8>(std::istreambuf_iterator<char>(in), {});
}

RpClump* ReadClump(const RwUInt8* bytes, size_t size) {
    RwMemory memory = {const_cast<RwUInt8*>(bytes), RwUInt32(size)};
    RwStream* stream = RwStreamOpen(rwSTREAMMEMORY, rwSTREAMREAD, &memory);
    RpClump* clump =
        RwStreamFindChunk(stream, rwID_CLUMP, nullptr, nullptr) ? RpClumpStreamRead(stream) : nullptr;
    RwStreamClose(stream, nullptr);
    return clump;
}
RpClump* ReadClump(const std::vector<RwUInt8>& bytes) {
    return ReadClump(bytes.data(), bytes.size());
}

// An image-less texture under the asked name, in place of the image files the game loads; it holds a
// reference for the dictionary it goes into, as a loaded dictionary's textures do, beside the reader's.
RwTexture* NamedTexture(const RwChar* name, const RwChar* maskName) {
    RwTexture* texture = RwTextureCreate(nullptr);
    if (texture) {
        RwTextureSetName(texture, name);
        RwTextureSetMaskName(texture, maskName ? maskName : "");
        RwTextureAddRef(texture);
    }
    return texture;
}

// The game has a model's textures in the current dictionary before it reads the model, so the timed reads
// find them there: one untimed read first puts every texture the model names into a dictionary of its own.
struct ModelTextures {
    explicit ModelTextures(const std::vector<RwUInt8>& bytes)
        : dictionary(RwTexDictionaryCreate()), saved(RwTexDictionaryGetCurrent()),
          savedRead(RwTextureGetReadCallBack()) {
        RwTexDictionarySetCurrent(dictionary);
        RwTextureSetReadCallBack(NamedTexture);
        if (RpClump* clump = ReadClump(bytes))
            RpClumpDestroy(clump);
        RwTextureSetReadCallBack(savedRead);
    }
    ~ModelTextures() {
        RwTexDictionarySetCurrent(saved);
        if (dictionary)
            RwTexDictionaryDestroy(dictionary);
    }
    RwTextureDictionary* dictionary;
    RwTextureDictionary* saved;
    RwTextureCallBackRead savedRead;
};

void ReadBytes(benchmark::State& state, std::vector<RwUInt8> bytes) {
    if (!TheWorld().started || bytes.empty()) {
        state.SkipWithError(bytes.empty() ? "no model (build the sample_data target)"
                                          : "engine did not start");
        return;
    }
    const ModelTextures textures(bytes);
    // A copy of a few hundred kilobytes costs up to twice as much when its destination lies at another
    // offset within a cache line than its source, more still a few bytes past a multiple of 4 KB from it,
    // and the allocator decides both: the figures would change from run to run with where the blocks fell.
    // So the model lies at the start of a page for both sides, and the copy goes in turn to each of the four
    // offsets a heap block can have within a line, half a page along from the source's offset. The copy at
    // the source's own offset, the fastest, is given beside it.
    constexpr size_t page = 4096, line = 64, step = 16, placements = line / step, along = page / 2;
    auto pageOf = [](std::vector<RwUInt8>& block) {
        const auto at = reinterpret_cast<std::uintptr_t>(block.data());
        return block.data() + ((page - at % page) % page);
    };
    std::vector<RwUInt8> sourceBlock(bytes.size() + page), copyBlock(bytes.size() + 2 * page);
    RwUInt8* const source = pageOf(sourceBlock);
    std::memcpy(source, bytes.data(), bytes.size());
    RwUInt8* const aligned = pageOf(copyBlock) + along;
    // The clock's own cost (a system call on some machines, a fifth of the copy's time) is taken off both
    // sides: left in, it would count for the copy what the copy does not cost.
    double plain = 0, read = 0, clock = 0;
    std::array<double, placements> byPlacement{};
    double fewestRead = 1e9, fewestPlain = 1e9, fewestClock = 1e9;
    uint64_t allocations = 0;
    size_t turn = 0;
    for (auto _ : state) {
        const double tick = ThreadSeconds([] {});
        RwUInt8* const copy = aligned + step * (turn % placements);
        const double copied = ThreadSeconds([&] {
            std::memcpy(copy, source, bytes.size());
            benchmark::DoNotOptimize(copy);
        });
        byPlacement[turn++ % placements] += copied;
        RpClump* clump = nullptr;
        const AllocationCounter::Counts before = AllocationCounter::Now();
        const double took = ThreadSeconds([&] { clump = ReadClump(source, bytes.size()); });
        allocations += AllocationCounter::Since(before).all;
        if (!clump) {
            state.SkipWithError("the model did not read");
            return;
        }
        RpClumpDestroy(clump);
        clock += tick;
        plain += copied;
        read += took;
        fewestClock = std::min(fewestClock, tick);
        fewestPlain = std::min(fewestPlain, copied);
        fewestRead = std::min(fewestRead, took);
    }
    const double n = double(state.iterations());
    plain = std::max(plain - clock, 1e-12);
    read = std::max(read - clock, 0.0);
    // Each placement had a quarter of the turns (to within one).
    const double alignedCopy = std::max(
        byPlacement[0] / double((state.iterations() + placements - 1) / placements) - clock / n, 1e-12);
    state.counters["bytes"] = double(bytes.size());
    state.counters["clock_us"] = clock * 1e6 / n;
    state.counters["memcpy_us"] = plain * 1e6 / n;
    state.counters["memcpy_aligned_us"] = alignedCopy * 1e6;
    state.counters["read_us"] = read * 1e6 / n;
    state.counters["ratio"] = read / plain;
    state.counters["ratio_aligned"] = read / n / alignedCopy;
    // The quickest read against the quickest copy (at the source's offset), each the least disturbed by
    // whatever else ran on the core.
    state.counters["ratio_min"] =
        std::max(fewestRead - fewestClock, 0.0) / std::max(fewestPlain - fewestClock, 1e-12);
    state.counters["allocations_per_read"] = double(allocations) / n;
}
void ReadLargestSampleModel(benchmark::State& state) {
    ReadBytes(state, LargestSampleModel());
}
BENCHMARK(ReadLargestSampleModel)->Unit(benchmark::kMicrosecond);

void ReadGeneratedModel(benchmark::State& state) {
    ReadBytes(state, TheWorld().started ? GeneratedModel() : std::vector<RwUInt8>());
}
BENCHMARK(ReadGeneratedModel)->Unit(benchmark::kMicrosecond);

// 50,000 triangles (a 125 x 200 grid, shuffled) over two materials.
void BuildMeshes(benchmark::State& state) {
    if (!TheWorld().started) {
        state.SkipWithError("engine did not start");
        return;
    }
    std::mt19937 random(11);
    RpMaterial* materials[2] = {RpMaterialCreate(), RpMaterialCreate()};
    RpGeometry* geometry = Grid(125, 200, materials, 2, 0, random);
    const double triangles = double(geometry->numTriangles);
    double strip = 0, list = 0;
    for (auto _ : state) {
        for (RwUInt32 flags : {0u, RwUInt32(rpGEOMETRYTRISTRIP)}) {
            RpGeometryLock(geometry, rpGEOMETRYLOCKPOLYGONS);
            geometry->flags = (geometry->flags & ~rpGEOMETRYTRISTRIP) | flags;
            (flags ? strip : list) += ThreadSeconds([&] { RpGeometryBuildMeshes(geometry); });
        }
    }
    RpGeometryDestroy(geometry);
    for (RpMaterial* m : materials)
        RpMaterialDestroy(m);
    state.counters["triangles"] = triangles;
    state.counters["strip_ns_per_triangle"] = strip * 1e9 / double(state.iterations()) / triangles;
    state.counters["list_ns_per_triangle"] = list * 1e9 / double(state.iterations()) / triangles;
    state.counters["ratio"] = strip / list;
}
BENCHMARK(BuildMeshes)->Unit(benchmark::kMillisecond);

} // namespace
