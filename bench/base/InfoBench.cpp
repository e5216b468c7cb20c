// *.info parsing speed on a generated 1 MB file, and dotted-key lookups on a 1,000-node tree.
#include "base/Info.h"
#include "base/String.h"

#include <benchmark/benchmark.h>

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

void ParseInfo(benchmark::State& state) {
    const std::string text = GeneratedFile(1 << 20);
    for (auto _ : state) {
        Base::Info tree;
        if (tree.LoadText(text) != 0)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(tree.GetChildren().size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(ParseInfo)->Unit(benchmark::kMillisecond);

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
