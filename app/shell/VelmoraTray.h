#pragma once

#include "shell/StatusLine.h"

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

// Velmora's tray icon: a coloured icon while keys are remapped, the same with an amber dot
// while the switch is on and Velmora waits (for the game, or the chat), a grey one while
// the switch is off; a tooltip with the whole status, and a menu to bring the window back, flip the
// remapping switch and quit. It only reports what is chosen; the application delegate acts on it.
// Owned by the delegate for the life of the process.
class VelmoraTray : public QObject {
    Q_OBJECT
public:
    explicit VelmoraTray(QObject *parent = nullptr);
    ~VelmoraTray() override;

    // Sets the switch action without a report.
    void showState(StatusLine::Mode mode, const QString &status);
    void show();

    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QAction *switchAction() const { return m_switchAction; }

signals:
    void showWindowRequested();
    void switchToggled(bool on);
    void quitRequested();

private:
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_tray = nullptr;
    QAction *m_switchAction = nullptr;
};
