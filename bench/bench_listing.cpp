// Parsing a full answer buffer against merely counting its lines with memchr:
// the parse should stay within a small factor of touching every byte once.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "lib/zem_lib.h"
#include "serial/answer_read.h"
#include "tree/device_tree.h"

struct GeneratedListing {
    std::string text;
    uint32_t entries = 0;
    uint32_t directories = 0;
};

static int AppendLine(GeneratedListing* listing, const std::string& line, size_t reserve)
{
    if (listing->text.size() + line.size() + reserve > ANSWER_BUFFER_SIZE - 1)
        return 0;
    listing->text += line;
    listing->entries++;
    return 1;
}

// A controller's worth of programs: two disks, program folders with a few
// subfolders each, about 25 files a folder, until 262143 bytes are full.
static GeneratedListing GenerateListing()
{
    GeneratedListing listing;
    listing.text = "Vantorix directory listing\r\n";
    const std::string tail = "Free RamDisk: 1048576\r\nFree FlashDisk: 524288\r\n\r\n";
    const size_t reserve = tail.size();
    uint32_t seed = 12345;
    auto next = [&seed] { seed = seed * 1103515245u + 12345u; return (seed >> 8) & 0xFFFFu; };
    int full = 0;
    for (int disk = 0; disk < 2 && !full; disk++) {
        full = !AppendLine(&listing, disk == 0 ? "(dir) ram\r\n" : "(dir) ROM\r\n", reserve);
        listing.directories++;
        // The first disk gets 200 folders, the second as many as still fit.
        for (int folder = 0; (disk == 1 || folder < 200) && !full; folder++) {
            int depth = 1 + folder % 3;
            std::string indent(depth, ' ');
            full = !AppendLine(&listing, indent + "(dir) prog" + std::to_string(folder) + "\r\n", reserve);
            listing.directories += !full;
            for (int file = 0; file < 25 && !full; file++) {
                std::string line = indent + " " + std::to_string(next() * 7) + " O" + std::to_string(1000 + file) +
                                   "_op" + std::to_string(next() % 90 + 10) + ".nc\r\n";
                full = !AppendLine(&listing, line, reserve);
            }
        }
    }
    listing.text += tail;
    return listing;
}

static const GeneratedListing& Listing()
{
    static GeneratedListing listing = GenerateListing();
    return listing;
}

// Thread CPU time: the machine may be shared, and preemption is not the parser's.
static double CpuNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

static uint32_t CountLines(const char* text, size_t size)
{
    uint32_t lines = 0;
    const char* end = text + size;
    for (const char* p = text; (p = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(end - p)))); p++)
        lines++;
    return lines;
}

static void BM_CountLines(benchmark::State& state)
{
    const std::string& text = Listing().text;
    for (auto _ : state)
        benchmark::DoNotOptimize(CountLines(text.data(), text.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

static void BM_ParseListing(benchmark::State& state)
{
    const GeneratedListing& listing = Listing();
    // The answer buffer as the browser has it: the text, then its NUL.
    memcpy(AnswerBuffer, listing.text.c_str(), listing.text.size() + 1);
    DeviceTree* tree = CreateDeviceTree();
    if (!tree || !ParseListing(tree, AnswerBuffer)) {
        state.SkipWithError("the generated listing does not parse");
        FreeDeviceTree(tree);
        return;
    }
    double parseStart = CpuNanoseconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseListing(tree, AnswerBuffer));
    double parseNs = (CpuNanoseconds() - parseStart) / static_cast<double>(state.iterations());

    // The line count of the same buffer in the same run, for the ratio.
    const int rounds = 2000;
    double countStart = CpuNanoseconds();
    for (int i = 0; i < rounds; i++)
        benchmark::DoNotOptimize(CountLines(AnswerBuffer, listing.text.size()));
    double countNs = (CpuNanoseconds() - countStart) / rounds;

    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * listing.text.size()));
    state.counters["entries"] = benchmark::Counter(listing.entries);
    state.counters["dirs"] = benchmark::Counter(tree->arraysInUse);
    state.counters["entries/s"] = benchmark::Counter(static_cast<double>(listing.entries),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    state.counters["parse_cpu_us"] = benchmark::Counter(parseNs / 1000.0);
    state.counters["parse/linecount"] = benchmark::Counter(parseNs / countNs);
    FreeDeviceTree(tree);
}

BENCHMARK(BM_CountLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseListing)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    ZemLibInit();
    benchmark::Initialize(&argc, argv);
    printf("listing: %zu bytes, %u entries, %u directories\n", Listing().text.size(), Listing().entries,
           Listing().directories);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ZemLibExit();
    return 0;
}
