#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

// Debian's nginx serving one folder on a free loopback port, with a configuration, logs and
// temporary folders of its own in a private prefix; stopped when the object goes. It runs from
// where scripts/fetch-tools.sh unpacked it: installed, it would be a web server on port 80.
// start() returns false when nginx was not fetched or will not come up.
class NginxServer {
public:
    NginxServer() = default;
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    static QString executable();
    bool start(const QString &documentRoot);
    void stop();
    QUrl url(const QString &path) const;

private:
    bool startOn(quint16 port, const QString &documentRoot);
    bool writeConfiguration(quint16 port, const QString &documentRoot) const;

    QTemporaryDir m_prefix;
    QProcess m_process;
    quint16 m_port = 0;
};
