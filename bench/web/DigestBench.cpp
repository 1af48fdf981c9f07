// hashFile on a 1 GiB file for each digest, against `openssl dgst` on the same file in the
// same run. Both rows time the whole job (the openssl rows include starting the program, a
// few milliseconds), so their MB/s columns compare directly. "cpu_MBps" divides by the CPU
// time (user and system) the digest took instead, the fairer figure on a busy machine.
#include "BenchFile.h"
#include "web/MZWebUtility.h"

#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

constexpr qint64 FileMiB = 1024;

const char *opensslName(MZHashKind kind) {
    static const char *const names[] = {"-md5", "-sha1", "-sha256", "-sha512"};
    return names[kind];
}

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Times one run of job: wall time as the iteration time, CPU time of `who` into cpu.
template <typename Job>
void timeOnce(benchmark::State &state, int who, double &cpu, Job job) {
    const double cpuBefore = cpuSeconds(who);
    QElapsedTimer timer;
    timer.start();
    if (!job()) state.SkipWithError("no digest");
    state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    cpu += cpuSeconds(who) - cpuBefore;
}

void report(benchmark::State &state, MZHashKind kind, qint64 size, double cpu) {
    state.SetBytesProcessed(state.iterations() * size);
    state.counters["cpu_MBps"] = double(state.iterations() * size) / cpu / 1e6;
    state.SetLabel(opensslName(kind) + 1);
}

void BM_HashFile(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(FileMiB);
    const MZHashKind kind = state.range(0);
    double cpu = 0;
    for (auto _ : state) {
        timeOnce(state, RUSAGE_SELF, cpu,
                 [&] { return !MZWebUtility::hashFile(file.path(), kind).isNull(); });
    }
    report(state, kind, file.size(), cpu);
}

void BM_OpensslDgst(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(FileMiB);
    const MZHashKind kind = state.range(0);
    double cpu = 0;
    for (auto _ : state) {
        timeOnce(state, RUSAGE_CHILDREN, cpu, [&] {
            QProcess openssl;
            openssl.start(QStringLiteral("openssl"),
                          {QStringLiteral("dgst"), QString::fromLatin1(opensslName(kind)),
                           file.path()});
            return openssl.waitForFinished(-1) && openssl.exitCode() == 0;
        });
    }
    report(state, kind, file.size(), cpu);
}

void digestKinds(benchmark::internal::Benchmark *b) {
    b->DenseRange(MZHashKindMD5, MZHashKindSHA512)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(5)
        ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_HashFile)->Apply(digestKinds);
BENCHMARK(BM_OpensslDgst)->Apply(digestKinds);

}  // namespace
