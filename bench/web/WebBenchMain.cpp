// Entry point of the web benchmarks: an application object for the event loops, and rows run
// interleaved by default, so the machine's background load falls on ours and the peers' alike.
#include "BenchFile.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <vector>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    std::vector<char *> args(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    BenchFile::removeShared();
    return 0;
}
