#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A private X server for one test: started on a free display number, killed when the
// object goes. start() returns false when Xvfb is not installed or will not come up.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // With an authority file, only clients holding one of its cookies may connect. Options
    // such as "-extension NAME" pass on to Xvfb.
    bool start(const QString &authorityFile = {}, const QStringList &options = {});
    void stop();
    // ":N", for DISPLAY or xcb_connect.
    QString display() const { return QStringLiteral(":%1").arg(m_number); }

private:
    bool startOn(int number, const QString &authorityFile, const QStringList &options);

    QProcess m_process;
    int m_number = -1;
};
