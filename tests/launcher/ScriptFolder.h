#pragma once

#include <QString>
#include <QTemporaryDir>

// A temporary folder of small executable shell scripts that stand in for launched programs.
class ScriptFolder {
public:
    // Writes "#!/bin/sh" plus the body to <folder>/<name>, executable; returns its path.
    QString write(const QString &name, const QByteArray &body);
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
