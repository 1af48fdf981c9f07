// Throughput of the JSON reader and writer on three reference documents, next to Qt's
// JSON classes building the same QVariant tree and nlohmann::json. Bytes processed are
// the document's size in every row, so the MB/s columns compare directly. The peak rows
// read one input in a fresh process each (so no peak hides another) and report its peak
// resident memory: peak_MB in all, read_MB above what the process held before reading.
#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"

#include <QFile>
#include <QJsonDocument>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char *const Documents[] = {"twitter", "canada", "citm_catalog"};
const char *const Readers[] = {"ours", "qt", "nlohmann"};
// 50 MiB of "1," in one array: 26 million numbers.
constexpr qsizetype OnesCount = (qsizetype(50) << 20) / 2;

QByteArray readDocument(const char *name) {
    QFile file(QStringLiteral(VELMORA_JSON_BENCH_DATA "/%1.json").arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void countBytes(benchmark::State &state, qsizetype size) {
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
}

void readOurs(benchmark::State &state, const QByteArray &text) {
    const CJSONDeserializer deserializer = CJSONDeserializer::deserializer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(deserializer.deserialize(text));
    }
    countBytes(state, text.size());
}

void readQt(benchmark::State &state, const QByteArray &text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(text).toVariant());
    }
    countBytes(state, text.size());
}

void readNlohmann(benchmark::State &state, const QByteArray &text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(nlohmann::json::parse(text.cbegin(), text.cend()));
    }
    countBytes(state, text.size());
}

void writeOurs(benchmark::State &state, const QByteArray &text) {
    const QVariant tree = CJSONDeserializer::deserializer().deserialize(text);
    const CJSONSerializer serializer = CJSONSerializer::serializer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(serializer.serializeObject(tree));
    }
    countBytes(state, text.size());
}

void writeQt(benchmark::State &state, const QByteArray &text) {
    const QVariant tree = CJSONDeserializer::deserializer().deserialize(text);
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromVariant(tree).toJson(QJsonDocument::Compact));
    }
    countBytes(state, text.size());
}

void writeNlohmann(benchmark::State &state, const QByteArray &text) {
    const nlohmann::json tree = nlohmann::json::parse(text.cbegin(), text.cend());
    for (auto _ : state) {
        benchmark::DoNotOptimize(tree.dump());
    }
    countBytes(state, text.size());
}

// Resident set now, in KiB.
long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

QByteArray peakInput(const std::string &input) {
    if (input != "ones") {
        return readDocument(input.c_str());
    }
    QByteArray text;
    text.reserve(2 * OnesCount + 1);
    text.append('[');
    for (qsizetype i = 1; i < OnesCount; ++i) {
        text.append("1,", 2);
    }
    return text.append("1]", 2);
}

// The child's side of a peak row: reads the input once with the named reader and prints
// its peak and its resident memory before the read (KiB) and the read's seconds.
int measurePeak(const std::string &reader, const std::string &input) {
    const QByteArray text = peakInput(input);
    const long before = residentKiB();
    const auto start = std::chrono::steady_clock::now();
    bool valid;
    if (reader == "ours") {
        valid = CJSONDeserializer::deserializer().deserialize(text).isValid();
    } else if (reader == "qt") {
        valid = QJsonDocument::fromJson(text).toVariant().isValid();
    } else {
        valid = !nlohmann::json::parse(text.cbegin(), text.cend()).is_discarded();
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld %ld %.6f\n", usage.ru_maxrss, before, seconds.count());
    return valid && !text.isEmpty() ? 0 : 1;
}

void peakInFreshProcess(benchmark::State &state, const std::string &reader,
                        const std::string &input) {
    const std::string command = "'" + std::filesystem::read_symlink("/proc/self/exe").string() +
                                "' --peak " + reader + " " + input;
    for (auto _ : state) {
        FILE *child = popen(command.c_str(), "r");
        long peak = 0, before = 0;
        double seconds = 0;
        const bool read = child && std::fscanf(child, "%ld %ld %lf", &peak, &before, &seconds) == 3;
        if ((child && pclose(child) != 0) || !read) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["peak_MB"] = double(peak) / 1024;
        state.counters["read_MB"] = double(peak - before) / 1024;
        if (input == "ones") {
            state.counters["read_B_per_element"] = double(peak - before) * 1024 / OnesCount;
        }
    }
}

void registerPeaks() {
    for (const char *input : {"ones", "citm_catalog"}) {
        for (const char *reader : Readers) {
            benchmark::RegisterBenchmark((std::string("peak/") + reader + "/" + input).c_str(),
                                         [reader, input](benchmark::State &state) {
                                             peakInFreshProcess(state, reader, input);
                                         })
                ->Iterations(1)
                ->Repetitions(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

using Bench = void (*)(benchmark::State &, const QByteArray &);

void registerDocument(const std::string &name, const QByteArray &text) {
    const std::pair<const char *, Bench> benches[] = {
        {"read/ours", readOurs},   {"read/qt", readQt},   {"read/nlohmann", readNlohmann},
        {"write/ours", writeOurs}, {"write/qt", writeQt}, {"write/nlohmann", writeNlohmann},
    };
    for (const auto &[label, bench] : benches) {
        benchmark::RegisterBenchmark((std::string(label) + "/" + name).c_str(), bench, text)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) {
        return measurePeak(argv[2], argv[3]);
    }
    // Each iteration frees a whole tree; without these the allocator hands the memory back
    // to the kernel and page-faults it in again, and the figures swing by 2x from run to
    // run. The setting applies to every contender alike.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    // This machine's speed drifts within minutes. Repetitions of the contenders are
    // interleaved, so that the figures for a file come from the same stretch of time; a flag
    // given on the command line comes later and still decides.
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char *> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleave);
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    for (const char *name : Documents) {
        const QByteArray text = readDocument(name);
        if (text.isEmpty()) {
            std::fprintf(stderr, "skipping %s: not readable in %s\n", name,
                         VELMORA_JSON_BENCH_DATA);
            continue;
        }
        registerDocument(name, text);
    }
    registerPeaks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
