#include "tests/support/WineGame.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int ReadyMs = 60000;
// A fresh prefix takes Wine some ten seconds, far longer on a loaded machine.
constexpr int PrefixMs = 180000;

QString found(const char *program) {
    return QStandardPaths::findExecutable(QString::fromLatin1(program));
}

bool run(const QString &program, const QStringList &arguments,
         const QProcessEnvironment &environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(PrefixMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

}  // namespace

WineGame::~WineGame() {
    if (m_process.state() == QProcess::NotRunning) return;
    // Ending unshare ends its whole pid namespace.
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) m_process.kill();
    m_process.waitForFinished(3000);
}

QString WineGame::missing(Where where) {
    if (QByteArray(VELMORA_GAME_STANDIN).isEmpty())
        return QStringLiteral("the game's stand-in was not built: mingw-w64 is not installed");
    if (found("wine").isEmpty()) return QStringLiteral("Wine is not installed");
    if (where == Where::OwnPidNamespace && found("unshare").isEmpty())
        return QStringLiteral("unshare is not installed");
    return {};
}

QString WineGame::start(Where where) {
    if (const QString why = missing(where); !why.isEmpty()) return why;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // No offer to install Mono or Gecko.
    environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    if (const QString why = preparePrefix(environment); !why.isEmpty()) return why;
    environment.insert(QStringLiteral("WINEPREFIX"),
                       QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/velmora-wine/prefix"));
    const QString log = m_folder.filePath(QStringLiteral("game.log"));
    QStringList command{found("wine"), QStringLiteral(VELMORA_GAME_STANDIN), log};
    if (where == Where::OwnPidNamespace) {
        QStringList unshare{QStringLiteral("--pid"), QStringLiteral("--fork"),
                            QStringLiteral("--mount-proc"), QStringLiteral("--kill-child")};
        if (::geteuid() != 0) unshare.prepend(QStringLiteral("--map-root-user"));
        command = QStringList{found("unshare")} + unshare + command;
    }
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_folder.filePath(QStringLiteral("wine.log")));
    m_process.start(command.takeFirst(), command);
    QFile said(log);
    const bool ready = QTest::qWaitFor(
        [&] {
            if (m_process.state() == QProcess::NotRunning) return true;
            said.close();
            return said.open(QIODevice::ReadOnly) && said.readAll().contains("ready");
        },
        ReadyMs);
    if (ready && m_process.state() != QProcess::NotRunning) return {};
    QFile wineLog(m_folder.filePath(QStringLiteral("wine.log")));
    wineLog.open(QIODevice::ReadOnly);
    return QStringLiteral("the game did not show its window: %1")
        .arg(QString::fromLocal8Bit(wineLog.readAll().trimmed().right(400)));
}

// Made once, under a lock, since tests in other processes may want it at the same moment.
QString WineGame::preparePrefix(const QProcessEnvironment &base) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/velmora-wine");
    const QString prefix = folder + QStringLiteral("/prefix");
    if (QFile::exists(prefix + QStringLiteral("/system.reg"))) return {};
    if (!QDir().mkpath(folder)) return QStringLiteral("cannot make %1").arg(folder);
    const int lock = ::open(QFile::encodeName(folder + QStringLiteral("/lock")).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        if (lock >= 0) ::close(lock);
        return QStringLiteral("cannot lock %1").arg(folder);
    }
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("WINEPREFIX"), prefix);
    environment.remove(QStringLiteral("DISPLAY"));
    const bool made = QFile::exists(prefix + QStringLiteral("/system.reg")) ||
                      (run(found("wineboot"), {QStringLiteral("-i")}, environment) &&
                       run(found("wineserver"), {QStringLiteral("-w")}, environment));
    ::close(lock);
    return made ? QString() : QStringLiteral("Wine could not make its prefix in %1").arg(prefix);
}
