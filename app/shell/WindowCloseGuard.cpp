#include "shell/WindowCloseGuard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QSettings>
#include <QWidget>

const QString WindowCloseGuard::NoticeShownKey = QStringLiteral("trayNoticeShown");

WindowCloseGuard::WindowCloseGuard(QWidget *window, std::function<bool()> trayAvailable,
                                   QObject *parent)
    : QObject(parent), m_window(window), m_trayAvailable(std::move(trayAvailable)) {
    // Sees the window's close and the application's quit, which closes every window first:
    // those closes must not read as the person's.
    qApp->installEventFilter(this);
}

WindowCloseGuard::~WindowCloseGuard() = default;

bool WindowCloseGuard::eventFilter(QObject *watched, QEvent *event) {
    if (watched == qApp && event->type() == QEvent::Quit) m_quitting = true;
    if (watched == m_window && event->type() == QEvent::Close && !m_quitting) windowClosed();
    return false;
}

void WindowCloseGuard::windowClosed() {
    if (!m_trayAvailable()) {
        emit quitRequested();
        return;
    }
    showTrayNoticeOnce();
}

void WindowCloseGuard::showTrayNoticeOnce() {
    QSettings settings;
    if (settings.value(NoticeShownKey).toBool()) return;
    settings.setValue(NoticeShownKey, true);
    auto *notice = new QMessageBox(QMessageBox::Information, tr("Velmora keeps running"),
                                   tr("Velmora keeps running in the system tray and goes on "
                                      "remapping while the switch is on.\n\nClick its tray icon "
                                      "to bring the window back; its menu has Quit."),
                                   QMessageBox::Ok);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setWindowIcon(m_window->windowIcon());
    notice->show();
}
