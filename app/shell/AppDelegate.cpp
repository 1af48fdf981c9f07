#include "shell/AppDelegate.h"

#include "platform/EventTap.h"
#include "platform/FrontProcessSource.h"
#include "platform/KeyboardEvent.h"
#include "platform/linux/KeyboardTap.h"
#include "platform/linux/X11FrontProcessWatcher.h"
#include "platform/linux/XdgUrlOpener.h"
#include "remap/EventCallback.h"
#include "remap/MZDotaContentViewController.h"
#include "remap/MZRecorderControl.h"
#include "shell/MainWindow.h"
#include "ui_MainWindow.h"
#include "update/UpdateCheck.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>

AppDelegate::Platform AppDelegate::linuxPlatform() {
    return {
        []() -> Result<std::unique_ptr<EventTap>> {
            return KeyboardTap::create(eventCallback, nullptr);
        },
        []() -> Result<std::unique_ptr<FrontProcessSource>> {
            return X11FrontProcessWatcher::create();
        },
        [] { return std::make_unique<XdgUrlOpener>(); },
    };
}

AppDelegate::AppDelegate(Platform platform, QObject *parent)
    : QObject(parent), m_platform(std::move(platform)) {}

AppDelegate::~AppDelegate() {
    shutdown();
    if (selfPoint == this) selfPoint = nullptr;
}

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
    // The panel goes in before the tap exists, so the callback always finds the recorders.
    auto *panel = new MZDotaContentViewController(workView());
    m_contentVC = panel;
    workView()->setFixedSize(panel->sizeHint() + QSize(10, 10));
    panel->setGeometry(workView()->rect().adjusted(5, 5, -5, -5));
    rebuildSlotTable();
    connect(panel, &MZDotaContentViewController::keyCombosChanged, this,
            &AppDelegate::rebuildSlotTable);
    selfPoint = this;
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
                                                           ui.homeButton, ui.weiboButton},
                                      m_platform.createUrlOpener ? m_platform.createUrlOpener()
                                                                 : nullptr,
                                      UpdateCheck::Addresses::builtIn());
    connect(ui.switchButton, &QAbstractButton::toggled, this,
            [this, button = ui.switchButton] { startClick(button); });
    // Without a tray, the window is the only way to end Velmora.
    connect(ui.quitButton, &QAbstractButton::clicked, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
}

void AppDelegate::installTap() {
    auto tap = m_platform.createTap();
    if (!tap) {
        m_tapUnavailable = tap.failure().message;
        qInfo("keyboard tap unavailable: %s", qPrintable(m_tapUnavailable));
        return;
    }
    m_tap = tap.take();
    connect(m_tap.get(), &EventTap::statusChanged, this, &AppDelegate::refreshStatus);
}

void AppDelegate::installFrontSource() {
    auto source = m_platform.createFrontSource();
    if (!source) {
        m_frontUnavailable = source.failure().message;
        qInfo("front application unknown: %s", qPrintable(m_frontUnavailable));
        return;
    }
    m_frontSource = source.take();
    connect(m_frontSource.get(), &FrontProcessSource::frontProcessNameChanged, this,
            &AppDelegate::refreshStatus);
    connect(m_frontSource.get(), &FrontProcessSource::connectionLost, this, [this] {
        m_frontUnavailable = tr("the X server is unreachable");
        refreshStatus();
    });
}

void AppDelegate::rebuildSlotTable() { m_slotTable = makeSlotTable(m_contentVC->keyCombos()); }

void AppDelegate::installTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/velmora/velmora.png")), this);
    auto *menu = new QMenu(m_mainWindow.get());
    menu->addAction(tr("Show"), this, [this] { applicationShouldHandleReopen(false); });
    menu->addAction(tr("Quit"), qApp, &QCoreApplication::quit);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) applicationShouldHandleReopen(false);
    });
    m_tray->show();
}

void AppDelegate::startClick(QAbstractButton *sender) {
    // Only "on" turns remapping on; a tri-state box reports its mixed state as checked.
    const auto *box = qobject_cast<QCheckBox *>(sender);
    start = box ? box->checkState() == Qt::Checked : sender->isCheckable() && sender->isChecked();
    if (start && m_tap) m_tap->rearm();
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

TapEvent *AppDelegate::createKeyboardEvent(uint16_t virtualKeyCode, bool keyDown) {
    return new KeyboardEvent(virtualKeyCode, keyDown);
}

void AppDelegate::shutdown() {
    if (m_tap) m_tap->shutdown();
}

QString AppDelegate::statusText() const {
    QString text = start ? tr("Remapping on") : tr("Remapping off");
    if (!m_tap) return text + tr(" — cannot remap: %1").arg(m_tapUnavailable);
    text += QStringLiteral(" — ") + m_tap->statusText();
    if (!m_frontSource)
        return text + tr(" — front application unknown: %1").arg(m_frontUnavailable);
    const QString name = m_frontSource->frontProcessName();
    return text + tr(" — in front: %1").arg(name.isNull() ? tr("(none)") : name);
}

void AppDelegate::refreshStatus() {
    const QString text = statusText();
    if (m_mainWindow) m_mainWindow->ui().statusLabel->setText(text);
    emit statusChanged(text);
}
