#include "platform/linux/RootSession.h"

#include <QDir>
#include <QtGlobal>

#include <unistd.h>
#include <cstdlib>

RootSession::RootSession() {
    if (!isElevated()) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
    // Root's own runtime directory may not exist in the user's session; a private one
    // (mode 0700, ours alone) keeps Qt's sockets and locks away from the user's.
    QByteArray templ = QByteArrayLiteral("/tmp/velmora-runtime-XXXXXX");
    if (mkdtemp(templ.data())) {
        m_runtimeDir = templ;
        qputenv("XDG_RUNTIME_DIR", m_runtimeDir);
    }
}

RootSession::~RootSession() {
    if (m_runtimeDir.isEmpty()) return;
    // Qt may have left sockets inside; they belong to this process alone.
    if (!QDir(QString::fromLocal8Bit(m_runtimeDir)).removeRecursively())
        qInfo("could not remove %s", m_runtimeDir.constData());
}

bool RootSession::isElevated() { return geteuid() == 0 && qEnvironmentVariableIsSet("PKEXEC_UID"); }
