#include "pairs/MZContentViewController.h"

#include <QPointer>

#include "pairs/MZPairViewController.h"
#include "remap/MZFlipView.h"
#include "ui_MZContentViewController.h"

namespace {

constexpr int InitialRowCount = 10;
constexpr int RowSpacing = 5;

}  // namespace

MZContentViewController::MZContentViewController(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MZContentViewController>()) {
    ui->setupUi(this);
    awakeFromNib();
}

MZContentViewController::MZContentViewController(OwnInterface, QWidget *parent) : QWidget(parent) {}

MZContentViewController::~MZContentViewController() = default;

QWidget *MZContentViewController::desktopView() const { return ui ? ui->desktopView : nullptr; }

void MZContentViewController::awakeFromNib() {
    for (int i = 0; i < InitialRowCount; ++i) insertRow(m_items.size(), createPairVC());
    refreshUI();
}

std::unique_ptr<MZPairViewController> MZContentViewController::createPairVC() {
    auto row = std::make_unique<MZPairViewController>();
    // The row owns these handlers, so `r` is alive whenever they run; the list may not be.
    row->setCloseHandler([list = QPointer(this), r = row.get()] {
        if (list) list->closeRow(r);
    });
    row->setAppendHandler([list = QPointer(this), r = row.get()] {
        if (list) list->appendBefore(r);
    });
    return row;
}

void MZContentViewController::refreshUI() {
    if (!desktopView()) return;
    int y = RowSpacing;
    for (MZPairViewController *row : std::as_const(m_items)) {
        row->move(row->x(), y);
        y += row->height() + RowSpacing;
    }
    desktopView()->resize(desktopView()->width(), y);
}

void MZContentViewController::closeRow(MZPairViewController *row) {
    // The last row stays; a row already closed is not closed twice.
    if (m_items.size() < 2 || !m_items.removeOne(row)) return;
    row->setParent(nullptr);
    refreshUI();
    // The click that got here is still being delivered to the row's button.
    row->deleteLater();
}

void MZContentViewController::appendBefore(MZPairViewController *row) {
    const qsizetype index = m_items.indexOf(row);
    insertRow(index < 0 ? m_items.size() : index, createPairVC());
    refreshUI();
}

void MZContentViewController::insertRow(qsizetype index,
                                        std::unique_ptr<MZPairViewController> row) {
    row->setParent(desktopView());
    row->show();
    m_items.insert(index, row.release());
}
