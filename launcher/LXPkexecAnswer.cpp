#include "launcher/LXPkexecAnswer.h"

#include "launcher/LXPrivilegedTask.h"

#include <QRegularExpression>

#include <sys/wait.h>

namespace {

constexpr int exitDismissed = 126;
constexpr int firstKeepCwdVersion = 121;

// What pkexec writes before it ends with 127, and what each means; the first match wins.
const struct {
    const char *said;
    const char *unless;
    qint32 status;
} failures[] = {
    // The system bus cannot be reached.
    {"Error getting authority", nullptr, LXPrivilegedTask::errAuthorizationInternal},
    // The bus is up but polkitd is not on it, does not answer, or went away.
    {"org.freedesktop.DBus.Error.", nullptr, LXPrivilegedTask::errAuthorizationInternal},
    {"Timeout was reached", nullptr, LXPrivilegedTask::errAuthorizationInternal},
    // "Error creating textual authentication agent", "No authentication agent found."
    {"authentication agent", nullptr, LXPrivilegedTask::errAuthorizationInteractionNotAllowed},
    {"Not authorized", nullptr, LXPrivilegedTask::errAuthorizationDenied},
    {"Error accessing ", nullptr, LXPrivilegedTask::errAuthorizationToolExecuteFailure},
    {"Cannot run program ", nullptr, LXPrivilegedTask::errAuthorizationToolExecuteFailure},
    {"Error executing ", "as another user", LXPrivilegedTask::errAuthorizationToolExecuteFailure},
};

qint32 failureStatus(qint32 statusWord, const QString &said) {
    if (WIFEXITED(statusWord) && WEXITSTATUS(statusWord) == exitDismissed)
        return LXPrivilegedTask::errAuthorizationCanceled;
    for (const auto &failure : failures)
        if (said.contains(QLatin1String(failure.said)) &&
            !(failure.unless && said.contains(QLatin1String(failure.unless))))
            return failure.status;
    return LXPrivilegedTask::errAuthorizationToolEnvironmentError;
}

}  // namespace

LXPkexecAnswer::Outcome LXPkexecAnswer::outcome(qint32 statusWord, const QByteArray &said) {
    const QStringList lines = meaningfulLines(said);
    return {failureStatus(statusWord, lines.join(QLatin1Char('\n'))),
            lines.isEmpty() ? QString() : lines.first()};
}

bool LXPkexecAnswer::supportsKeepCwd(const QByteArray &versionAnswer) {
    // "pkexec version 122"; before 121 the numbers read "0.105".
    static const QRegularExpression version(QStringLiteral("version (\\d+)"));
    const QRegularExpressionMatch match = version.match(QString::fromLatin1(versionAnswer));
    return match.hasMatch() && match.captured(1).toInt() >= firstKeepCwdVersion;
}

QStringList LXPkexecAnswer::meaningfulLines(const QByteArray &said) {
    // GLib's log lines: "** (pkexec:42): WARNING **: 14:21:12.682: …", "(pkexec:42): GLib-CRITICAL
    // **: …".
    static const QRegularExpression glibLog(
        QStringLiteral("^(\\*\\* )?\\([^)]*:\\d+\\): .*\\*\\*: "));
    QStringList lines;
    for (const QString &line : QString::fromLocal8Bit(said).split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !glibLog.match(trimmed).hasMatch()) lines << trimmed;
    }
    return lines;
}
