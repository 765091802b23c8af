// bench_decode.cpp - how fast the viewer turns tBMP resources into pixels,
// beside LZ4_decompress_safe on the same pixels and beside memcpy.
//
//   bench_decode [benchmark flags] [--pack-price=N] [ARCHIVE.mhk...]
//
// With archives: every 8-bit tBMP picture in them, as stored. Without: the
// built-in pictures, each packed as mhkbmp pack packs it, and the pictures of
// the demo archive. "ours" is DecodeBitmapResource top-down, the display
// path, whatever format the resource uses. One row per picture, then the
// geometric means. Targets: every picture at least 0.5x LZ4; over the
// built-in set at least 0.8x LZ4 and sizes no larger than LZ4's.
//
// --pack-price=N packs the built-in pictures at another price of decoding
// time (CompressOptions::codePenalty, in 1/256 byte per ns; pack uses 128),
// to show what each price gives in size and in speed.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "bitmap/bitmap.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bench_pictures.h"
#include "packer/resource_writer.h"

namespace {

struct Subject {
    std::string name;
    unsigned width = 0, height = 0;
    bool builtIn = false;
    std::vector<uint8_t> resource;  // the whole tBMP resource
    std::vector<uint8_t> pixels;    // what it decodes to: height rows of the pitch, top-down
    std::vector<char> lz4;          // LZ4's block for the same pixels
    double packMilliseconds = -1;   // built-in pictures: one run of BuildPaletteResource
};

std::vector<Subject> g_subjects;

void Fail(const std::string& what)
{
    fprintf(stderr, "bench_decode: %s\n", what.c_str());
    exit(1);
}

unsigned Format(const Subject& subject)
{
    return ReadBE16(&subject.resource[kHeaderFormat]);
}

// Fills in the pixels and LZ4's block from the resource; false for a
// picture that is not 8-bit or not readable.
bool Prepare(Subject* subject)
{
    BitmapBuffer buffer;
    if (!DecodeBitmapResource(subject->resource.data(), uint32_t(subject->resource.size()), false, &buffer))
        return false;
    const bool eightBit = buffer.header->biBitCount == 8;
    if (eightBit) {
        subject->width = uint32_t(buffer.header->biWidth);
        subject->height = uint32_t(-buffer.header->biHeight);
        subject->pixels.assign(buffer.pixels, buffer.pixels + size_t(subject->height) * PalettePitch(subject->width));
    }
    ReleaseBitmap(&buffer);
    if (!eightBit)
        return false;
    const int size = int(subject->pixels.size());
    std::vector<char> bound(LZ4_compressBound(size));
    const int packed =
        LZ4_compress_default(reinterpret_cast<const char*>(subject->pixels.data()), bound.data(), size, int(bound.size()));
    if (packed <= 0)
        Fail(subject->name + ": LZ4 compression failed");
    subject->lz4.assign(bound.begin(), bound.begin() + packed);
    return true;
}

void AddBuiltIn(const CompressOptions& options)
{
    for (const BenchPicture& picture : BenchPictures()) {
        Subject subject;
        subject.name = picture.name;
        subject.builtIn = true;
        auto start = std::chrono::steady_clock::now();
        subject.resource = BuildPaletteResource(1024, 1024, picture.palette.data(), picture.pixels.data(),
                                                kStoreSmaller, options);
        subject.packMilliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!Prepare(&subject) || subject.pixels != picture.pixels)
            Fail(subject.name + ": the packed resource does not decode to its picture");
        g_subjects.push_back(std::move(subject));
    }
}

void AddArchive(const char* path, const std::string& label)
{
    ArchiveView view;
    if (!MapArchive(&view, path))
        Fail(std::string(path) + ": cannot be opened");
    if (!IsValidArchive(view.base, view.size))
        Fail(std::string(path) + ": not an archive");
    std::vector<unsigned> counts;
    for (const ListedItem& item : ListResources(view.base, kTypeBitmap, &counts)) {
        const uint8_t* data;
        uint32_t size;
        if (!GetResourceData(view.base, item.index, &data, &size))
            continue;
        Subject subject;
        subject.name = label + (item.name != "<null>" ? item.name : "#" + std::to_string(item.id));
        subject.resource.assign(data, data + size);
        if (Prepare(&subject))
            g_subjects.push_back(std::move(subject));
    }
    ReleaseArchive(&view);
}

void DecodeOurs(benchmark::State& state, const Subject* subject)
{
    for (auto _ : state) {
        BitmapBuffer buffer;
        if (!DecodeBitmapResource(subject->resource.data(), uint32_t(subject->resource.size()), false, &buffer))
            Fail(subject->name + ": DecodeBitmapResource failed");
        benchmark::DoNotOptimize(buffer.pixels);
        benchmark::ClobberMemory();
        ReleaseBitmap(&buffer);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(subject->pixels.size()));
}

