#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The game's Win32 stand-in ("Warcraft III.exe", a window titled "Warcraft III") run by Wine
// on this process's DISPLAY, in a Wine prefix kept in the cache outside the tree
// (~/.cache/velmora-wine) and shared by every test that runs it. It ends with the object.
class WineGame {
public:
    enum class Where { Host, OwnPidNamespace };

    WineGame() = default;
    ~WineGame();
    WineGame(const WineGame &) = delete;
    WineGame &operator=(const WineGame &) = delete;

    // Returns once the window is shown: empty, else why the game cannot run here. In its own
    // pid namespace it runs as Flatpak and other containers run it.
    QString start(Where where = Where::Host);

    static constexpr char Title[] = "Warcraft III";
    // The exe's name as the kernel keeps it: its first 15 bytes.
    static constexpr char ProcessName[] = "Warcraft III.ex";

private:
    static QString missing(Where where);
    static QString preparePrefix(const QProcessEnvironment &environment);

    QTemporaryDir m_folder;
    QProcess m_process;
};
