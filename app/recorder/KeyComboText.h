#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

#include "keymap/KeyCombo.h"

// A key combination as Linux desktops write it: "Shift+A", "Ctrl+S", "Super+Ctrl+Alt+Shift+F5",
// "Keypad 4", "Key 105" for a key without a name. Modifiers come first, always in that order;
// only Super, Ctrl, Alt and Shift are written, the only ones the recorder sets. The empty
// combination is the empty text. parse() reads back everything format() writes, and what a
// person may type instead: any letter case, "Control" and "Meta", spaces around "+", names
// without their spaces ("CapsLock").
class KeyComboText {
public:
    static QString format(KeyCombo keyCombo);
    // None when the text names no key or an unknown modifier.
    static std::optional<KeyCombo> parse(QStringView text);
    // What the window says of lines of the settings file's `group` whose text it cannot read
    // and keeps as they are ("key=text" each); empty when there are none.
    static QString unreadableNote(const QString &group, const QStringList &lines);
};
