#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

// Decides what closing the main window means. With a system tray to come back from, the
// window only hides and Velmora keeps remapping; the first time, a note says so, and the
// settings remember that it was said. Without a tray nothing could bring the window back or
// end Velmora, so closing it asks to quit. Closes that are part of quitting are let be.
class WindowCloseGuard : public QObject {
    Q_OBJECT
public:
    static const QString NoticeShownKey;

    WindowCloseGuard(QWidget *window, std::function<bool()> trayAvailable,
                     QObject *parent = nullptr);
    ~WindowCloseGuard() override;

signals:
    void quitRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void windowClosed();
    void showTrayNoticeOnce();

    QPointer<QWidget> m_window;
    std::function<bool()> m_trayAvailable;
    bool m_quitting = false;
};
