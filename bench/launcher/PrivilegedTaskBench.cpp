// Cost of starting a short program through the privileged task (with the stand-in pkexec) until
// its end is collected, against QProcess doing the same without any helper.
#include "launcher/LXPrivilegedTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <benchmark/benchmark.h>

namespace {

const QString program = QStringLiteral("/bin/true");

void BM_PrivilegedTaskLaunchUntilExit(benchmark::State &state) {
    for (auto _ : state) {
        auto task = LXPrivilegedTask::create(program);
        task->setAuthorizationHelper(QStringLiteral(FAKE_PKEXEC_PATH));
        if (task->launch() != 0) state.SkipWithError("launch failed");
        task->waitUntilExit();
        state.PauseTiming();
        // Let the status timer see the end and free the task before the next round.
        QEventLoop loop;
        QObject::connect(task.get(), &LXPrivilegedTask::didTerminate, &loop, &QEventLoop::quit);
        if (task->processIdentifier() != 0) loop.exec();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PrivilegedTaskLaunchUntilExit)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_QProcessStartUntilExit(benchmark::State &state) {
    for (auto _ : state) {
        QProcess process;
        process.start(program, {});
        process.waitForFinished();
        benchmark::DoNotOptimize(process.exitCode());
    }
}
BENCHMARK(BM_QProcessStartUntilExit)->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
