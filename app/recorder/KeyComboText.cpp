#include "recorder/KeyComboText.h"

#include "keymap/ModifierFlags.h"
#include "recorder/VirtualKeyTable.h"

#include <QCoreApplication>

namespace {

struct ModifierName {
    uint64_t flag;
    const char *name;
};

// In the order they are written; the aliases after them are only read.
constexpr ModifierName ModifierNames[] = {
    {ModifierFlags::Command, "Super"},   {ModifierFlags::Control, "Ctrl"},
    {ModifierFlags::Alternate, "Alt"},   {ModifierFlags::Shift, "Shift"},
    {ModifierFlags::Control, "Control"}, {ModifierFlags::Command, "Meta"},
};
constexpr size_t WrittenModifiers = 4;

std::optional<uint64_t> modifierFlag(QStringView name) {
    for (const ModifierName &modifier : ModifierNames)
        if (name.compare(QLatin1String(modifier.name), Qt::CaseInsensitive) == 0)
            return modifier.flag;
    return std::nullopt;
}

}  // namespace

QString KeyComboText::format(KeyCombo keyCombo) {
    if (keyCombo.code < 0) return {};
    QString text;
    for (size_t i = 0; i < WrittenModifiers; ++i)
        if (keyCombo.flags & ModifierNames[i].flag)
            text += QLatin1String(ModifierNames[i].name) + QLatin1Char('+');
    return text + VirtualKeyTable::name(uint16_t(keyCombo.code));
}

std::optional<KeyCombo> KeyComboText::parse(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty()) return KeyCombo{};
    KeyCombo combo{0, -1};
    // Modifiers are taken off the front one by one; what is left names the key, which may
    // itself hold a "+" ("Keypad +").
    for (qsizetype plus = text.indexOf(QLatin1Char('+')); plus > 0;
         plus = text.indexOf(QLatin1Char('+'))) {
        const auto flag = modifierFlag(text.left(plus).trimmed());
        if (!flag) break;
        combo.flags |= *flag;
        text = text.mid(plus + 1).trimmed();
    }
    const auto code = VirtualKeyTable::fromName(text);
    if (!code) return std::nullopt;
    combo.code = *code;
    return combo;
}

QString KeyComboText::unreadableNote(const QString &group, const QStringList &lines) {
    if (lines.isEmpty()) return {};
    return QCoreApplication::translate("KeyComboText",
                                       "Velmora cannot read these lines of [%1] in its settings "
                                       "file and keeps them as they are: %2")
        .arg(group, lines.join(QStringLiteral("; ")));
}
