#include "launcher/LXBundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

const QString LXBundle::infoFileName = QStringLiteral("Info.ini");
const QString LXBundle::executableKey = QStringLiteral("Executable");

LXBundle LXBundle::mainBundle() { return LXBundle(QCoreApplication::applicationDirPath()); }

QString LXBundle::resourcePath() const { return m_bundlePath + QStringLiteral("/Resources"); }

QString LXBundle::pathForResource(const QString &name, const QString &type) const {
    const QString fileName = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    const QString path = resourcePath() + QLatin1Char('/') + fileName;
    return QFileInfo::exists(path) ? path : QString();
}

QString LXBundle::executablePath() const {
    const QString infoPath = m_bundlePath + QLatin1Char('/') + infoFileName;
    if (!QFileInfo::exists(infoPath)) return {};
    const QString name = QSettings(infoPath, QSettings::IniFormat).value(executableKey).toString();
    // The executable must be a plain file of this bundle: it is about to run as root.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QStringLiteral(".."))
        return {};
    const QFileInfo executable(m_bundlePath + QLatin1Char('/') + name);
    if (!executable.isFile() || !executable.isExecutable()) return {};
    return executable.canonicalFilePath();
}
