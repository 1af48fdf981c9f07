#include "launcher/LauncherWindow.h"

#include "ui_LauncherWindow.h"

#include <QAction>
#include <QApplication>

LauncherWindow::LauncherWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::LauncherWindow>()) {
    m_ui->setupUi(this);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, qApp, &QApplication::quit);
    auto *quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
    addAction(quit);
}

LauncherWindow::~LauncherWindow() = default;

QString LauncherWindow::statusText() const { return m_ui->statusLabel->text(); }

void LauncherWindow::setStatusText(const QString &text) { m_ui->statusLabel->setText(text); }
