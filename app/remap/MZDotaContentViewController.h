#pragma once

#include <array>
#include <memory>

#include "keymap/RemapDecision.h"
#include "pairs/MZContentViewController.h"
#include "remap/SlotComboStore.h"

class MZRecorderControl;

namespace Ui {
class MZDotaContentViewController;
}

// The slot panel: six recorders laid out like the game's inventory and the keypad that
// addresses it, each named after its keypad key and inventory slot. It builds its own
// interface instead of the pair list's, so no pair row is ever made. The combinations are
// saved whenever one changes and restored at start. Modifiers show greyed, since only the
// key counts; a key held by several fields marks them all, and the note under the grid says
// which slot it presses and which lines of the settings file could not be read.
class MZDotaContentViewController : public MZContentViewController {
    Q_OBJECT
public:
    explicit MZDotaContentViewController(QWidget *parent = nullptr);
    ~MZDotaContentViewController() override;

    MZRecorderControl *control1() const;
    MZRecorderControl *control2() const;
    MZRecorderControl *control3() const;
    MZRecorderControl *control4() const;
    MZRecorderControl *control5() const;
    MZRecorderControl *control6() const;

    // control1 to control6, in slot order.
    std::array<MZRecorderControl *, 6> controls() const;
    // Their combinations at this moment, in slot order.
    SlotCombos keyCombos() const;

signals:
    // A person changed one of the six combinations.
    void keyCombosChanged();

private:
    void restoreKeyCombos();
    void keyComboEdited(size_t slot);
    void refreshNotes();

    std::unique_ptr<Ui::MZDotaContentViewController> ui;
    SlotComboStore::UnreadableTexts m_unreadable;
    QStringList m_strays;
};
