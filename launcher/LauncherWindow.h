#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class LauncherWindow;
}

// The launcher's only window: a few lines telling where the start of Velmora stands (they can
// be selected, to copy a path or a command), and a way to quit. Closing it quits the launcher.
class LauncherWindow : public QWidget {
    Q_OBJECT

public:
    explicit LauncherWindow(QWidget *parent = nullptr);
    ~LauncherWindow() override;

    QString statusText() const;
    void setStatusText(const QString &text);

private:
    std::unique_ptr<Ui::LauncherWindow> m_ui;
};
