#include "shell/MainWindow.h"

#include "ui_MainWindow.h"

#include <QPushButton>
#include <QStyle>

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainWindow>()) {
    m_ui->setupUi(this);
}

MainWindow::~MainWindow() = default;

void MainWindow::showSwitch(StatusLine::Mode mode, const QString &text) {
    QPushButton *button = m_ui->switchButton;
    button->setText(text);
    const char *name = mode == StatusLine::Mode::Waiting ? "waiting" : "";
    if (button->property("mode").toByteArray() == name) return;
    button->setProperty("mode", QByteArray(name));
    // A style sheet looks at properties only when it is applied again.
    button->style()->unpolish(button);
    button->style()->polish(button);
}
