// A download from nginx on loopback into a file, MZDownloadWebService against `curl -o` from
// the same nginx in the same run, for a 100 MiB and a 1 GiB file. "peak_rss_MiB" is the peak
// resident memory the transfer added: this process's growth for ours (the peak is reset
// before each run), curl's own peak for curl. "cpu_s_per_GiB" is the CPU time spent.
#include "BenchFile.h"
#include "tests/support/NginxServer.h"
#include "web/MZDownloadWebService.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <map>
#include <memory>
#include <optional>

namespace {

// One nginx per file size, serving that size's shared file.
NginxServer *nginxFor(const BenchFile &file) {
    static std::map<qint64, std::unique_ptr<NginxServer>> servers;
    auto &server = servers[file.size()];
    if (!server) {
        server = std::make_unique<NginxServer>();
        if (!server->start(file.folder())) server.reset();
    }
    return server.get();
}

double seconds(const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Throughput, peak memory, and the CPU time (user and system, all threads) per GiB: on a
// busy machine the fairer comparison.
void report(benchmark::State &state, const BenchFile &file, double peakMiB, double cpu) {
    state.SetBytesProcessed(state.iterations() * file.size());
    state.counters["peak_rss_MiB"] = peakMiB;
    state.counters["cpu_s_per_GiB"] = cpu / double(state.iterations() * file.size()) * (1 << 30);
}

double statusMiB(const char *field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toDouble() / 1024;
    }
    return 0;
}

void resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

bool downloadOnce(const QUrl &url, const QString &folder) {
    QEventLoop loop;
    bool finished = false;
    auto service = std::make_shared<MZDownloadWebService>();
    service->setUrl(url);
    service->setFilePath(folder);
    service->setDownloadBlock([&](const auto &, const auto &error, bool done, double) {
        if (!error && !done) return;
        finished = done;
        loop.quit();
    });
    if (!service->startAsynchronous()) return false;
    loop.exec();
    return finished;
}

void BM_Download(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(state.range(0));
    NginxServer *nginx = nginxFor(file);
    if (!nginx) return state.SkipWithError("nginx is not available");
    const QUrl url = nginx->url(QLatin1Char('/') + file.fileName());
    QTemporaryDir target;
    double peak = 0;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        resetPeakMemory();
        const double before = statusMiB("VmRSS:");
        if (!downloadOnce(url, target.path())) state.SkipWithError("download failed");
        peak = std::max(peak, statusMiB("VmHWM:") - before);
        state.PauseTiming();
        QFile::remove(target.filePath(file.fileName()));
        state.ResumeTiming();
    }
    report(state, file, peak, cpuSeconds(RUSAGE_SELF) - cpuBefore);
}

// Runs curl and waits for it with wait4, which gives curl's own peak memory. posix_spawn does
// not copy this process's pages, so the figure is curl's alone.
struct CurlRun {
    double peakMiB;
    double cpuSeconds;
};

std::optional<CurlRun> runCurl(const QString &url, const QString &output) {
    const QByteArray outputBytes = QFile::encodeName(output), urlBytes = url.toUtf8();
    char *args[] = {const_cast<char *>("curl"),
                    const_cast<char *>("-sS"),
                    const_cast<char *>("-o"),
                    const_cast<char *>(outputBytes.constData()),
                    const_cast<char *>(urlBytes.constData()),
                    nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, args, environ) != 0) return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return CurlRun{double(usage.ru_maxrss) / 1024,
                   seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

void BM_CurlDownload(benchmark::State &state) {
    const BenchFile &file = BenchFile::shared(state.range(0));
    NginxServer *nginx = nginxFor(file);
    if (!nginx) return state.SkipWithError("nginx is not available");
    const QString url = nginx->url(QLatin1Char('/') + file.fileName()).toString();
    QTemporaryDir target;
    const QString output = target.filePath(file.fileName());
    double peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        const auto run = runCurl(url, output);
        if (!run) state.SkipWithError("curl failed");
        peak = std::max(peak, run ? run->peakMiB : 0.0);
        cpu += run ? run->cpuSeconds : 0.0;
        state.PauseTiming();
        QFile::remove(output);
        state.ResumeTiming();
    }
    report(state, file, peak, cpu);
}

void sizes(benchmark::internal::Benchmark *b) {
    b->Arg(100)->Arg(1024)->UseRealTime()->Iterations(1)->Repetitions(5)->Unit(
        benchmark::kMillisecond);
}

BENCHMARK(BM_Download)->Apply(sizes);
BENCHMARK(BM_CurlDownload)->Apply(sizes);

}  // namespace
