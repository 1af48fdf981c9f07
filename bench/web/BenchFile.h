#pragma once

#include <QString>
#include <QTemporaryDir>

// A file of pseudo-random bytes in a temporary folder of its own, removed with the object.
// shared() keeps one per size for the whole run, so the big files are written once.
class BenchFile {
public:
    explicit BenchFile(qint64 mebibytes);
    BenchFile(const BenchFile &) = delete;
    BenchFile &operator=(const BenchFile &) = delete;

    static const BenchFile &shared(qint64 mebibytes);
    // Drops the shared files; the benchmark's main calls it before returning.
    static void removeShared();

    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    QString fileName() const;
    qint64 size() const { return m_size; }

private:
    QTemporaryDir m_dir;
    QString m_path;
    qint64 m_size = 0;
};
