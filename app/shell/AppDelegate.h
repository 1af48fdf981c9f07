#pragma once

#include "remap/EventTapHost.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class KeyboardTap;
class MainWindow;
class MZContentViewController;
class MZDotaContentViewController;
class QAbstractButton;
class QSystemTrayIcon;
class QWidget;
class UpdateCheck;
class UrlOpener;
class X11FrontProcessWatcher;

// Velmora's application delegate: builds the main window around the slot panel, owns the
// remapping switch, the keyboard tap and the front process watcher, and answers the tap
// callback through EventTapHost. Lives on the main thread for the life of the process.
class AppDelegate : public QObject, public EventTapHost {
    Q_OBJECT
public:
    // How the platform pieces are made; tests hand in factories that make none.
    struct Platform {
        std::function<std::unique_ptr<KeyboardTap>(QString *whyNot)> createTap;
        std::function<std::unique_ptr<X11FrontProcessWatcher>(QString *whyNot)> createWatcher;
        std::function<std::unique_ptr<UrlOpener>()> createUrlOpener;
    };
    static Platform linuxPlatform();

    explicit AppDelegate(Platform platform, QObject *parent = nullptr);
    ~AppDelegate() override;

    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void applicationDidFinishLaunching();
    void startClick(QAbstractButton *sender);
    QWidget *window() const;
    void setWindow(QWidget *window);

    MZDotaContentViewController *contentVC() const;
    QWidget *workView() const;
    bool isTapRunning() const { return m_tap != nullptr; }
    QString statusText() const;

    // EventTapHost
    bool remapSwitch() const override { return start; }
    const QString &frontProcessName() const override;
    KeyCombo slotKeyCombo(int slot) const override;
    TapEvent *createKeyboardEvent(uint16_t virtualKeyCode, bool keyDown) override;

    // Releases every key the tap holds and lets the keyboards go; safe to call twice.
    void shutdown();

signals:
    void statusChanged(const QString &text);

private:
    void buildWindow();
    void installTap();
    void installFrontWatcher();
    void installTrayIcon();
    void refreshStatus();

    Platform m_platform;
    std::unique_ptr<MainWindow> m_mainWindow;
    QPointer<QWidget> _window;
    QPointer<MZDotaContentViewController> m_contentVC;
    bool start = false;
    std::unique_ptr<KeyboardTap> m_tap;
    QString m_tapUnavailable;
    std::unique_ptr<X11FrontProcessWatcher> m_watcher;
    QString m_watcherUnavailable;
    QSystemTrayIcon *m_tray = nullptr;
    std::unique_ptr<UpdateCheck> m_updateCheck;
};
