#include "recorder/MZRecorderControl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <QToolTip>

#include "keymap/KeyCodeTable.h"
#include "keymap/ModifierFlags.h"
#include "keymap/VirtualKeyCodes.h"
#include "recorder/KeyComboText.h"
#include "recorder/MZRecorderControlDelegate.h"
#include "recorder/VirtualKeyTable.h"

namespace {

const QColor MarkColour(0xf9, 0xa8, 0x25);
// Without key-only, one of these must be held: Shift alone only makes a capital letter.
constexpr uint64_t CommandLikeFlags =
    ModifierFlags::Control | ModifierFlags::Alternate | ModifierFlags::Command;

uint64_t flagsForModifiers(Qt::KeyboardModifiers modifiers) {
    uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= ModifierFlags::Shift;
    if (modifiers & Qt::ControlModifier) flags |= ModifierFlags::Control;
    if (modifiers & Qt::AltModifier) flags |= ModifierFlags::Alternate;
    if (modifiers & Qt::MetaModifier) flags |= ModifierFlags::Command;
    return flags;
}

bool startsRecording(const QKeyEvent &event) {
    if (event.modifiers() & ~Qt::KeyboardModifiers(Qt::KeypadModifier)) return false;
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter ||
           event.key() == Qt::Key_Space;
}

std::optional<uint16_t> virtualCodeForEvent(const QKeyEvent &event) {
    if (auto code = KeyCodeTable::virtualFromScanCode(event.nativeScanCode())) return code;
    return VirtualKeyTable::fromQtKey(event.key(), event.modifiers() & Qt::KeypadModifier);
}

}  // namespace

MZRecorderControl::MZRecorderControl(QWidget *parent) : QFrame(parent) {
    m_label = new QLabel(this);
    m_clearButton = new QToolButton(this);
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumWidth(120);
    m_label->setAlignment(Qt::AlignCenter);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_clearButton->setText(QStringLiteral("×"));
    m_clearButton->setToolTip(tr("Clear"));
    m_clearButton->setAutoRaise(true);
    m_clearButton->setFocusPolicy(Qt::TabFocus);
    connect(m_clearButton, &QToolButton::clicked, this, &MZRecorderControl::clear);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_clearButton);
    refresh();
}

void MZRecorderControl::setKeyCombo(KeyCombo keyCombo) {
    m_keyCombo = keyCombo;
    refresh();
}

void MZRecorderControl::setAllowsKeyOnly(bool allowsKeyOnly, bool escapeKeysRecord) {
    m_allowsKeyOnly = allowsKeyOnly;
    m_escapeKeysRecord = escapeKeysRecord;
}

void MZRecorderControl::setModifiersIgnored(bool ignored) {
    m_modifiersIgnored = ignored;
    refresh();
}

void MZRecorderControl::setNote(const QString &note) {
    m_note = note;
    setAccessibleDescription(note);
    update();
}

void MZRecorderControl::startRecording() {
    // Sees every click of the application while recording, to end it on one elsewhere.
    if (!m_recording) qApp->installEventFilter(this);
    m_recording = true;
    m_refusal.clear();
    refresh();
}

void MZRecorderControl::clear() {
    stopRecording();
    changeKeyCombo(KeyCombo{});
}

QString MZRecorderControl::displayText() const {
    if (m_recording) return m_refusal.isEmpty() ? tr("Type a key") : m_refusal;
    if (m_keyCombo.code < 0) return tr("Click to record");
    return stringForKeyCombo(m_keyCombo);
}

QString MZRecorderControl::stringForKeyCombo(KeyCombo keyCombo) {
    return KeyComboText::format(keyCombo);
}

std::optional<KeyCombo> MZRecorderControl::keyComboForEvent(const QKeyEvent &event) {
    const auto code = virtualCodeForEvent(event);
    if (!code) return std::nullopt;
    return KeyCombo{flagsForModifiers(event.modifiers()), *code};
}

bool MZRecorderControl::event(QEvent *event) {
    // By now the window has placed the field in its tab order: the clear button follows it.
    if (event->type() == QEvent::Polish) QWidget::setTabOrder(this, m_clearButton);
    if (event->type() == QEvent::ToolTip && !m_note.isEmpty()) {
        const QString tip = toolTip().isEmpty() ? m_note : toolTip() + QLatin1Char('\n') + m_note;
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, this);
        return true;
    }
    if (m_recording && event->type() == QEvent::ShortcutOverride) {
        // While recording every key belongs to the field, shortcuts included.
        event->accept();
        return true;
    }
    if (m_recording && event->type() == QEvent::KeyPress) {
        // Bypasses the focus chain's handling of Tab so that Tab can be recorded.
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return true;
    }
    return QFrame::event(event);
}

