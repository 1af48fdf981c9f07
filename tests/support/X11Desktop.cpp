#include "tests/support/X11Desktop.h"

#include "tests/support/ProcessStatus.h"
#include "tests/support/X11TestClient.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>
#include <csignal>

namespace {

constexpr int StartMs = 30000;

QString found(const char *program) {
    return QStandardPaths::findExecutable(QString::fromLatin1(program));
}

QString missing(std::initializer_list<const char *> programs) {
    for (const char *program : programs)
        if (found(program).isEmpty()) return QStringLiteral("%1 is not installed").arg(program);
    return {};
}

}  // namespace

X11Desktop::X11Desktop(Kind kind) : m_kind(kind) {}

// Children first (mutter under dbus-run-session): a compositor that outlives its bus and
// Xwayland cleans up after itself, one killed with them leaves its display's lock behind.
X11Desktop::~X11Desktop() {
    for (auto process = m_processes.rbegin(); process != m_processes.rend(); ++process) {
        const pid_t group = pid_t((*process)->processId());
        if (group <= 0) continue;
        for (const qint64 child : ProcessStatus::childrenOf(group)) ::kill(pid_t(child), SIGTERM);
        if (!(*process)->waitForFinished(3000)) ::kill(-group, SIGTERM);
        if (!(*process)->waitForFinished(3000)) ::kill(-group, SIGKILL);
        (*process)->waitForFinished(3000);
        ::kill(-group, SIGKILL);
    }
}

QString X11Desktop::start() {
    if (!m_folder.isValid()) return QStringLiteral("no temporary folder");
    switch (m_kind) {
    case Kind::Openbox:
        return startOnXvfb(true);
    case Kind::NoWindowManager:
        return startOnXvfb(false);
    case Kind::Mutter:
        return startMutter();
    case Kind::Sway:
        return startSway();
    }
    return {};
}

QString X11Desktop::startOnXvfb(bool withWindowManager) {
    if (!m_xvfb.start()) return QStringLiteral("Xvfb is not installed or did not start");
    m_display = m_xvfb.display().toLocal8Bit();
    qputenv("DISPLAY", m_display);
    qunsetenv("XAUTHORITY");
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (withWindowManager) {
        if (const QString why = missing({"openbox"}); !why.isEmpty()) return why;
        launch(found("openbox"), {QStringLiteral("--sm-disable")}, environment);
        X11TestClient probe(m_display);
        if (!QTest::qWaitFor([&] { return probe.hasWindowManager(); }, StartMs))
            return whyNot("openbox");
    }
    const QString ready = m_folder.filePath(QStringLiteral("ready"));
    launch(QStringLiteral(VELMORA_TERMINAL_STANDIN), {ready}, environment);
    return awaitTerminal(ready, "the terminal stand-in");
}

QString X11Desktop::startMutter() {
    if (const QString why = missing({"mutter", "dbus-run-session", "Xwayland"}); !why.isEmpty())
        return why;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder.path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const QString ready = m_folder.filePath(QStringLiteral("ready"));
    // mutter runs the stand-in once Xwayland is up, with the display and authority it made.
    launch(found("dbus-run-session"),
           {QStringLiteral("--"), found("mutter"), QStringLiteral("--headless"),
            QStringLiteral("--wayland"), QStringLiteral("--virtual-monitor"),
            QStringLiteral("1024x768"), QStringLiteral("--"),
            QStringLiteral(VELMORA_TERMINAL_STANDIN), ready},
           environment);
    return awaitTerminal(ready, "mutter");
}

// sway will not run as root: then it runs as nobody, in a folder of nobody's, and the
// stand-in it starts lets root's clients (the test, Wine) onto its Xwayland.
QString X11Desktop::startSway() {
    if (const QString why = missing({"sway", "Xwayland", "setpriv"}); !why.isEmpty()) return why;
    const bool root = ::geteuid() == 0;
    const passwd *nobody = root ? ::getpwnam("nobody") : nullptr;
    if (root && !nobody) return QStringLiteral("there is no user nobody to run sway as");
    const QString terminal = m_folder.filePath(QLatin1String(TerminalName));
    const QString ready = m_folder.filePath(QStringLiteral("ready"));
    const QString config = m_folder.filePath(QStringLiteral("config"));
    QFile configFile(config);
    if (!QFile::copy(QStringLiteral(VELMORA_TERMINAL_STANDIN), terminal) ||
        !configFile.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write sway's configuration");
    configFile.write(
        QStringLiteral("xwayland enable\nfocus_on_window_activation focus\n"
                       "exec '%1' %2 '%3'\n")
            .arg(terminal, root ? QStringLiteral("--allow-user root") : QString(), ready)
            .toLocal8Bit());
    configFile.close();
    QProcessEnvironment environment;
    for (const char *name : {"PATH", "LANG"})
        environment.insert(QLatin1String(name), qEnvironmentVariable(name));
    environment.insert(QStringLiteral("HOME"), m_folder.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder.path());
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    QStringList command{found("sway"), QStringLiteral("-c"), config};
    if (root) {
        for (const QString &path : {m_folder.path(), terminal, config})
            if (::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return QStringLiteral("cannot hand sway's folder to nobody");
        command = QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                              QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                              QStringLiteral("--clear-groups")} +
                  command;
        launch(found("setpriv"), command, environment);
    } else {
        launch(command.takeFirst(), command, environment);
    }
    return awaitTerminal(ready, "sway");
}

QProcess &X11Desktop::launch(const QString &program, const QStringList &arguments,
                             const QProcessEnvironment &environment) {
    auto &process = m_processes.emplace_back(std::make_unique<QProcess>());
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(m_folder.filePath(QStringLiteral("log")), QIODevice::Append);
    process->setChildProcessModifier([] { ::setsid(); });
    process->start(program, arguments);
    return *process;
}

QString X11Desktop::awaitTerminal(const QString &readyFile, const char *desktop) {
    const bool ready = QTest::qWaitFor(
        [&] {
            return QFile::exists(readyFile) || m_processes.back()->state() == QProcess::NotRunning;
        },
        StartMs);
    QFile file(readyFile);
    if (!ready || !file.open(QIODevice::ReadOnly)) return whyNot(desktop);
    const QList<QByteArray> lines = file.readAll().split('\n');
    m_display = lines.value(0);
    qputenv("DISPLAY", m_display);
    if (lines.value(1).isEmpty())
        qunsetenv("XAUTHORITY");
    else
        qputenv("XAUTHORITY", lines.value(1));
    return {};
}

QString X11Desktop::whyNot(const char *desktop) const {
    QFile log(m_folder.filePath(QStringLiteral("log")));
    const QByteArray said = log.open(QIODevice::ReadOnly) ? log.readAll().trimmed() : QByteArray();
    return QStringLiteral("%1 did not start: %2")
        .arg(QLatin1String(desktop), QString::fromLocal8Bit(said.right(400)));
}
