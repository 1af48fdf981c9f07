#pragma once

#include "platform/Result.h"
#include "platform/linux/BrokerProcess.h"
#include "remap/RemapController.h"
#include "shell/StatusLine.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class EventTap;
class FrontProcessSource;
class MainWindow;
class MZContentViewController;
class MZDotaContentViewController;
class QAbstractButton;
class QWidget;
class UpdateCheck;
class UrlOpener;
class VelmoraTray;

// Velmora's application delegate: builds the main window around the slot panel, owns the
// keyboard tap, the front process source and the tray, and feeds the remapping state (the
// switch, the slots, the pairs, the chat option, the application in front) to the tap through its
// RemapController whenever any of it changes. Lives on the main thread for the life of the
// process.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // How the platform pieces are made: the Linux ones in the program, fakes in tests.
    struct Platform {
        std::function<Result<std::unique_ptr<EventTap>>()> createTap;
        std::function<Result<std::unique_ptr<FrontProcessSource>>()> createFrontSource;
        std::function<std::unique_ptr<UrlOpener>()> createUrlOpener;
        // Whether the keyboard helper program is where Velmora starts it; unset: it is.
        std::function<bool()> helperInstalled = {};
    };
    // The Linux pieces, the tap of the keyboard broker Velmora started.
    static Platform linuxPlatform(Result<BrokerProcess::Started> broker);
    // The settings key of the "Pause while typing in chat" option.
    static const QString ChatPauseSettingsKey;

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

    bool remapSwitch() const { return m_remap.remapSwitch(); }
    const QString &frontProcessName() const;
    // What the tap is told.
    RemapController &remapController() { return m_remap; }

    // Releases every key the tap holds and lets the keyboards go; safe to call twice.
    void shutdown();

signals:
    void statusChanged(const QString &text);
    // The person asked to end Velmora: from the tray, or by closing the window where no
    // tray could bring it back.
    void quitRequested();

private:
    void buildWindow();
    void installTap();
    void installFrontSource();
    void rebuildSlotTable();
    void installTrayIcon();
    void installChatPauseOption();
    void setChatPauseEnabled(bool enabled);
    StatusLine::Front statusFront() const;
    StatusLine::State statusState() const;
    void refreshStatus();
    void markPairsOnSlotKeys();
    void sendPairTable();

    Platform m_platform;
    std::unique_ptr<MainWindow> m_mainWindow;
    QPointer<QWidget> _window;
    QPointer<MZDotaContentViewController> m_contentVC;
    RemapController m_remap;
    std::unique_ptr<EventTap> m_tap;
    std::optional<Failure> m_tapFailure;
    bool m_helperMissing = false;
    std::unique_ptr<FrontProcessSource> m_frontSource;
    QString m_frontUnavailable;
    VelmoraTray *m_tray = nullptr;
    std::unique_ptr<UpdateCheck> m_updateCheck;
};
