// hashFile on a 1 GiB file for each digest, against `openssl dgst` on the same file in the
// same run. Both rows time the whole job (the openssl rows include starting the program, a
// few milliseconds), so their MB/s columns compare directly.
#include "BenchFile.h"
#include "web/MZWebUtility.h"

#include <QElapsedTimer>
#include <QProcess>

#include <benchmark/benchmark.h>

namespace {

constexpr qint64 FileMiB = 1024;

const char *opensslName(MZHashKind kind) {
    static const char *const names[] = {"-md5", "-sha1", "-sha256", "-sha512"};
    return names[kind];
}

void BM_HashFile(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(FileMiB);
    const MZHashKind kind = state.range(0);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (MZWebUtility::hashFile(file.path(), kind).isNull()) state.SkipWithError("no digest");
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.SetBytesProcessed(state.iterations() * file.size());
    state.SetLabel(opensslName(kind) + 1);
}

void BM_OpensslDgst(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(FileMiB);
    const MZHashKind kind = state.range(0);
    for (auto _ : state) {
        QProcess openssl;
        QElapsedTimer timer;
        timer.start();
        openssl.start(QStringLiteral("openssl"),
                      {QString::fromLatin1(opensslName(kind)), file.path()});
        if (!openssl.waitForFinished(-1) || openssl.exitCode() != 0) {
            state.SkipWithError("openssl dgst failed");
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.SetBytesProcessed(state.iterations() * file.size());
    state.SetLabel(opensslName(kind) + 1);
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
