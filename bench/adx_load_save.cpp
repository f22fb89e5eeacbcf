// Load and Save of a large definition: 10,000 objects of mixed classes with resolved references.
// Load covers reading, building the objects and resolving references; Save writes the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "definition/definition.h"
#include "sample_definition.h"

#ifdef KORVIT_HAVE_EXPAT
#include <expat.h>
#endif

namespace {

using namespace korvit::definition;
using korvit::bench::AddSampleObjects;

// The generated definition, saved once per process.
const std::string& SampleFile() {
    static const std::string path = [] {
        ADXDefinition def;
        AddSampleObjects(def);
        const std::string p = (std::filesystem::temp_directory_path() /
                               ("korvit-bench-" + std::to_string(::getpid()) + ".adx"))
                                  .string();
        def.Save(p);
        return p;
    }();
    return path;
}

void BM_Load(benchmark::State& state) {
    const std::string& path = SampleFile();
    ADXDefinition def;
    std::string error;
    for (auto _ : state) {
        if (def.Load(path, error) == 0) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(def.size());
    }
    state.counters["objects"] = static_cast<double>(def.size());
    state.counters["per_object"] = benchmark::Counter(
        static_cast<double>(def.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    ADXDefinition def;
    std::string error;
    def.Load(SampleFile(), error);
    const std::string out = SampleFile() + ".out";
    for (auto _ : state) {
        if (def.Save(out) == 0) state.SkipWithError("cannot write");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(out)));
    state.counters["per_object"] = benchmark::Counter(
        static_cast<double>(def.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::remove(out.c_str());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

#ifdef KORVIT_HAVE_EXPAT
// Baseline: expat tokenising the same file with empty handlers, no objects built.
void BM_ExpatParseOnly(benchmark::State& state) {
    std::ifstream in(SampleFile(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The written file has several top-level elements; wrap it so expat accepts it.
    const std::string doc = "<r>" + text.substr(text.find("<ADXHEADER>")) + "</r>";
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(
            parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
        const auto status = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE);
        if (status != XML_STATUS_OK) state.SkipWithError("expat refused the document");
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ExpatParseOnly)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(SampleFile().c_str());
    return 0;
}
