#pragma once

#include <QList>
#include <QString>

// What the kernel tells of another process through /proc, for tests that check who runs what.
class ProcessStatus {
public:
    // The value of a "Name:\tvalue" line of /proc/<pid>/status; null when there is none.
    static QString field(qint64 pid, const QString &name);
    // The processes whose parent is `parent`.
    static QList<qint64> childrenOf(qint64 parent);
    // Its session id (field 6 of /proc/<pid>/stat).
    static qint64 sessionOf(qint64 pid);
};
