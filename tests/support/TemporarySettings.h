#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

// Points the application's settings at a fresh folder for as long as it lives, so a test
// reads nothing of the person's and leaves nothing behind.
struct TemporarySettings {
    TemporarySettings() {
        QCoreApplication::setOrganizationName(QStringLiteral("VelmoraTest"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
    // The file QSettings() reads and writes.
    static QString fileName() { return QSettings().fileName(); }
    // Writes the file as a person would, before any QSettings of the test has read it.
    static bool write(const QByteArray &text) {
        QFile file(fileName());
        return QDir().mkpath(QFileInfo(file).absolutePath()) && file.open(QIODevice::WriteOnly) &&
               file.write(text) == text.size();
    }
    static QString read() {
        QFile file(fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir;
};
