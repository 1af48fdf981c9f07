#pragma once

#include <QFrame>
#include <optional>

#include "keymap/KeyCombo.h"

class MZRecorderControlDelegate;
class QKeyEvent;
class QLabel;
class QToolButton;

// A field that records one key combination. A click on it, or Enter or Space while it has
// the focus, starts recording; focus alone never does, so Tab can walk past it. The next
// key press with its modifiers becomes the combination; a modifier pressed alone records
// nothing. A click anywhere else or the window losing the focus ends a recording and keeps
// the combination. The clear button, which Tab reaches too, empties it (code -1, flags 0).
// Codes are Velmora virtual key codes, flags the device-independent modifier bits. Where
// modifiers do not count, they are shown greyed; a field with a note is framed in amber
// and its tooltip tells the note.
class MZRecorderControl : public QFrame {
    Q_OBJECT
public:
    explicit MZRecorderControl(QWidget *parent = nullptr);

    // The combination shown at this moment.
    KeyCombo keyCombo() const { return m_keyCombo; }
    // Shows `keyCombo` without notifying anyone; for restoring a saved combination.
    void setKeyCombo(KeyCombo keyCombo);

    // allowsKeyOnly: a key pressed without Control, Option or Command is accepted.
    // escapeKeysRecord: Escape is recorded as a key instead of cancelling the recording.
    void setAllowsKeyOnly(bool allowsKeyOnly, bool escapeKeysRecord);
    bool allowsKeyOnly() const { return m_allowsKeyOnly; }
    bool escapeKeysRecord() const { return m_escapeKeysRecord; }

    MZRecorderControlDelegate *delegate() const { return m_delegate; }
    void setDelegate(MZRecorderControlDelegate *delegate) { m_delegate = delegate; }

    // Shows the modifiers of the combination greyed: they are kept but do not count.
    void setModifiersIgnored(bool ignored);
    bool modifiersIgnored() const { return m_modifiersIgnored; }
    // Marks the field and adds `note` to its tooltip; an empty note takes the mark away.
    void setNote(const QString &note);
    const QString &note() const { return m_note; }

    bool isRecording() const { return m_recording; }
    void startRecording();
    // Empties the combination, as the clear button does.
    void clear();
    // The text the field shows.
    QString displayText() const;

    // "Shift+Q", "Ctrl+Alt+Keypad 4"; empty for an empty combination.
    static QString stringForKeyCombo(KeyCombo keyCombo);
    // The combination a key press stands for; none for a key without a virtual code.
    static std::optional<KeyCombo> keyComboForEvent(const QKeyEvent &event);

signals:
    void keyComboChanged(KeyCombo keyCombo);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void record(const QKeyEvent &event);
    bool isRefused(KeyCombo candidate);
    void stopRecording();
    void changeKeyCombo(KeyCombo keyCombo);
    void refresh();
    void showModifiersGreyed();

    // Made in the constructor body: making a child sends this widget events, which must
    // find every field below already initialised.
    QLabel *m_label = nullptr;
    QToolButton *m_clearButton = nullptr;
    MZRecorderControlDelegate *m_delegate = nullptr;
    KeyCombo m_keyCombo;
    QString m_refusal;
    QString m_note;
    bool m_modifiersIgnored = false;
    bool m_allowsKeyOnly = false;
    bool m_escapeKeysRecord = false;
    bool m_recording = false;
};
