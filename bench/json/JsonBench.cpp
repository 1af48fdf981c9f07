// Throughput of the JSON reader and writer on three reference documents, next to Qt's
// JSON classes building the same QVariant tree and nlohmann::json. Bytes processed are
// the document's size in every row, so the MB/s columns compare directly.
#include "json/CJSONDeserializer.h"
#include "json/CJSONSerializer.h"

#include <QFile>
#include <QJsonDocument>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <malloc.h>

#include <cstdio>
#include <string>

namespace {

const char *const Documents[] = {"twitter", "canada", "citm_catalog"};

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
    // Each iteration frees a whole tree; without these the allocator hands the memory back
    // to the kernel and page-faults it in again, and the figures swing by 2x from run to
    // run. The setting applies to every contender alike.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    benchmark::Initialize(&argc, argv);
    for (const char *name : Documents) {
        QFile file(QStringLiteral(VELMORA_JSON_BENCH_DATA "/%1.json").arg(QLatin1String(name)));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "skipping %s: %s not readable\n", name,
                         qPrintable(file.fileName()));
            continue;
        }
        registerDocument(name, file.readAll());
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
