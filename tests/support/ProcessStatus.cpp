#include "tests/support/ProcessStatus.h"

#include <QDir>
#include <QFile>

namespace {

QString readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

QString ProcessStatus::field(qint64 pid, const QString &name) {
    for (const QString &line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith(name + QLatin1Char(':'))) return line.mid(name.size() + 1).trimmed();
    return {};
}

QList<qint64> ProcessStatus::childrenOf(qint64 parent) {
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && field(pid, QStringLiteral("PPid")).toLongLong() == parent) children << pid;
    }
    return children;
}

qint64 ProcessStatus::sessionOf(qint64 pid) {
    // Counted after the parenthesised name, which may hold spaces.
    const QString stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2).split(' ').value(3).toLongLong();
}
