// Throughput of SAXReader::ParseFile on a large definition-like document, in its 8-bit and its
// UTF-16 form, against expat reading the same files in 2048-byte blocks. Prints MB/s of each and
// the ratio ours/expat (medians of the repetitions).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "definition/xml/sax_reader.h"

#ifdef KORVIT_HAVE_EXPAT
#include <expat.h>
#endif

using namespace korvit::definition::xml;

namespace {

constexpr size_t kTargetSize = 6 * 1024 * 1024;

// A definition-like document: a header, then many value and bitmask elements with attributes,
// child elements holding short texts, and equations with their variables; CRLF lines, indented.
std::string MakeDocument() {
    std::string doc;
    doc.reserve(kTargetSize + 4096);
    doc += "<!-- generated definition -->\r\n<ADXFILE version=\"1.0\">\r\n    <ADXHEADER>\r\n";
    doc += "        <flags>0x00000001</flags>\r\n        <author>Bench &amp; Co</author>\r\n";
    doc += "        <baud>8192</baud>\r\n    </ADXHEADER>\r\n";
    char item[1536];
    for (unsigned i = 0; doc.size() < kTargetSize; ++i) {
        const int n = std::snprintf(
            item, sizeof item,
            "    <ADXVALUE id=\"VAL%05u\" idhash=\"0x%08X\" title=\"Engine value %u\">\r\n"
            "        <desc>Value %u &lt;scaled&gt; from the reply packet</desc>\r\n"
            "        <parentcmdidhash>0x%08X</parentcmdidhash>\r\n"
            "        <units>RPM</units>\r\n"
            "        <packetoffset>%u</packetoffset>\r\n"
            "        <sizeinbits>8</sizeinbits>\r\n"
            "        <bitflags>0x00000002</bitflags>\r\n"
            "        <rangelow>0.000000</rangelow>\r\n"
            "        <rangehigh>%u.000000</rangehigh>\r\n"
            "        <alarmlow>0.000000</alarmlow>\r\n"
            "        <alarmhigh>6000.000000</alarmhigh>\r\n"
            "        <digitcount>4</digitcount>\r\n"
            "        <decimalcount>1</decimalcount>\r\n"
            "        <MATH equation=\"(X*25)+Y/2\">\r\n"
            "            <VAR varID=\"X\" type=\"native\" />\r\n"
            "            <VAR varID=\"Y\" type=\"link\" linkIDHash=\"0x%08X\" />\r\n"
            "        </MATH>\r\n"
            "    </ADXVALUE>\r\n"
            "    <ADXBITMASK id=\"FLG%05u\" idhash=\"0x%08X\">\r\n"
            "        <title>Flag %u</title>\r\n"
            "        <packetoffset>%u</packetoffset>\r\n"
            "        <mask>0x%02X</mask>\r\n"
            "        <settext>ON</settext>\r\n"
            "        <cleartext>OFF</cleartext>\r\n"
            "    </ADXBITMASK>\r\n",
            i, i * 2654435761u, i, i, i * 40503u, i % 64, 1000 + i, i * 69069u, i, i * 1103515245u,
            i, i % 64, 1u << (i % 8));
        doc.append(item, static_cast<size_t>(n));
    }
    doc += "</ADXFILE>\r\n";
    return doc;
}

std::string Utf16LE(const std::string& text) {
    std::string out = "\xFF\xFE";
    out.reserve(text.size() * 2 + 2);
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

struct Files {
    std::filesystem::path dir;
    std::string paths[2];
    size_t sizes[2];

    Files() {
        dir = std::filesystem::temp_directory_path() /
              ("korvit_bench_sax_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const std::string doc = MakeDocument();
        const std::string forms[2] = {doc, Utf16LE(doc)};
        for (int i = 0; i < 2; ++i) {
            paths[i] = (dir / (i == 0 ? "doc8.adx" : "doc16.adx")).string();
            std::ofstream(paths[i], std::ios::binary) << forms[i];
            sizes[i] = forms[i].size();
        }
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// The minimal work a real consumer does at least: look at names and lengths.
class CountingCallback : public ISAXCallback {
  public:
    uint64_t events = 0;
    uint64_t characters = 0;

    int32_t StartDocument() override { return 0; }
    int32_t EndDocument() override { return 0; }
    int32_t StartElement(const char16_t*, uint32_t length, const SAXAttribute* attributes,
                         uint32_t count) override {
        ++events;
        characters += length;
        for (uint32_t i = 0; i < count; ++i) characters += attributes[i].value_length;
        return 0;
    }
    int32_t Characters(const char16_t*, uint32_t length, bool) override {
        ++events;
        characters += length;
        return 0;
    }
    int32_t EndElement(const char16_t*, uint32_t length) override {
        ++events;
        characters += length;
        return 0;
    }
    int32_t StartCDATA() override { return 0; }
    int32_t CDATAText(const char16_t*, uint32_t length, bool) override {
        characters += length;
        return 0;
    }
    int32_t EndCDATA() override { return 0; }
    int32_t Error(uint32_t, const char* message) override {
        std::fprintf(stderr, "SAXReader: %s\n", message);
        return 0;
    }
};

void BM_SAXReader(benchmark::State& state) {
    const int form = static_cast<int>(state.range(0));
    Files& files = TheFiles();
    CountingCallback callback;
    SAXReader reader;
    reader.Attach(&callback);
    for (auto _ : state) {
        if (reader.ParseFile(files.paths[form]) != kSAXOk) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(callback.characters);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.sizes[form]));
    state.counters["events"] = static_cast<double>(callback.events / state.iterations());
}
BENCHMARK(BM_SAXReader)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#ifdef KORVIT_HAVE_EXPAT
struct ExpatCounts {
    uint64_t events = 0;
    uint64_t characters = 0;
};

void ExpatStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* counts = static_cast<ExpatCounts*>(data);
    ++counts->events;
    counts->characters += std::char_traits<XML_Char>::length(name);
    for (int i = 0; attributes[i] != nullptr; i += 2) {
        counts->characters += std::char_traits<XML_Char>::length(attributes[i + 1]);
    }
}
void ExpatEnd(void* data, const XML_Char* name) {
    auto* counts = static_cast<ExpatCounts*>(data);
    ++counts->events;
    counts->characters += std::char_traits<XML_Char>::length(name);
}
void ExpatText(void* data, const XML_Char*, int length) {
    static_cast<ExpatCounts*>(data)->characters += static_cast<uint64_t>(length);
}

bool ExpatParseFile(const std::string& path, ExpatCounts& counts) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &counts);
    XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
    XML_SetCharacterDataHandler(parser, ExpatText);
    char block[2048];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0) {
            ok = false;
            break;
        }
        if (XML_Parse(parser, block, static_cast<int>(n), n == 0) == XML_STATUS_ERROR) {
            std::fprintf(stderr, "expat: %s\n", XML_ErrorString(XML_GetErrorCode(parser)));
            ok = false;
            break;
        }
        if (n == 0) break;
    }
    XML_ParserFree(parser);
    ::close(fd);
    return ok;
}

