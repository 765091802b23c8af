// bench_decode.cpp - decoding speed of the compressed pixel stream, on three
// 1024 x 1024 pictures made by the compressor (a smooth gradient, dithered
// noise, flat with detail), beside LZ4_decompress_safe on the same pixels
// and beside memcpy. Prints MB/s of output, each picture's compressed size
// in both formats (ours: the stream alone; a resource adds 784 bytes), the
// time the compressor took, and the ratio to LZ4 (target: at least 0.5).
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "bitmap/bitmap.h"
#include "bitmap/decompress.h"
#include "tests/support/bench_pictures.h"
#include "writer/compress.h"
#include "writer/resource_writer.h"

namespace {

const size_t kFront = 1024;  // the palette in front of the area, as in the decode block

struct Subject {
    std::string name;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> stream;    // ours, exactly sized
    std::vector<uint8_t> resource;  // ours as a whole tBMP resource (format 1034)
    std::vector<char> lz4;          // LZ4's, exactly sized
    double encodeMilliseconds = 0;  // one run of the compressor
};

std::vector<Subject> g_subjects;

void Check(bool condition, const std::string& what)
{
    if (!condition) {
        fprintf(stderr, "bench_decode: %s\n", what.c_str());
        exit(1);
    }
}

void DecodeOurs(benchmark::State& state, const Subject* subject)
{
    std::vector<uint8_t> block(kFront + subject->pixels.size());
    uint8_t* area = block.data() + kFront;
    const uint8_t* source = subject->stream.data();
    for (auto _ : state) {
        DecompressPixels(source, area, area + subject->pixels.size(), source + subject->stream.size());
        benchmark::ClobberMemory();
    }
    Check(memcmp(area, subject->pixels.data(), subject->pixels.size()) == 0, subject->name + ": DecompressPixels differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(subject->pixels.size()));
}

void DecodeResource(benchmark::State& state, const Subject* subject)
{
    for (auto _ : state) {
        BitmapBuffer buffer;
        Check(DecodeBitmapResource(subject->resource.data(), uint32_t(subject->resource.size()), false, &buffer),
              subject->name + ": DecodeBitmapResource failed");
        benchmark::DoNotOptimize(buffer.pixels);
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
    Check(memcmp(out.data(), subject->pixels.data(), out.size()) == 0, subject->name + ": LZ4 differs");
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

// Keeps each run's output rate for the closing table.
class Recorder : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> megabytesPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                megabytesPerSecond[run.benchmark_name()] = rate->second.value / 1e6;
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    for (const BenchPicture& picture : BenchPictures()) {
        Subject subject;
        subject.name = picture.name;
        subject.pixels = picture.pixels;
        auto start = std::chrono::steady_clock::now();
        subject.stream = CompressPixels(subject.pixels.data(), subject.pixels.size());
        subject.encodeMilliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        subject.resource = BuildPaletteResource(1024, 1024, picture.palette.data(), subject.pixels.data(), kStoreCompressed);
        std::vector<char> bound(LZ4_compressBound(int(subject.pixels.size())));
        int size = LZ4_compress_default(reinterpret_cast<const char*>(subject.pixels.data()), bound.data(),
                                        int(subject.pixels.size()), int(bound.size()));
        Check(size > 0, subject.name + ": LZ4 compression failed");
        subject.lz4.assign(bound.begin(), bound.begin() + size);
        g_subjects.push_back(subject);
    }
    for (const Subject& subject : g_subjects) {
        benchmark::RegisterBenchmark(("ours/" + subject.name).c_str(), DecodeOurs, &subject);
        benchmark::RegisterBenchmark(("resource/" + subject.name).c_str(), DecodeResource, &subject);
        benchmark::RegisterBenchmark(("lz4/" + subject.name).c_str(), DecodeLz4, &subject);
        benchmark::RegisterBenchmark(("memcpy/" + subject.name).c_str(), Copy, &subject);
    }
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);

    printf("\n%-19s %9s %9s %10s %11s %11s %11s %11s %9s\n", "picture (1024x1024)", "ours B", "LZ4 B",
           "encode ms", "ours MB/s", "tBMP MB/s", "LZ4 MB/s", "memcpy MB/s", "ours/LZ4");
    bool allMet = true;
    for (const Subject& subject : g_subjects) {
        double ours = recorder.megabytesPerSecond["ours/" + subject.name];
        double resource = recorder.megabytesPerSecond["resource/" + subject.name];
        double lz4 = recorder.megabytesPerSecond["lz4/" + subject.name];
        double copy = recorder.megabytesPerSecond["memcpy/" + subject.name];
        double ratio = lz4 > 0 ? ours / lz4 : 0;
        if (ours > 0 && ratio < 0.5)
            allMet = false;
        printf("%-19s %9zu %9zu %10.0f %11.0f %11.0f %11.0f %11.0f %8.2fx\n", subject.name.c_str(),
               subject.stream.size(), subject.lz4.size(), subject.encodeMilliseconds, ours, resource, lz4, copy, ratio);
    }
    printf("target: ours >= 0.5x LZ4 on every picture: %s\n", allMet ? "met" : "NOT met");
    benchmark::Shutdown();
    return 0;
}
