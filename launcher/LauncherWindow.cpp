#include "launcher/LauncherWindow.h"

#include "ui_LauncherWindow.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>

LauncherWindow::LauncherWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::LauncherWindow>()) {
    m_ui->setupUi(this);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, qApp, &QApplication::quit);
    connect(m_ui->buttonBox->button(QDialogButtonBox::Retry), &QAbstractButton::clicked, this,
            &LauncherWindow::retryRequested);
    setRetryText({});
    auto *quit = new QAction(this);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit);
    addAction(quit);
}

LauncherWindow::~LauncherWindow() = default;

QString LauncherWindow::statusText() const { return m_ui->statusLabel->text(); }

void LauncherWindow::setStatusText(const QString &text) { m_ui->statusLabel->setText(text); }

void LauncherWindow::setRetryText(const QString &text) {
    QAbstractButton *retry = m_ui->buttonBox->button(QDialogButtonBox::Retry);
    retry->setVisible(!text.isNull());
    if (!text.isNull()) retry->setText(text);
}

QString LauncherWindow::retryText() const {
    const QAbstractButton *retry = m_ui->buttonBox->button(QDialogButtonBox::Retry);
    return retry->isVisibleTo(this) ? retry->text() : QString();
}
