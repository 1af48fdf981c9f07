#include "remap/SlotComboStore.h"

#include <QSettings>
#include <QVariantList>
#include <QVariantMap>

const QString SlotComboStore::SettingsKey = QStringLiteral("slotKeyCombos");

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

std::optional<KeyCombo> parseCombo(const QVariant &stored) {
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

std::optional<SlotCombos> parseCombos(const QVariant &stored) {
    if (stored.typeId() != QMetaType::QVariantList) return std::nullopt;
    const QVariantList list = stored.toList();
    SlotCombos combos;
    if (list.size() != qsizetype(combos.size())) return std::nullopt;
    for (size_t i = 0; i < combos.size(); ++i) {
        const auto combo = parseCombo(list[qsizetype(i)]);
        if (!combo) return std::nullopt;
        combos[i] = *combo;
    }
    return combos;
}

}  // namespace

std::optional<SlotCombos> SlotComboStore::load(const QSettings &settings) {
    const QVariant stored = settings.value(SettingsKey);
    if (!stored.isValid()) return std::nullopt;
    auto combos = parseCombos(stored);
    if (!combos)
        qWarning("Ignoring the saved slot keys: the value under \"%s\" is damaged",
                 qPrintable(SettingsKey));
    return combos;
}

void SlotComboStore::save(QSettings &settings, const SlotCombos &combos) {
    QVariantList list;
    for (const KeyCombo &combo : combos)
        list.append(QVariantMap{{FlagsKey, QVariant::fromValue<qulonglong>(combo.flags)},
                                {CodeKey, QVariant::fromValue<qlonglong>(combo.code)}});
    settings.setValue(SettingsKey, list);
}
