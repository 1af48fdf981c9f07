#include "remap/MZDotaContentViewController.h"

#include <QSettings>

#include "remap/MZRecorderControl.h"
#include "remap/SlotComboStore.h"
#include "ui_MZDotaContentViewController.h"

MZDotaContentViewController::MZDotaContentViewController(QWidget *parent)
    : MZContentViewController(OwnInterface{}, parent),
      ui(std::make_unique<Ui::MZDotaContentViewController>()) {
    ui->setupUi(this);
    for (MZRecorderControl *control : controls()) control->setAllowsKeyOnly(true, true);
    restoreKeyCombos();
    for (MZRecorderControl *control : controls()) {
        connect(control, &MZRecorderControl::keyComboChanged, this,
                &MZDotaContentViewController::saveKeyCombos);
        connect(control, &MZRecorderControl::keyComboChanged, this,
                &MZDotaContentViewController::keyCombosChanged);
    }
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
    const auto combos = SlotComboStore::load(settings);
    if (!combos) return;
    const auto recorders = controls();
    for (size_t i = 0; i < recorders.size(); ++i) recorders[i]->setKeyCombo((*combos)[i]);
}

SlotCombos MZDotaContentViewController::keyCombos() const {
    SlotCombos combos;
    const auto recorders = controls();
    for (size_t i = 0; i < recorders.size(); ++i) combos[i] = recorders[i]->keyCombo();
    return combos;
}

void MZDotaContentViewController::saveKeyCombos() const {
    QSettings settings;
    SlotComboStore::save(settings, keyCombos());
}
