#include "tests/launcher/ScriptFolder.h"

#include <QFile>

QString ScriptFolder::write(const QString &name, const QByteArray &body) {
    const QString path = m_dir.filePath(name);
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly)) return {};
    script.write("#!/bin/sh\n" + body + "\n");
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}
