// bench_decode.cpp - how fast the viewer turns tBMP resources into pixels,
// beside LZ4_decompress_safe on the same pixels, memcpy, and the decoder of
// an earlier commit (VELDER_BENCH_REFERENCE, built from git history).
//
//   bench_decode [benchmark flags] [--pack-price=N] [ARCHIVE.mhk...]
//
// With archives: every 8-bit tBMP picture in them, as stored. Without: the
// built-in pictures, each packed as mhkbmp pack packs it, and the pictures of
// the demo archive, then the hand-written streams (tests/support/
// bench_streams.h), each as a 1024 x 1024 resource. "ours" is
// DecodeBitmapResource top-down, the display path, whatever format the
// resource uses. One row per picture, then the geometric means; one row per
// stream, then the worst. Targets: every picture at least 0.5x LZ4; over the
// built-in set at least 0.8x LZ4 and sizes no larger than LZ4's; the worst
// stream at least twice the earlier decoder's worst; a stream with one code
// that keeps its pair at least 0.9x the same stream without it.
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

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "bitmap/bitmap.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bench_pictures.h"
#include "packer/resource_writer.h"
#include "tests/support/bench_streams.h"
#include "tests/support/naive_decompress.h"

#ifdef VELDER_HAS_REFERENCE
#include "tests/bench/reference_decoder.h"
#else
const char kReferenceCommit[] = "";
bool ReferenceDecode(const uint8_t*, uint32_t, std::vector<uint8_t>*)
{
    return false;
}
#endif

