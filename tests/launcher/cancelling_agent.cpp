// Stands in for a graphical authentication agent whose person presses Cancel: registered with
// polkit for one process (cancelling_agent PID), it answers every request as cancelled, as
// such agents do. It closes descriptor 3 once polkit has it, as pkttyagent --notify-fd 3 does.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>

#include <unistd.h>
#include <cstdio>

namespace {

class CancellingAgent : public QDBusVirtualObject {
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override {
        return bus.send(
            message.member() == QLatin1String("BeginAuthentication")
                ? message.createErrorReply(QStringLiteral(
                                               "org.freedesktop.PolicyKit1.Error.Cancelled"),
                                           QStringLiteral("Cancelled by the person"))
                : message.createReply());
    }
};

// Field 22 of /proc/<pid>/stat, counted after the name in parentheses: polkit tells
// processes apart by it.
quint64 startTime(const QString &pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return text.mid(text.lastIndexOf(')') + 2).split(' ').value(19).toULongLong();
}

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    const QString path = QStringLiteral("/org/velmora/CancellingAgent");
    CancellingAgent agent;
    bus.registerVirtualObject(path, &agent);
    // polkit's subject: a kind and its details.
    const QString pid = app.arguments().value(1);
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("unix-process")
            << QVariantMap{{QStringLiteral("pid"), pid.toUInt()},
                           {QStringLiteral("start-time"), startTime(pid)}};
    subject.endStructure();
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.PolicyKit1"),
                                       QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
                                       QStringLiteral("org.freedesktop.PolicyKit1.Authority"),
                                       QStringLiteral("RegisterAuthenticationAgent"));
    call << QVariant::fromValue(subject) << QStringLiteral("C") << path;
    if (const QDBusMessage reply = bus.call(call); reply.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "cancelling_agent: %s\n", qPrintable(reply.errorMessage()));
        return 1;
    }
    close(3);
    return app.exec();
}
