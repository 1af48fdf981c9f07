#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// What pkexec's answers mean, as plain functions of what it wrote and how it ended: why a
// launch failed, and whether its version knows --keep-cwd. pkexec tells its failures only in
// English sentences on its error output (exit status 127) or by exit status 126 (the person
// dismissed the dialog), so the sentences of the versions in use are matched here, once.
class LXPkexecAnswer {
public:
    struct Outcome {
        qint32 status;    // a launch status of LXPrivilegedTask
        QString message;  // pkexec's first line, without GLib's diagnostics; may be empty
    };

    // Why pkexec ended, by its raw wait status word, before it became the program.
    static Outcome outcome(qint32 statusWord, const QByteArray &said);
    // From the answer to "pkexec --version": --keep-cwd exists since polkit 121.
    static bool supportsKeepCwd(const QByteArray &versionAnswer);
    // The lines of `said` that a person should read: not empty, not GLib's log lines.
    static QStringList meaningfulLines(const QByteArray &said);
};
