#include "pairs/MZPairViewController.h"

#include <QPushButton>

#include "recorder/MZRecorderControl.h"
#include "ui_MZPairViewController.h"

namespace {

void callIfSet(const MZPairViewController::Handler &handler) {
    if (handler) handler();
}

}  // namespace

MZPairViewController::MZPairViewController(QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::MZPairViewController>()) {
    ui->setupUi(this);
    for (MZRecorderControl *control : {ui->originalControl, ui->swopControl}) {
        control->setAllowsKeyOnly(true, true);
        // As in the slots, only the keys count.
        control->setModifiersIgnored(true);
        control->setDelegate(this);
    }
    connect(ui->closeButton, &QPushButton::clicked, this, &MZPairViewController::closeClick);
    connect(ui->appendButton, &QPushButton::clicked, this, &MZPairViewController::appendClick);
}

MZPairViewController::~MZPairViewController() {
    qInfo("dealloc");
    // The recorders outlive this body by a moment; nothing may reach the row through them.
    ui->originalControl->setDelegate(nullptr);
    ui->swopControl->setDelegate(nullptr);
}

MZRecorderControl *MZPairViewController::originalControl() const { return ui->originalControl; }
MZRecorderControl *MZPairViewController::swopControl() const { return ui->swopControl; }

void MZPairViewController::closeClick() { callIfSet(m_closeHandler); }
void MZPairViewController::appendClick() { callIfSet(m_appendHandler); }

bool MZPairViewController::isKeyCodeTaken(MZRecorderControl *, int64_t, uint64_t, QString *) {
    return false;
}

void MZPairViewController::keyComboDidChange(MZRecorderControl *, KeyCombo) {
    callIfSet(m_changedHandler);
}
