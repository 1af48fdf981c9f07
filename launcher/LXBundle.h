#pragma once

#include <QString>

// A folder laid out as an application bundle: its resources live in "Resources", and a small
// info file ("Info.ini", key "Executable") names the executable inside the folder.
class LXBundle {
public:
    static const QString infoFileName;
    static const QString executableKey;

    explicit LXBundle(const QString &bundlePath) : m_bundlePath(bundlePath) {}
    // The folder that holds the running executable.
    static LXBundle mainBundle();
    static LXBundle bundleWithPath(const QString &path) { return LXBundle(path); }

    QString bundlePath() const { return m_bundlePath; }
    QString resourcePath() const;
    // Full path of the resource "<name>.<type>", or a null string when there is none.
    QString pathForResource(const QString &name, const QString &type) const;
    // Canonical path of the executable the info file names, or a null string when there is none.
    QString executablePath() const;

private:
    QString m_bundlePath;
};
