#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "recorder/MZRecorderControlDelegate.h"

namespace Ui {
class MZPairViewController;
}

// One row of the pair editor: a recorder for the key to be replaced, one for its
// replacement, a close and an append button. The row keeps no pair logic: it reports the
// two clicks and any change of either combination to its owner through the handlers, each
// called only when set. Its recorders are its children; it is their delegate. Logs
// "dealloc" when destroyed, so its owner's letting go can be seen.
class MZPairViewController : public QWidget, public MZRecorderControlDelegate {
    Q_OBJECT
public:
    using Handler = std::function<void()>;

    explicit MZPairViewController(QWidget *parent = nullptr);
    ~MZPairViewController() override;

    MZRecorderControl *originalControl() const;
    MZRecorderControl *swopControl() const;

    const Handler &closeHandler() const { return m_closeHandler; }
    void setCloseHandler(Handler handler) { m_closeHandler = std::move(handler); }
    const Handler &appendHandler() const { return m_appendHandler; }
    void setAppendHandler(Handler handler) { m_appendHandler = std::move(handler); }
    const Handler &changedHandler() const { return m_changedHandler; }
    void setChangedHandler(Handler handler) { m_changedHandler = std::move(handler); }

    void closeClick();
    void appendClick();

    // MZRecorderControlDelegate: no combination is ever taken; the reason stays untouched.
    bool isKeyCodeTaken(MZRecorderControl *, int64_t keyCode, uint64_t flags,
                        QString *reason) override;
    void keyComboDidChange(MZRecorderControl *, KeyCombo) override;

private:
    std::unique_ptr<Ui::MZPairViewController> ui;
    Handler m_closeHandler;
    Handler m_appendHandler;
    Handler m_changedHandler;
};
