#include "pairs/MZContentViewController.h"

#include <QPointer>
#include <QSettings>

#include "keymap/RemapDecision.h"
#include "pairs/MZPairViewController.h"
#include "pairs/PairStore.h"
#include "recorder/KeyComboText.h"
#include "recorder/MZFlipView.h"
#include "recorder/MZRecorderControl.h"
#include "ui_MZContentViewController.h"

namespace {

constexpr int InitialRowCount = 10;
constexpr int RowSpacing = 5;

KeyPair pairOf(const MZPairViewController *row) {
    return {row->originalControl()->keyCombo(), row->swopControl()->keyCombo()};
}

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
    restoreRows();
    refreshUI();
    refreshNote();
}

void MZContentViewController::restoreRows() {
    QSettings settings;
    const PairStore::Stored stored = PairStore::load(settings);
    if (!stored.rows.empty())
        while (m_items.size() <= stored.rows.rbegin()->first)
            insertRow(m_items.size(), createPairVC());
    for (const auto &[index, saved] : stored.rows) {
        MZPairViewController *row = m_items[index];
        row->originalControl()->setKeyCombo(saved.pair.key);
        row->swopControl()->setKeyCombo(saved.pair.replacement);
        if (!saved.unreadable.isNull()) m_unreadable.insert(row, saved.unreadable);
    }
    m_strays = stored.strays;
    m_keyPairs = keyPairs();
}

std::vector<KeyPair> MZContentViewController::keyPairs() const {
    std::vector<KeyPair> pairs;
    for (const MZPairViewController *row : m_items)
        if (const KeyPair pair = pairOf(row); pair.isComplete()) pairs.push_back(pair);
    return pairs;
}

void MZContentViewController::setKeyNotes(const QHash<uint16_t, QString> &notes) {
    m_keyNotes = notes;
    markRows();
}

void MZContentViewController::rowsEdited() {
    std::vector<PairStore::Row> rows;
    for (MZPairViewController *row : std::as_const(m_items))
        rows.push_back({pairOf(row), m_unreadable.value(row)});
    QSettings settings;
    PairStore::save(settings, rows);
    refreshNote();
    markRows();
    std::vector<KeyPair> pairs = keyPairs();
    if (pairs == m_keyPairs) return;
    m_keyPairs = std::move(pairs);
    emit keyPairsChanged();
}

void MZContentViewController::markRows() {
    for (MZPairViewController *row : std::as_const(m_items)) {
        const KeyCombo key = row->originalControl()->keyCombo();
        row->originalControl()->setNote(key.code < 0 ? QString()
                                                     : m_keyNotes.value(uint16_t(key.code)));
    }
}

void MZContentViewController::refreshNote() {
    QStringList unreadable;
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (const auto kept = m_unreadable.constFind(m_items[i]); kept != m_unreadable.cend())
            unreadable << QString::number(i + 1) + QLatin1Char('=') + *kept;
    QStringList notes{
        KeyComboText::unreadableNote(PairStore::SettingsGroup, unreadable + m_strays)};
    // The broker's table has a fixed size; rows past it are kept but must not look as if they work.
    if (keyPairs().size() > MaxPairs)
        notes << tr("Only the first %1 complete pairs remap; the rows after them do nothing.")
                     .arg(MaxPairs);
    notes.removeAll(QString());
    const QString note = notes.join(QLatin1Char('\n'));
    ui->problemNote->setText(note);
    ui->problemNote->setVisible(!note.isEmpty());
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
    m_unreadable.remove(row);
    rowsEdited();
    // The click that got here is still being delivered to the row's button.
    row->deleteLater();
}

void MZContentViewController::appendBefore(MZPairViewController *row) {
    const qsizetype index = m_items.indexOf(row);
    insertRow(index < 0 ? m_items.size() : index, createPairVC());
    refreshUI();
    rowsEdited();
}

void MZContentViewController::insertRow(qsizetype index,
                                        std::unique_ptr<MZPairViewController> row) {
    for (MZRecorderControl *control : {row->originalControl(), row->swopControl()})
        connect(control, &MZRecorderControl::keyComboChanged, this, [this, edited = row.get()] {
            // A row the person records into no longer keeps the text it was read from.
            m_unreadable.remove(edited);
            rowsEdited();
        });
    row->setParent(desktopView());
    row->show();
    m_items.insert(index, row.release());
}
