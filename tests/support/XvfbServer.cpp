#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

XvfbServer::~XvfbServer() { stop(); }

bool XvfbServer::start(const QString &authorityFile, const QStringList &options) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) return false;
    // Parallel tests race for numbers; a taken one makes Xvfb exit, so try the next.
    for (int number = 90 + (QCoreApplication::applicationPid() % 200); number < 600; number += 7) {
        if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) continue;
        if (startOn(number, authorityFile, options)) return true;
    }
    return false;
}

bool XvfbServer::startOn(int number, const QString &authorityFile, const QStringList &options) {
    const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral(":%1").arg(number),
                          QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"),
                          QStringLiteral("-screen"),
                          QStringLiteral("0"),
                          QStringLiteral("1024x768x24")};
    if (!authorityFile.isEmpty()) arguments << QStringLiteral("-auth") << authorityFile;
    arguments << options;
    m_process.start(QStringLiteral("Xvfb"), arguments);
    if (!m_process.waitForStarted(5000)) return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        if (m_process.state() != QProcess::Running) return false;
        if (QFileInfo::exists(socket)) {
            m_number = number;
            return true;
        }
        QThread::msleep(20);
    }
    stop();
    return false;
}

void XvfbServer::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) m_process.kill();
    m_process.waitForFinished(5000);
}
