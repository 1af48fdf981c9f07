#pragma once

#include "tests/support/XvfbServer.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A desktop for one test, as players run one, with the terminal stand-in's window on it:
// Xvfb with openbox or with no window manager at all, or headless mutter or sway whose X
// clients are Xwayland's. Everything it starts ends with it.
class X11Desktop {
public:
    enum class Kind { Openbox, NoWindowManager, Mutter, Sway };

    explicit X11Desktop(Kind kind);
    ~X11Desktop();
    X11Desktop(const X11Desktop &) = delete;
    X11Desktop &operator=(const X11Desktop &) = delete;

    // Empty once the desktop is up and DISPLAY and XAUTHORITY of this process name it;
    // else why it cannot run here.
    QString start();
    QByteArray display() const { return m_display; }

    static constexpr char TerminalTitle[] = "Terminal stand-in";
    // The terminal stand-in's process name.
    static constexpr char TerminalName[] = "TerminalStandIn";

private:
    QString startOnXvfb(bool withWindowManager);
    QString startMutter();
    QString startSway();
    // Runs the program in a process group of its own, so that stopping it stops its children.
    QProcess &launch(const QString &program, const QStringList &arguments,
                     const QProcessEnvironment &environment);
    // Waits for the terminal stand-in's ready file, then takes the display it names.
    QString awaitTerminal(const QString &readyFile, const char *desktop);
    QString whyNot(const char *desktop) const;

    Kind m_kind;
    QTemporaryDir m_folder;
    XvfbServer m_xvfb;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QByteArray m_display;
};
