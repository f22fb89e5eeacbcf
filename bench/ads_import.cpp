// Import speed of ADS definitions: reading the text and converting it into ADX objects.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "definition/adx_definition.h"
#include "definition/legacy/ads_import.h"

namespace {

using namespace korvit::definition;

/// A definition with one command, `items` values and as many bits, and a full 256-entry table.
std::string MakeADS(int items) {
    std::string text =
        "{fDefFrmtVers=1.2;strDefVersion=v;strDefTitle=Bench;strAuthor=a;strEngine=e;strYear=y;"
        "strVINCode=v;strCodeMask=m;strComments=c;iBaud=8192;dwFlags=0;dwCSID=0;"
        "btNumDumpRequests=1;strCommandName=Data;rgbtCommand=F4,57,01,00;"
        "iTotalBytesInCommand=5;bChecksumCommand=1;iNumBytesInPayload=63;"
        "iNumBytesBeforePayload=3;bMaster=1;bMonitor=1;iChainTo=-1;}\n";
    text +=
        "{dwItemType=5;strItemComments=t;bSeparator=0;bVisible=1;dwUniqueID=1;btDataType=2;"
        "wTableSize=256;wIndexSize=4;strTableName=Table;dwReserved=0;dwReserved=0;pbtData=";
    for (int i = 0; i < 256; ++i) text += std::to_string(i) + "," + std::to_string(i * 0.75) + "\n";
    text += ";}\n";
    for (int i = 0; i < items; ++i) {
        const std::string id = std::to_string(i + 2);
        text += "{dwItemType=1;strItemComments=Comment;bSeparator=0;bVisible=1;dwUniqueID=" + id +
                ";btByteNumber=" + std::to_string(i % 60 + 1) +
                ";btMessageNumber=1;dwItemSizeBits=8;dwOperation=" + std::to_string(i % 7) +
                ";dFactor=0.5;dOffset=-40;strItemTitle=Value " + id +
                ";strUnitLabel=u;dwAlarmHigh=200;bAlarmHighENable=1;dwAlarmLow=10;"
                "bAlarmLowEnable=1;iRangeHigh=255;iRangeLow=0;iLookupTableIndex=" +
                (i % 7 == 6 ? "1" : "-1") + ";}\n";
        text += "{dwItemType=2;strItemComments=Comment;bSeparator=0;bVisible=1;dwUniqueID=" +
                std::to_string(items + i + 2) + ";btByteNumber=" + std::to_string(i % 60 + 1) +
                ";btMessageNumber=1;btBitNumber=" + std::to_string(i % 8) +
                ";strItemTitle=Bit;bAlarmSetEnable=0;bAlarmNotSetEnable=0;strBitSetTitle=On;"
                "strBitClearTitle=Off;}\n";
    }
    return text;
}

void BM_ReadAndConvert(benchmark::State& state) {
    const std::string text = MakeADS(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        legacy::ALDLDefinition ads;
        legacy::ReadADSText(text, ads);
        ADXDefinition adx;
        legacy::ConvertToADX(&adx, &ads);
        benchmark::DoNotOptimize(adx.size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["items"] = static_cast<double>(2 * state.range(0) + 1);
}
BENCHMARK(BM_ReadAndConvert)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ImportFile(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "korvit_bench_import.ads";
    std::ofstream(path, std::ios::binary) << MakeADS(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        ADXDefinition adx;
        std::string error;
        if (legacy::ImportADS(path.string(), adx, error) == 0) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(adx.size());
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ImportFile)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