bool MZRecorderControl::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget != this && !isAncestorOf(widget)) stopRecording();
    }
    return false;
}

void MZRecorderControl::paintEvent(QPaintEvent *event) {
    QFrame::paintEvent(event);
    QStylePainter painter(this);
    if (!m_note.isEmpty()) {
        painter.setPen(QPen(MarkColour, 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
    if (!hasFocus() || m_recording) return;
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect().adjusted(1, 1, -1, -1);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void MZRecorderControl::keyPressEvent(QKeyEvent *event) {
    if (m_recording) {
        record(*event);
        event->accept();
    } else if (startsRecording(*event)) {
        startRecording();
        event->accept();
    } else {
        QFrame::keyPressEvent(event);
    }
}

void MZRecorderControl::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QFrame::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    startRecording();
}

void MZRecorderControl::focusOutEvent(QFocusEvent *event) {
    QFrame::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason) stopRecording();
}

void MZRecorderControl::record(const QKeyEvent &event) {
    const std::optional<KeyCombo> candidate = keyComboForEvent(event);
    // A modifier alone, or a key we cannot name, keeps the field waiting for a real key.
    if (!candidate || isModifierKeyCode(uint16_t(candidate->code))) return;
    if (candidate->code == EscapeKeyCode && !m_escapeKeysRecord) {
        stopRecording();
        return;
    }
    if (isRefused(*candidate)) {
        refresh();
        QApplication::beep();
        return;
    }
    stopRecording();
    changeKeyCombo(*candidate);
}

bool MZRecorderControl::isRefused(KeyCombo candidate) {
    m_refusal.clear();
    if (!m_allowsKeyOnly && (candidate.flags & CommandLikeFlags) == 0) {
        m_refusal = tr("Hold Control, Alt or Super");
        return true;
    }
    if (m_delegate &&
        m_delegate->isKeyCodeTaken(this, candidate.code, candidate.flags, &m_refusal)) {
        if (m_refusal.isEmpty()) m_refusal = tr("Already in use");
        return true;
    }
    return false;
}

void MZRecorderControl::stopRecording() {
    if (m_recording) qApp->removeEventFilter(this);
    m_recording = false;
    m_refusal.clear();
    refresh();
}

void MZRecorderControl::changeKeyCombo(KeyCombo keyCombo) {
    if (keyCombo == m_keyCombo) return;
    m_keyCombo = keyCombo;
    refresh();
    if (m_delegate) m_delegate->keyComboDidChange(this, keyCombo);
    emit keyComboChanged(keyCombo);
}

void MZRecorderControl::refresh() {
    m_label->setTextFormat(Qt::PlainText);
    m_label->setText(displayText());
    if (m_modifiersIgnored && !m_recording && m_keyCombo.code >= 0 && m_keyCombo.flags != 0)
        showModifiersGreyed();
    QFont font = m_label->font();
    font.setItalic(m_recording || m_keyCombo.code < 0);
    m_label->setFont(font);
    // Recording shows as a highlighted field, so it is plain which one takes the next key.
    setAutoFillBackground(m_recording);
    setBackgroundRole(m_recording ? QPalette::Highlight : QPalette::NoRole);
    m_label->setForegroundRole(m_recording ? QPalette::HighlightedText : QPalette::WindowText);
    // A clear button that goes grey hands the focus back to its field, not to the next one.
    if (m_keyCombo.code < 0 && m_clearButton->hasFocus()) setFocus(Qt::OtherFocusReason);
    m_clearButton->setEnabled(m_keyCombo.code >= 0);
}

void MZRecorderControl::showModifiersGreyed() {
    const QString text = displayText();
    const QString key = VirtualKeyTable::name(uint16_t(m_keyCombo.code));
    const QString grey = palette().color(QPalette::Disabled, QPalette::WindowText).name();
    m_label->setTextFormat(Qt::RichText);
    m_label->setText(QStringLiteral("<span style=\"color:%1\">%2</span>%3")
                         .arg(grey, text.chopped(key.size()).toHtmlEscaped(), key.toHtmlEscaped()));
}
