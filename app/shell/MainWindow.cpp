#include "shell/MainWindow.h"

#include "ui_MainWindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::MainWindow>()) {
    m_ui->setupUi(this);
}

MainWindow::~MainWindow() = default;
