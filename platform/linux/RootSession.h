#pragma once

#include <QByteArray>

// Prepares the environment of a GUI that pkexec started as root: pkexec hands over
// DISPLAY and XAUTHORITY but clears the rest, so Qt would neither pick X11 nor find a
// runtime directory it may use. Construct before QApplication; the private runtime
// directory lives as long as this object.
class RootSession {
public:
    RootSession();
    ~RootSession();
    RootSession(const RootSession &) = delete;
    RootSession &operator=(const RootSession &) = delete;

    // True when running as root on behalf of another user (pkexec sets PKEXEC_UID).
    static bool isElevated();

private:
    QByteArray m_runtimeDir;
};
