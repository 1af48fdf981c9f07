#include "remap/MZDotaContentViewController.h"

#include <QSettings>

#include "recorder/KeyComboText.h"
#include "recorder/MZRecorderControl.h"
#include "remap/SlotComboStore.h"
#include "remap/SlotNaming.h"
#include "ui_MZDotaContentViewController.h"

MZDotaContentViewController::MZDotaContentViewController(QWidget *parent)
    : MZContentViewController(OwnInterface{}, parent),
      ui(std::make_unique<Ui::MZDotaContentViewController>()) {
    ui->setupUi(this);
    const auto recorders = controls();
    for (size_t slot = 0; slot < recorders.size(); ++slot) {
        recorders[slot]->setAllowsKeyOnly(true, true);
        recorders[slot]->setModifiersIgnored(true);
        recorders[slot]->setToolTip(SlotNaming::toolTip(slot));
        recorders[slot]->setAccessibleName(SlotNaming::keypadName(slot));
        connect(recorders[slot], &MZRecorderControl::keyComboChanged, this,
                [this, slot] { keyComboEdited(slot); });
    }
    restoreKeyCombos();
    refreshNotes();
}

MZDotaContentViewController::~MZDotaContentViewController() = default;

MZRecorderControl *MZDotaContentViewController::control1() const { return ui->control1; }
MZRecorderControl *MZDotaContentViewController::control2() const { return ui->control2; }
MZRecorderControl *MZDotaContentViewController::control3() const { return ui->control3; }
MZRecorderControl *MZDotaContentViewController::control4() const { return ui->control4; }
MZRecorderControl *MZDotaContentViewController::control5() const { return ui->control5; }
MZRecorderControl *MZDotaContentViewController::control6() const { return ui->control6; }

std::array<MZRecorderControl *, 6> MZDotaContentViewController::controls() const {
    return {ui->control1, ui->control2, ui->control3, ui->control4, ui->control5, ui->control6};
}

void MZDotaContentViewController::restoreKeyCombos() {
    QSettings settings;
    const auto stored = SlotComboStore::load(settings);
    if (!stored) return;
    const auto recorders = controls();
    for (size_t i = 0; i < recorders.size(); ++i) recorders[i]->setKeyCombo(stored->combos[i]);
    m_unreadable = stored->unreadable;
    m_strays = stored->strays;
}

SlotCombos MZDotaContentViewController::keyCombos() const {
    SlotCombos combos;
    const auto recorders = controls();
    for (size_t i = 0; i < recorders.size(); ++i) combos[i] = recorders[i]->keyCombo();
    return combos;
}

// A slot the person records into no longer keeps the text it was read from.
void MZDotaContentViewController::keyComboEdited(size_t slot) {
    m_unreadable[slot] = QString();
    QSettings settings;
    SlotComboStore::save(settings, keyCombos(), m_unreadable);
    refreshNotes();
    emit keyCombosChanged();
}

void MZDotaContentViewController::refreshNotes() {
    const SlotNaming::SharedKeys shared = SlotNaming::sharedKeys(keyCombos());
    const auto recorders = controls();
    for (size_t i = 0; i < recorders.size(); ++i) recorders[i]->setNote(shared.fieldNotes[i]);
    QStringList unreadable;
    for (size_t i = 0; i < m_unreadable.size(); ++i)
        if (!m_unreadable[i].isNull())
            unreadable << SlotComboStore::SlotKeys[qsizetype(i)] + QLatin1Char('=') +
                              m_unreadable[i];
    QStringList lines = shared.lines;
    const QString note =
        KeyComboText::unreadableNote(SlotComboStore::SettingsGroup, unreadable + m_strays);
    if (!note.isEmpty()) lines << note;
    ui->problemNote->setText(lines.join(QLatin1Char('\n')));
    ui->problemNote->setVisible(!lines.isEmpty());
}
