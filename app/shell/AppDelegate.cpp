#include "shell/AppDelegate.h"

#include "pairs/MZContentViewController.h"
#include "platform/EventTap.h"
#include "platform/FrontProcessSource.h"
#include "platform/linux/BrokerClient.h"
#include "platform/linux/BrokerTap.h"
#include "platform/linux/X11FrontProcessWatcher.h"
#include "platform/linux/XdgUrlOpener.h"
#include "recorder/MZRecorderControl.h"
#include "remap/MZDotaContentViewController.h"
#include "remap/SlotNaming.h"
#include "shell/MainWindow.h"
#include "shell/VelmoraTray.h"
#include "shell/WindowCloseGuard.h"
#include "ui_MainWindow.h"
#include "update/UpdateCheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

AppDelegate::Platform AppDelegate::linuxPlatform(Result<BrokerProcess::Started> broker) {
    // Kept by the one function that uses it, which runs once.
    auto started = std::make_shared<Result<BrokerProcess::Started>>(std::move(broker));
    return {
        [started]() -> Result<std::unique_ptr<EventTap>> {
            if (!*started) return started->failure();
            BrokerProcess::Started taken = started->take();
            return BrokerTap::create(
                std::make_unique<BrokerClient>(std::move(taken.socket), taken.pid));
        },
        []() -> Result<std::unique_ptr<FrontProcessSource>> {
            return X11FrontProcessWatcher::create();
        },
        [] { return std::make_unique<XdgUrlOpener>(); },
        [] { return QFileInfo(BrokerProcess::besideExecutable()).isExecutable(); },
    };
}

const QString AppDelegate::ChatPauseSettingsKey = QStringLiteral("pauseWhileTypingInChat");

AppDelegate::AppDelegate(Platform platform, QObject *parent)
    : QObject(parent), m_platform(std::move(platform)) {}

AppDelegate::~AppDelegate() { shutdown(); }

bool AppDelegate::applicationShouldHandleReopen(bool) {
    if (QWidget *w = window()) {
        w->show();
        w->raise();
        w->activateWindow();
    }
    return true;
}

void AppDelegate::applicationDidFinishLaunching() {
    buildWindow();
    // The panel goes in before the tap exists, so the tap's first state holds the slots.
    auto *panel = new MZDotaContentViewController(workView());
    m_contentVC = panel;
    // A margin of 5 all round, and the window follows the panel as its notes come and go.
    auto *margin = new QVBoxLayout(workView());
    margin->setContentsMargins(5, 5, 5, 5);
    margin->addWidget(panel);
    rebuildSlotTable();
    connect(panel, &MZDotaContentViewController::keyCombosChanged, this,
            &AppDelegate::rebuildSlotTable);
    markPairsOnSlotKeys();
    connect(panel, &MZDotaContentViewController::keyCombosChanged, this,
            &AppDelegate::markPairsOnSlotKeys);
    sendPairTable();
    connect(m_mainWindow->ui().pairList, &MZContentViewController::keyPairsChanged, this,
            &AppDelegate::sendPairTable);
    installChatPauseOption();
    installFrontSource();
    installTap();
    installTrayIcon();
    refreshStatus();
    window()->show();
    // Last: the label from the stored document at once, then the request for a new one.
    m_updateCheck->updateCheck();
    m_updateCheck->startRequest();
}

