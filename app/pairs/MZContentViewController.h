#pragma once

#include <QHash>
#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <vector>

#include "keymap/KeyPair.h"

class MZPairViewController;

namespace Ui {
class MZContentViewController;
}

// The pair list: pair rows stacked from the top of desktopView in the order of `items`,
// ten of them at the start, or as many as the settings keep. Every row can close itself
// (unless it is the only one) or put a new row in its place. The rows are children of
// desktopView, which sits in a scroll area and is as high as the rows need; a closed row is
// destroyed once its click is over. The rows are kept in the settings (PairStore) whenever
// one changes; keyPairs() hands the complete ones on as plain values.
class MZContentViewController : public QWidget {
    Q_OBJECT
public:
    // Loads the list's interface and builds the first rows.
    explicit MZContentViewController(QWidget *parent = nullptr);
    ~MZContentViewController() override;

    // The rows, first on top; the live list, not a copy.
    QList<MZPairViewController *> &items() { return m_items; }
    // Null in a subclass that builds its own interface.
    QWidget *desktopView() const;

    // A new row whose close and append handlers act on this list; it is neither in
    // `items` nor in desktopView yet.
    std::unique_ptr<MZPairViewController> createPairVC();
    // The list is as high as its place lets it be: its notes wrap within that, and neither
    // they nor the rows make a window taller.
    bool hasHeightForWidth() const override { return false; }

    // Puts the rows below each other in `items` order, 5 apart and 5 from the top, keeping
    // their x, width and height; desktopView becomes 5 higher than the last row's bottom.
    void refreshUI();

    // The rows holding both keys, in list order.
    std::vector<KeyPair> keyPairs() const;
    // Marks each row whose key has a note here (by key code) with that note; the others
    // lose their mark.
    void setKeyNotes(const QHash<uint16_t, QString> &notes);

signals:
    // keyPairs() is no longer what it was.
    void keyPairsChanged();

protected:
    // For a subclass with an interface of its own: no list interface, no rows.
    struct OwnInterface {};
    MZContentViewController(OwnInterface, QWidget *parent);

private:
    void awakeFromNib();
    void restoreRows();
    void rowsEdited();
    void markRows();
    void refreshNote();
    void closeRow(MZPairViewController *row);
    void appendBefore(MZPairViewController *row);
    void insertRow(qsizetype index, std::unique_ptr<MZPairViewController> row);

    std::unique_ptr<Ui::MZContentViewController> ui;
    QList<MZPairViewController *> m_items;
    // The text each row was read from where it named no key, kept while the row is empty.
    QHash<MZPairViewController *, QString> m_unreadable;
    QStringList m_strays;
    QHash<uint16_t, QString> m_keyNotes;
    std::vector<KeyPair> m_keyPairs;
};