namespace {

struct Subject {
    std::string name;
    unsigned width = 0, height = 0;
    bool builtIn = false;
    std::vector<uint8_t> resource;  // the whole tBMP resource
    std::vector<uint8_t> pixels;    // what it decodes to: height rows of the pitch, top-down
    std::vector<char> lz4;          // LZ4's block for the same pixels
    double packMilliseconds = -1;   // built-in pictures: one run of BuildPaletteResource
    int without = -1;               // hand-written streams: as BenchStream::without
};

// "old" is the reference decoder, named by its commit in the tables.
const bool kReference = kReferenceCommit[0] != '\0';

std::vector<Subject> g_subjects;  // pictures
std::vector<Subject> g_streams;   // hand-written streams
const unsigned kStreamSide = 1024;

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
    if (kReference) {
        std::vector<uint8_t> pixels;
        if (!ReferenceDecode(subject->resource.data(), uint32_t(subject->resource.size()), &pixels) ||
            pixels != subject->pixels)
            Fail(subject->name + ": the decoder of " + kReferenceCommit + " differs");
    }
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

// The hand-written streams as resources; each must decode as the model
// decodes it.
void AddStreams()
{
    Bytes palette(768);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = uint8_t(i * 7);
    for (BenchStream& stream : BenchStreams(size_t(kStreamSide) * kStreamSide)) {
        Subject subject;
        subject.name = stream.name;
        subject.without = stream.without;
        Bytes body(4 + stream.stream.size(), 0);  // four unread bytes, then the stream
        std::copy(stream.stream.begin(), stream.stream.end(), body.begin() + 4);
        subject.resource = EightBitResource(kStreamSide, kStreamSide, kFormatCompressed, palette, body);
        DecodedPicture model;
        if (!NaiveDecodeResource(subject.resource.data(), subject.resource.size(), &model) || !Prepare(&subject) ||
            subject.pixels != model.rows)
            Fail(subject.name + ": the stream does not decode as the model decodes it");
        g_streams.push_back(std::move(subject));
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

void DecodeReference(benchmark::State& state, const Subject* subject)
{
    for (auto _ : state) {
        if (!ReferenceDecode(subject->resource.data(), uint32_t(subject->resource.size()), nullptr))
            Fail(subject->name + ": the reference decoder failed");
        benchmark::ClobberMemory();
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

// Ours and, when there is one, the reference decoder on subject.
void RegisterDecoders(const Subject& subject)
{
    benchmark::RegisterBenchmark(("ours/" + subject.name).c_str(), DecodeOurs, &subject);
    if (kReference)
        benchmark::RegisterBenchmark(("old/" + subject.name).c_str(), DecodeReference, &subject);
}

// The best rate of a benchmark, 0 when it did not run (filtered out).
double Rate(Recorder& recorder, const std::string& name)
{
    auto found = recorder.megabytesPerSecond.find(name);
    return found != recorder.megabytesPerSecond.end() ? found->second : 0;
}

void PrintPictures(Recorder& recorder)
{
    printf("\n%-24s %9s %6s %9s %9s %8s %10s %10s %11s %9s", "picture", "size", "format", "ours B", "LZ4 B",
           "pack ms", "ours MB/s", "LZ4 MB/s", "memcpy MB/s", "ours/LZ4");
    if (kReference)
        printf(" %8s MB/s %8s", kReferenceCommit, "ours/old");
    printf("\n");
    bool everyMet = true;
    Mean all, builtIn;
    for (const Subject& subject : g_subjects) {
        const double ours = Rate(recorder, "ours/" + subject.name), lz4 = Rate(recorder, "lz4/" + subject.name);
        const double copy = Rate(recorder, "memcpy/" + subject.name), old = Rate(recorder, "old/" + subject.name);
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
        printf("%-24s %9s %6u %9zu %9zu %8s %10.0f %10.0f %11.0f %8.2fx", subject.name.c_str(), side.c_str(),
               Format(subject), subject.resource.size(), subject.lz4.size(), pack, ours, lz4, copy, ratio);
        if (kReference && old > 0)
            printf(" %13.0f %7.2fx", old, ours / old);
        printf("\n");
    }
    if (all.count == 0)
        return;
    printf("geometric mean: ours/LZ4 %.2fx, size ours/LZ4 %.2f\n", all.Speed(), all.Size());
    if (builtIn.count != 0 && builtIn.count != all.count)
        printf("geometric mean, built-in set: ours/LZ4 %.2fx, size ours/LZ4 %.2f\n", builtIn.Speed(),
               builtIn.Size());
    printf("target: every picture >= 0.5x LZ4: %s\n", Met(everyMet));
    if (builtIn.count != 0)
        printf("target: built-in set >= 0.8x LZ4 and size <= LZ4's on the geometric mean: %s, %s\n",
               Met(builtIn.Speed() >= 0.8), Met(builtIn.Size() <= 1.0));
}

// The hand-written streams: each row, the worst of each decoder, and each
// stream with a kept code against the same stream without it.
void PrintStreams(Recorder& recorder)
{
    const double copy = Rate(recorder, "memcpy/stream");
    printf("\n%-24s %9s %10s %11s", "stream", "stream B", "ours MB/s", "ours/memcpy");
    if (kReference)
        printf(" %8s MB/s %8s", kReferenceCommit, "ours/old");
    printf("\n");
    const Subject *worst = nullptr, *worstOld = nullptr;
    double worstRate = 0, worstOldRate = 0;
    for (const Subject& subject : g_streams) {
        const double ours = Rate(recorder, "ours/" + subject.name), old = Rate(recorder, "old/" + subject.name);
        if (ours <= 0)
            continue;
        printf("%-24s %9zu %10.0f", subject.name.c_str(), subject.resource.size() - kPixelsCompressed, ours);
        if (copy > 0)
            printf(" %10.2f%%", 100 * ours / copy);
        else
            printf(" %11s", "-");
        if (kReference && old > 0)
            printf(" %13.0f %7.2fx", old, ours / old);
        printf("\n");
        if (worst == nullptr || ours < worstRate) {
            worst = &subject;
            worstRate = ours;
        }
        if (old > 0 && (worstOld == nullptr || old < worstOldRate)) {
            worstOld = &subject;
            worstOldRate = old;
        }
    }
    if (worst == nullptr)
        return;
    printf("worst stream: ours %.0f MB/s (%s)", worstRate, worst->name.c_str());
    if (copy > 0)
        printf(", %.2f%% of memcpy (%.0f MB/s)", 100 * worstRate / copy, copy);
    if (worstOld != nullptr)
        printf("; %s %.0f MB/s (%s); ours/%s on the worst %.2fx", kReferenceCommit, worstOldRate,
               worstOld->name.c_str(), kReferenceCommit, worstRate / worstOldRate);
    printf("\n");
    if (worstOld != nullptr)
        printf("target: worst stream >= 2x the worst of %s: %s\n", kReferenceCommit,
               Met(worstRate >= 2 * worstOldRate));
    bool keptMet = true, anyKept = false;
    for (const Subject& subject : g_streams) {
        if (subject.without < 0)
            continue;
        const Subject& plain = g_streams[size_t(subject.without)];
        const double with = Rate(recorder, "ours/" + subject.name), without = Rate(recorder, "ours/" + plain.name);
        if (with <= 0 || without <= 0)
            continue;
        anyKept = true;
        keptMet = keptMet && with >= 0.9 * without;
        printf("kept code: %s / %s: ours %.2fx", subject.name.c_str(), plain.name.c_str(), with / without);
        const double oldWith = Rate(recorder, "old/" + subject.name), oldWithout = Rate(recorder, "old/" + plain.name);
        if (oldWith > 0 && oldWithout > 0)
            printf(", %s %.2fx", kReferenceCommit, oldWith / oldWithout);
        printf("\n");
    }
    if (anyKept)
        printf("target: a stream with one code that keeps its pair >= 0.9x the same stream without: %s\n",
               Met(keptMet));
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
        AddStreams();
    }
    if (g_subjects.empty())
        Fail("no 8-bit tBMP pictures to decode");
    for (const Subject& subject : g_subjects) {
        RegisterDecoders(subject);
        benchmark::RegisterBenchmark(("lz4/" + subject.name).c_str(), DecodeLz4, &subject);
        benchmark::RegisterBenchmark(("memcpy/" + subject.name).c_str(), Copy, &subject);
    }
    for (const Subject& subject : g_streams)
        RegisterDecoders(subject);
    if (!g_streams.empty())
        benchmark::RegisterBenchmark("memcpy/stream", Copy, &g_streams[0]);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    PrintPictures(recorder);
    PrintStreams(recorder);
    benchmark::Shutdown();
    return 0;
}
