// bench_enumerate.cpp - enumerating the largest possible bitmap type
// (65,535 resources, 65,535 name entries in reverse order of index), against
// a reference that looks every name up by scanning the name table from its
// last entry, one scan per resource.
#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>

#include "archive/archive.h"
#include "tests/support/archive_builder.h"

namespace {

Bytes s_archiveBytes;

void NoCount(unsigned) {}
void NoItem(uint16_t, uint16_t, const char* name)
{
    benchmark::DoNotOptimize(name);
}

// The per-resource linear scan. The archive is known to be well formed,
// so nothing is bounds-checked and its one bitmap type is found by a plain scan.
size_t ReferenceEnumerate(const uint8_t* base)
{
    const uint8_t* directory = base + ReadBE32(base + 20);
    const uint8_t* entry = directory + 4;
    while (ReadBE32(entry) != kTypeBitmap)
        entry += 8;
    const uint8_t* table = directory + ReadBE16(entry + 4);
    const uint8_t* names = directory + ReadBE16(entry + 6);
    const uint8_t* area = directory + ReadBE16(directory);
    unsigned count = ReadBE16(table);
    unsigned nameCount = ReadBE16(names);
    size_t found = 0;
    for (unsigned r = 0; r < count; ++r) {
        uint16_t index = ReadBE16(table + 4 + 4 * r);
        for (unsigned n = nameCount; n-- > 0;) {
            const uint8_t* e = names + 2 + 4 * n;
            if (ReadBE16(e + 2) == index) {
                benchmark::DoNotOptimize(area + ReadBE16(e));
                ++found;
                break;
            }
        }
    }
    return found;
}

void BM_Enumerate(benchmark::State& state)
{
    for (auto _ : state)
        EnumerateResources(s_archiveBytes.data(), kTypeBitmap, NoCount, NoItem);
}
BENCHMARK(BM_Enumerate)->Unit(benchmark::kMillisecond);

void BM_ReferenceScan(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ReferenceEnumerate(s_archiveBytes.data()));
}
BENCHMARK(BM_ReferenceScan)->Unit(benchmark::kMillisecond)->Iterations(2);

// Keeps each benchmark's time per iteration for the closing ratio.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            seconds[run.benchmark_name()] = run.GetAdjustedRealTime() /
                                            benchmark::GetTimeUnitMultiplier(run.time_unit);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    s_archiveBytes = BuildMaximalArchive();
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    double fast = recorder.seconds["BM_Enumerate"];
    double slow = recorder.seconds["BM_ReferenceScan/iterations:2"];
    if (fast > 0 && slow > 0) {
        printf("enumeration of 65535 resources / 65535 names: %.3f ms (target < 5 ms)\n", fast * 1e3);
        printf("reference per-resource scan: %.1f ms; ratio %.0fx (target >= 500x)\n", slow * 1e3,
               slow / fast);
    }
    benchmark::Shutdown();
    return 0;
}
