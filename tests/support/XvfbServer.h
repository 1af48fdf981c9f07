#pragma once

#include <QProcess>
#include <QString>

// A private X server for one test: started on a free display number, killed when the
// object goes. start() returns false when Xvfb is not installed or will not come up.
class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // With an authority file, only clients holding one of its cookies may connect.
    bool start(const QString &authorityFile = {});
    void stop();
    // ":N", for DISPLAY or xcb_connect.
    QString display() const { return QStringLiteral(":%1").arg(m_number); }

private:
    bool startOn(int number, const QString &authorityFile);

    QProcess m_process;
    int m_number = -1;
};
