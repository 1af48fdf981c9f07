#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class LauncherWindow;
}

// The launcher's only window: a few lines telling where the start of Velmora stands (they can
// be selected, to copy a path or a command), a button to try again once the start has failed
// or Velmora has ended, and a way to quit. The text wraps, anywhere in a word too long for a
// line, at a fixed width. Escape closes it, and closing it quits the launcher.
class LauncherWindow : public QWidget {
    Q_OBJECT

public:
    explicit LauncherWindow(QWidget *parent = nullptr);
    ~LauncherWindow() override;

    QString statusText() const;
    void setStatusText(const QString &text);
    // Shows the retry button with this text; a null text hides it.
    void setRetryText(const QString &text);
    QString retryText() const;

signals:
    void retryRequested();

private:
    void fitStatusText();

    std::unique_ptr<Ui::LauncherWindow> m_ui;
};
