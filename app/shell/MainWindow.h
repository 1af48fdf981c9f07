#pragma once

#include "shell/StatusLine.h"

#include <QWidget>

#include <memory>

namespace Ui {
class MainWindow;
}

// Velmora's main window: a tab with the slot panel's container and one with the pair list,
// the remapping switch, a status line, the version label and the update and link buttons.
// The application delegate connects the buttons and fills the labels.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    const Ui::MainWindow &ui() const { return *m_ui; }
    // The switch button's caption and colour: plain while off, amber while on and waiting,
    // green while keys are remapped.
    void showSwitch(StatusLine::Mode mode, const QString &text);

private:
    std::unique_ptr<Ui::MainWindow> m_ui;
};
