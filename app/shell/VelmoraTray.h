#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

// Velmora's tray icon: an icon for remapping on and a greyed one for off or paused, a
// tooltip with the whole status, and a menu to bring the window back, flip the remapping
// switch and quit. It only reports what is chosen; the application delegate acts on it.
// Owned by the delegate for the life of the process.
class VelmoraTray : public QObject {
    Q_OBJECT
public:
    explicit VelmoraTray(QObject *parent = nullptr);
    ~VelmoraTray() override;

    // `active`: remapping is on, not paused, and can work. Sets the switch action without a
    // report.
    void showState(bool switchOn, bool active, const QString &status);
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
