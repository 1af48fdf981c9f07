#include "shell/VelmoraTray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSignalBlocker>
#include <QSystemTrayIcon>

namespace {

QIcon iconFor(StatusLine::Mode mode) {
    switch (mode) {
    case StatusLine::Mode::Remapping:
        return QIcon(QStringLiteral(":/velmora/velmora.png"));
    case StatusLine::Mode::Waiting:
        return QIcon(QStringLiteral(":/velmora/velmora-waiting.png"));
    case StatusLine::Mode::Off:
        break;
    }
    return QIcon(QStringLiteral(":/velmora/velmora-off.png"));
}

}  // namespace

VelmoraTray::VelmoraTray(QObject *parent)
    : QObject(parent), m_menu(std::make_unique<QMenu>()),
      m_tray(new QSystemTrayIcon(iconFor(StatusLine::Mode::Off), this)) {
    m_menu->addAction(tr("Show Velmora"), this, &VelmoraTray::showWindowRequested);
    m_switchAction = m_menu->addAction(tr("Remap inventory keys"));
    m_switchAction->setCheckable(true);
    connect(m_switchAction, &QAction::toggled, this, &VelmoraTray::switchToggled);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit Velmora"), this, &VelmoraTray::quitRequested);
    m_tray->setContextMenu(m_menu.get());
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) emit showWindowRequested();
    });
}

// The icon goes before the menu it shows.
VelmoraTray::~VelmoraTray() { delete m_tray; }

void VelmoraTray::showState(StatusLine::Mode mode, const QString &status) {
    {
        const QSignalBlocker quiet(m_switchAction);
        m_switchAction->setChecked(mode != StatusLine::Mode::Off);
    }
    m_tray->setIcon(iconFor(mode));
    m_tray->setToolTip(QStringLiteral("Velmora\n") + status);
}

void VelmoraTray::show() { m_tray->show(); }
