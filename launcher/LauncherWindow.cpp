#include "launcher/LauncherWindow.h"

#include "ui_LauncherWindow.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QtMath>

namespace {

// What a 1024×768 screen leaves for the text, beside the title bar, a panel and the buttons;
// a longer text scrolls.
constexpr int maximumStatusHeight = 560;

void addShortcut(QWidget *window, const QKeySequence &keys, const std::function<void()> &action) {
    auto *shortcut = new QAction(window);
    shortcut->setShortcut(keys);
    QObject::connect(shortcut, &QAction::triggered, window, action);
    window->addAction(shortcut);
}

}  // namespace

LauncherWindow::LauncherWindow(QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::LauncherWindow>()) {
    m_ui->setupUi(this);
    // The text reads as the window's own, not as a field to type in.
    m_ui->statusText->viewport()->setAutoFillBackground(false);
    m_ui->buttonBox->button(QDialogButtonBox::Close)->setText(tr("&Close"));
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(m_ui->buttonBox->button(QDialogButtonBox::Retry), &QAbstractButton::clicked, this,
            &LauncherWindow::retryRequested);
    setRetryText({});
    fitStatusText();
    addShortcut(this, QKeySequence::Quit, [] { QApplication::quit(); });
    addShortcut(this, Qt::Key_Escape, [this] { close(); });
}

LauncherWindow::~LauncherWindow() = default;

QString LauncherWindow::statusText() const { return m_ui->statusText->toPlainText(); }

void LauncherWindow::setStatusText(const QString &text) {
    m_ui->statusText->setPlainText(text);
    fitStatusText();
}

// The width stays; the height follows the text, so the window grows and shrinks with it.
void LauncherWindow::fitStatusText() {
    QTextDocument *document = m_ui->statusText->document();
    document->setTextWidth(m_ui->statusText->maximumWidth());
    m_ui->statusText->setFixedHeight(qMin(qCeil(document->size().height()), maximumStatusHeight));
}

void LauncherWindow::setRetryText(const QString &text) {
    QAbstractButton *retry = m_ui->buttonBox->button(QDialogButtonBox::Retry);
    retry->setVisible(!text.isNull());
    if (!text.isNull()) retry->setText(text);
}

QString LauncherWindow::retryText() const {
    const QAbstractButton *retry = m_ui->buttonBox->button(QDialogButtonBox::Retry);
    return retry->isVisibleTo(this) ? retry->text() : QString();
}
