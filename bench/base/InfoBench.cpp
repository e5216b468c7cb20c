// *.info parsing speed on a generated 1 MB file, and dotted-key lookups on a 1,000-node tree.
#include "base/Info.h"
#include "base/String.h"
#include "bench/ThreadClock.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <sstream>

namespace {

// Blocks of objects as the game's description files hold them: numbers, vectors, quoted text, references,
// dotted keys and generated list keys.
std::string GeneratedFile(size_t bytes) {
    std::string text = "; generated\nDefaults\n{\n\tMass 1200\n\tColor 1 0.5 0.25\n}\n";
    for (int object = 0; text.size() < bytes; ++object) {
        text += Base::Formatted("Object%06d\n{\n", object);
        text += Base::Formatted("\tName \"Object number %d\"\n", object);
        text += "\tMass ##Mass\n\tPhysics.Drag 0.025\n\tPhysics.Lift 1.75\n";
        text += Base::Formatted("\tPosition %d.5 %d.25 -%d.125\n", object, object * 2, object * 3);
        text += "\tParts\n\t{\n";
        for (int part = 0; part < 4; ++part)
            text += Base::Formatted("\t\t# Part%d.dff\n", part);
        text += "\t}\n\tNotes \"first line\n\tsecond line\"\n}\n";
    }
    return text;
}

// The reference: the same bytes read line by line through a string stream, as a plain line reader does,
// with nothing built from them.
size_t ReadLines(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    size_t bytes = 0;
    while (std::getline(in, line))
        bytes += line.size();
    return bytes;
}

// Each iteration does what a load does: the bytes arrive in a fresh buffer (as a file read gives them), are
// parsed, and the tree is freed; all of that is the reported time ("load_MB/s", target 100). Then the same
// bytes are read the plain way; "ratio" is load time over plain read time.
void ParseInfo(benchmark::State& state) {
    using Clock = ThreadClock;
    const std::string text = GeneratedFile(1 << 20);
    Clock::duration parse{}, teardown{}, plain{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        {
            const std::string bytes = text;
            std::optional<Base::Info> tree(std::in_place);
            if (tree->LoadText(bytes) != 0)
                state.SkipWithError("parse failed");
            benchmark::DoNotOptimize(tree->GetChildren().size());
            parse += Clock::now() - t0;
            tree.reset();
        }
        auto t1 = Clock::now();
        benchmark::DoNotOptimize(ReadLines(text));
        auto t2 = Clock::now();
        teardown += t1 - t0;
        plain += t2 - t1;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    teardown -= parse;
    const double bytes = double(state.iterations()) * double(text.size());
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    state.counters["load_MB/s"] = bytes / seconds(parse + teardown) / 1e6;
    state.counters["parse_MB/s"] = bytes / seconds(parse) / 1e6;
    state.counters["free_MB/s"] = bytes / seconds(teardown) / 1e6;
    state.counters["plain_MB/s"] = bytes / seconds(plain) / 1e6;
    state.counters["ratio"] = seconds(parse + teardown) / seconds(plain);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(ParseInfo)->UseManualTime()->Unit(benchmark::kMillisecond);

// 10 groups x 10 items x 10 values: 1,110 nodes, looked up by three-name keys.
void DottedLookup(benchmark::State& state) {
    Base::Info tree;
    std::vector<std::string> keys;
    for (int g = 0; g < 10; ++g)
        for (int i = 0; i < 10; ++i)
            for (int v = 0; v < 10; ++v) {
                keys.push_back(Base::Formatted("Group%d.Item%d.Value%d", g, i, v));
                tree.AddValue(keys.back(), std::to_string(g * 100 + i * 10 + v));
            }
    size_t next = 0;
    for (auto _ : state) {
        const Base::Info* node = tree.GetChild(keys[next]);
        benchmark::DoNotOptimize(node);
        next = (next + 7) % keys.size();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(DottedLookup);

void TypedGetter(benchmark::State& state) {
    Base::Info tree;
    tree.AddValue("ComplexPhysicsParams.Mass", "12000.5");
    for (auto _ : state)
        benchmark::DoNotOptimize(tree.GetFloatDefault("ComplexPhysicsParams.Mass", 0));
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(TypedGetter);

} // namespace