void DecodeLz4(benchmark::State& state, const Subject* subject)
{
    std::vector<char> out(subject->pixels.size());
    for (auto _ : state) {
        int n = LZ4_decompress_safe(subject->lz4.data(), out.data(), int(subject->lz4.size()), int(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    if (memcmp(out.data(), subject->pixels.data(), out.size()) != 0)
        Fail(subject->name + ": LZ4 differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(subject->pixels.size()));
}

void Copy(benchmark::State& state, const Subject* subject)
{
    std::vector<uint8_t> out(subject->pixels.size());
    for (auto _ : state) {
        memcpy(out.data(), subject->pixels.data(), out.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(subject->pixels.size()));
}

// Keeps each benchmark's best output rate over its repetitions: the machine
// may be shared, and the best run is the one least disturbed.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> megabytesPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (run.run_type != Run::RT_Iteration || rate == run.counters.end())
                continue;
            double& best = megabytesPerSecond[run.run_name.function_name];
            best = std::max(best, rate->second.value / 1e6);
        }
    }
};

struct Mean {
    double logSpeed = 0, logSize = 0;
    unsigned count = 0;
    void Add(double speed, double size)
    {
        logSpeed += log(speed);
        logSize += log(size);
        ++count;
    }
    double Speed() const { return exp(logSpeed / count); }
    double Size() const { return exp(logSize / count); }
};

const char* Met(bool met)
{
    return met ? "met" : "NOT met";
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);  // takes out the flags it knows
    CompressOptions options;
    int archives = 0;
    for (int i = 1; i < argc; ++i) {
        const char* const kPrice = "--pack-price=";
        if (strncmp(argv[i], kPrice, strlen(kPrice)) == 0) {
            char* end;
            const unsigned long price = strtoul(argv[i] + strlen(kPrice), &end, 10);
            if (*end != '\0' || end == argv[i] + strlen(kPrice) || price > 65536)
                Fail(std::string("bad price in ") + argv[i]);
            options.codePenalty = unsigned(price);
            continue;
        }
        if (argv[i][0] == '-')
            Fail(std::string("unknown option ") + argv[i]);
        const char* slash = strrchr(argv[i], '/');
        AddArchive(argv[i], std::string(slash != nullptr ? slash + 1 : argv[i]) + ":");
        ++archives;
    }
    if (archives == 0) {
        AddBuiltIn(options);
        AddArchive(VELDER_DEMO_ARCHIVE, "demo.mhk:");
    }
    if (g_subjects.empty())
        Fail("no 8-bit tBMP pictures to decode");
    for (const Subject& subject : g_subjects) {
        benchmark::RegisterBenchmark(("ours/" + subject.name).c_str(), DecodeOurs, &subject);
        benchmark::RegisterBenchmark(("lz4/" + subject.name).c_str(), DecodeLz4, &subject);
        benchmark::RegisterBenchmark(("memcpy/" + subject.name).c_str(), Copy, &subject);
    }
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);

    printf("\n%-24s %9s %6s %9s %9s %8s %10s %10s %11s %9s\n", "picture", "size", "format", "ours B", "LZ4 B",
           "pack ms", "ours MB/s", "LZ4 MB/s", "memcpy MB/s", "ours/LZ4");
    bool everyMet = true;
    Mean all, builtIn;
    for (const Subject& subject : g_subjects) {
        const double ours = recorder.megabytesPerSecond["ours/" + subject.name];
        const double lz4 = recorder.megabytesPerSecond["lz4/" + subject.name];
        const double copy = recorder.megabytesPerSecond["memcpy/" + subject.name];
        if (ours <= 0 || lz4 <= 0)
            continue;  // filtered out
        const double ratio = ours / lz4, size = double(subject.resource.size()) / double(subject.lz4.size());
        everyMet = everyMet && ratio >= 0.5;
        all.Add(ratio, size);
        if (subject.builtIn)
            builtIn.Add(ratio, size);
        const std::string side = std::to_string(subject.width) + "x" + std::to_string(subject.height);
        char pack[16] = "-";
        if (subject.packMilliseconds >= 0)
            snprintf(pack, sizeof pack, "%.0f", subject.packMilliseconds);
        printf("%-24s %9s %6u %9zu %9zu %8s %10.0f %10.0f %11.0f %8.2fx\n", subject.name.c_str(), side.c_str(),
               Format(subject), subject.resource.size(), subject.lz4.size(), pack, ours, lz4, copy, ratio);
    }
    if (all.count == 0)
        return 0;
    printf("geometric mean: ours/LZ4 %.2fx, size ours/LZ4 %.2f\n", all.Speed(), all.Size());
    if (builtIn.count != 0 && builtIn.count != all.count)
        printf("geometric mean, built-in set: ours/LZ4 %.2fx, size ours/LZ4 %.2f\n", builtIn.Speed(),
               builtIn.Size());
    printf("target: every picture >= 0.5x LZ4: %s\n", Met(everyMet));
    if (builtIn.count != 0)
        printf("target: built-in set >= 0.8x LZ4 and size <= LZ4's on the geometric mean: %s, %s\n",
               Met(builtIn.Speed() >= 0.8), Met(builtIn.Size() <= 1.0));
    benchmark::Shutdown();
    return 0;
}