void AppDelegate::buildWindow() {
    m_mainWindow = std::make_unique<MainWindow>();
    m_mainWindow->setWindowIcon(QIcon(QStringLiteral(":/velmora/velmora.png")));
    setWindow(m_mainWindow.get());
    const auto &ui = m_mainWindow->ui();
    m_updateCheck =
        std::make_unique<UpdateCheck>(UpdateCheck::Outlets{ui.versionFiled, ui.updateButton,
                                                           ui.homeButton, ui.weiboButton,
                                                           ui.linkNote},
                                      m_platform.createUrlOpener ? m_platform.createUrlOpener()
                                                                 : nullptr,
                                      UpdateCheck::Addresses::builtIn());
    connect(ui.switchButton, &QAbstractButton::toggled, this,
            [this, button = ui.switchButton] { startClick(button); });
    // Without a tray, the window is the only way to end Velmora.
    connect(ui.quitButton, &QAbstractButton::clicked, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    auto *closeGuard =
        new WindowCloseGuard(m_mainWindow.get(), &QSystemTrayIcon::isSystemTrayAvailable, this);
    connect(closeGuard, &WindowCloseGuard::quitRequested, this, &AppDelegate::quitRequested);
}

void AppDelegate::installChatPauseOption() {
    QCheckBox *box = m_mainWindow->ui().chatPauseBox;
    box->setChecked(QSettings().value(ChatPauseSettingsKey, false).toBool());
    m_remap.setChatPauseEnabled(box->isChecked());
    connect(box, &QCheckBox::toggled, this, &AppDelegate::setChatPauseEnabled);
}

void AppDelegate::setChatPauseEnabled(bool enabled) {
    m_remap.setChatPauseEnabled(enabled);
    QSettings().setValue(ChatPauseSettingsKey, enabled);
    refreshStatus();
}

void AppDelegate::installTap() {
    auto tap = m_platform.createTap();
    if (!tap) {
        m_tapFailure = tap.failure();
        m_helperMissing = m_platform.helperInstalled && !m_platform.helperInstalled();
        qInfo("keyboard tap unavailable: %s", qPrintable(m_tapFailure->message));
        return;
    }
    m_tap = tap.take();
    connect(m_tap.get(), &EventTap::statusChanged, this, &AppDelegate::refreshStatus);
    m_remap.setSink([tap = m_tap.get()](const RemapState &state) { tap->setRemapState(state); });
}

void AppDelegate::installFrontSource() {
    auto source = m_platform.createFrontSource();
    if (!source) {
        m_frontUnavailable = source.failure().message;
        qInfo("front application unknown: %s", qPrintable(m_frontUnavailable));
        return;
    }
    m_frontSource = source.take();
    // Only remapping needs the name; the switch starts off.
    m_frontSource->setWatching(remapSwitch());
    m_remap.setFrontProcessName(m_frontSource->frontProcessName());
    connect(m_frontSource.get(), &FrontProcessSource::frontProcessNameChanged, this,
            [this](const QString &name) {
                m_remap.setFrontProcessName(name);
                refreshStatus();
            });
    connect(m_frontSource.get(), &FrontProcessSource::connectionLost, this, [this] {
        m_frontUnavailable = tr("the X server is unreachable");
        m_remap.setFrontProcessName({});
        refreshStatus();
    });
}

void AppDelegate::rebuildSlotTable() { m_remap.setSlotCombos(m_contentVC->keyCombos()); }

// A pair on a slot's key is marked: the slot wins.
void AppDelegate::markPairsOnSlotKeys() {
    m_mainWindow->ui().pairList->setKeyNotes(SlotNaming::pairKeyNotes(m_contentVC->keyCombos()));
}

void AppDelegate::sendPairTable() {
    const std::vector<KeyPair> pairs = m_mainWindow->ui().pairList->keyPairs();
    m_remap.setPairTable(pairs);
}

// Made even when no tray is there yet: the icon appears once a tray does.
void AppDelegate::installTrayIcon() {
    m_tray = new VelmoraTray(this);
    connect(m_tray, &VelmoraTray::showWindowRequested, this,
            [this] { applicationShouldHandleReopen(false); });
    connect(m_tray, &VelmoraTray::switchToggled, m_mainWindow->ui().switchButton,
            &QAbstractButton::setChecked);
    connect(m_tray, &VelmoraTray::quitRequested, this, &AppDelegate::quitRequested);
    m_tray->show();
}

void AppDelegate::startClick(QAbstractButton *sender) {
    // Only "on" turns remapping on; a tri-state box reports its mixed state as checked.
    const auto *box = qobject_cast<QCheckBox *>(sender);
    // The tap takes back keyboards the panic chord let go, and closes a chat an earlier game
    // left open, when it is switched on.
    m_remap.setRemapSwitch(box ? box->checkState() == Qt::Checked
                               : sender->isCheckable() && sender->isChecked());
    if (m_frontSource) m_frontSource->setWatching(remapSwitch());
    refreshStatus();
}

QWidget *AppDelegate::window() const { return _window; }

void AppDelegate::setWindow(QWidget *window) { _window = window; }

MZDotaContentViewController *AppDelegate::contentVC() const { return m_contentVC; }

QWidget *AppDelegate::workView() const {
    return m_mainWindow ? m_mainWindow->ui().workView : nullptr;
}

const QString &AppDelegate::frontProcessName() const {
    static const QString NoName;
    return m_frontSource ? m_frontSource->frontProcessName() : NoName;
}

void AppDelegate::shutdown() {
    if (m_tap) m_tap->shutdown();
}

StatusLine::Front AppDelegate::statusFront() const {
    if (!m_frontSource || !m_frontUnavailable.isNull()) return StatusLine::Front::Unwatched;
    switch (m_frontSource->front()) {
    case FrontProcessSource::Front::Named:
        return StatusLine::Front::Process;
    case FrontProcessSource::Front::UnknownProcess:
        return StatusLine::Front::UnknownProcess;
    case FrontProcessSource::Front::Unwatched:
    case FrontProcessSource::Front::NoWindow:
        break;
    }
    return StatusLine::Front::NoWindow;
}

StatusLine::State AppDelegate::statusState() const {
    return {
        .remapSwitch = remapSwitch(),
        .chatPaused = m_tap && m_tap->chatPaused(),
        .front = statusFront(),
        .frontName = frontProcessName(),
        .frontUnavailable = m_frontUnavailable,
        .tapFailure = m_tapFailure,
        .tapStatus = m_tap ? m_tap->statusText() : QString(),
        .helperMissing = m_helperMissing,
    };
}

QString AppDelegate::statusText() const { return StatusLine::text(statusState()); }

void AppDelegate::refreshStatus() {
    const StatusLine::State state = statusState();
    const QString text = StatusLine::text(state);
    const StatusLine::Mode mode = StatusLine::mode(state);
    if (m_mainWindow) {
        m_mainWindow->ui().statusLabel->setText(text);
        m_mainWindow->showSwitch(mode, StatusLine::switchText(state));
    }
    if (m_tray) m_tray->showState(mode, text);
    emit statusChanged(text);
}
