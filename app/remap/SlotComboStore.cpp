#include "remap/SlotComboStore.h"

#include <QSettings>
#include <QVariantList>
#include <QVariantMap>

#include "recorder/KeyComboText.h"

const QString SlotComboStore::SettingsGroup = QStringLiteral("slots");
const QString SlotComboStore::LegacySettingsKey = QStringLiteral("slotKeyCombos");
const QStringList SlotComboStore::SlotKeys = {
    QStringLiteral("keypad1"), QStringLiteral("keypad2"), QStringLiteral("keypad4"),
    QStringLiteral("keypad5"), QStringLiteral("keypad7"), QStringLiteral("keypad8"),
};

namespace {

const QString FlagsKey = QStringLiteral("flags");
const QString CodeKey = QStringLiteral("code");

bool isInteger(const QVariant &value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

std::optional<KeyCombo> parseLegacyCombo(const QVariant &stored) {
    if (stored.typeId() != QMetaType::QVariantMap) return std::nullopt;
    const QVariantMap map = stored.toMap();
    const QVariant flags = map.value(FlagsKey);
    const QVariant code = map.value(CodeKey);
    if (!isInteger(flags) || !isInteger(code)) return std::nullopt;
    const KeyCombo combo{flags.toULongLong(), code.toLongLong()};
    // A key code is 16 bits wide; -1 is the empty combination.
    if (combo.code < -1 || combo.code > 0xFFFF) return std::nullopt;
    return combo;
}

std::optional<SlotCombos> parseLegacyCombos(const QVariant &stored) {
    if (stored.typeId() != QMetaType::QVariantList) return std::nullopt;
    const QVariantList list = stored.toList();
    SlotCombos combos;
    if (list.size() != qsizetype(combos.size())) return std::nullopt;
    for (size_t i = 0; i < combos.size(); ++i) {
        const auto combo = parseLegacyCombo(list[qsizetype(i)]);
        if (!combo) return std::nullopt;
        combos[i] = *combo;
    }
    return combos;
}

std::optional<SlotComboStore::Stored> loadLegacy(QSettings &settings) {
    const QVariant stored = settings.value(SlotComboStore::LegacySettingsKey);
    if (!stored.isValid()) return std::nullopt;
    auto combos = parseLegacyCombos(stored);
    if (!combos) {
        // Left where it is: a person may still want to look at it.
        qWarning("Ignoring the saved slot keys: the value under \"%s\" is damaged",
                 qPrintable(SlotComboStore::LegacySettingsKey));
        return std::nullopt;
    }
    SlotComboStore::save(settings, *combos);
    settings.remove(SlotComboStore::LegacySettingsKey);
    return SlotComboStore::Stored{*combos, {}, {}};
}

// An unquoted comma in a hand-edited file makes QSettings read a list.
QString slotText(const QVariant &value) { return value.toStringList().join(u','); }

}  // namespace

std::optional<SlotComboStore::Stored> SlotComboStore::load(QSettings &settings) {
    settings.beginGroup(SettingsGroup);
    const QStringList keys = settings.childKeys();
    Stored stored;
    for (size_t i = 0; !keys.isEmpty() && i < stored.combos.size(); ++i) {
        const QString text = slotText(settings.value(SlotKeys[qsizetype(i)]));
        const auto combo = KeyComboText::parse(text);
        if (!combo) {
            qWarning("Ignoring the saved key of %s/%s: \"%s\" names no key",
                     qPrintable(SettingsGroup), qPrintable(SlotKeys[qsizetype(i)]),
                     qPrintable(text));
            stored.unreadable[i] = text;
        }
        stored.combos[i] = combo.value_or(KeyCombo{});
    }
    // QSettings lists a line without a name but cannot read it.
    for (const QString &key : keys)
        if (!key.isEmpty() && !SlotKeys.contains(key))
            stored.strays << key + QLatin1Char('=') + slotText(settings.value(key));
    settings.endGroup();
    if (!keys.isEmpty()) return stored;
    return loadLegacy(settings);
}

void SlotComboStore::save(QSettings &settings, const SlotCombos &combos,
                          const UnreadableTexts &unreadable) {
    settings.beginGroup(SettingsGroup);
    for (size_t i = 0; i < combos.size(); ++i) {
        const bool keep = combos[i].code < 0 && !unreadable[i].isNull();
        settings.setValue(SlotKeys[qsizetype(i)],
                          keep ? unreadable[i] : KeyComboText::format(combos[i]));
    }
    settings.endGroup();
}