void BM_Expat(benchmark::State& state) {
    const int form = static_cast<int>(state.range(0));
    Files& files = TheFiles();
    ExpatCounts counts;
    for (auto _ : state) {
        if (!ExpatParseFile(files.paths[form], counts)) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(counts.characters);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * files.sizes[form]));
}
BENCHMARK(BM_Expat)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

// Keeps the median throughput of every benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> mb_per_s;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
            const auto it = run.counters.find("bytes_per_second");
            if (it == run.counters.end()) continue;
            mb_per_s[run.run_name.function_name + "/" + run.run_name.args] = it->second.value / 1e6;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TheFiles();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* forms[2] = {"8-bit", "UTF-16 LE"};
    std::printf("\n%-10s %14s %14s %12s\n", "document", "SAXReader MB/s", "expat MB/s",
                "ours/expat");
    for (int form = 0; form < 2; ++form) {
        const std::string arg = std::to_string(form);
        const double ours = reporter.mb_per_s["BM_SAXReader/" + arg];
        const double expat = reporter.mb_per_s["BM_Expat/" + arg];
        if (expat > 0) {
            std::printf("%-10s %14.1f %14.1f %12.2f\n", forms[form], ours, expat, ours / expat);
        } else {
            std::printf("%-10s %14.1f %14s %12s\n", forms[form], ours, "n/a", "n/a");
        }
    }
    std::printf("(MB = 10^6 bytes of file per CPU second; document: %zu bytes 8-bit, %zu UTF-16)\n",
                TheFiles().sizes[0], TheFiles().sizes[1]);
    benchmark::Shutdown();
    return 0;
}
