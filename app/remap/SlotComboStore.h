#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "keymap/RemapDecision.h"

class QSettings;

// Saves and restores the six slot combinations in the application's settings as text a
// person can read and edit, one key per slot in the group SettingsGroup, named after the
// keypad key the slot sends ("keypad7=Shift+Q"); an empty value is an empty slot. A slot
// whose text names no key is handed back as that text, to be written back while the slot
// stays empty; other lines of the group are left alone. Settings written before that hold
// a list of six {"flags", "code"} maps under LegacySettingsKey; load() reads them once and
// rewrites them in the text form.
class SlotComboStore {
public:
    static const QString SettingsGroup;
    static const QString LegacySettingsKey;
    // The keys of slot 1 to 6 inside SettingsGroup.
    static const QStringList SlotKeys;

    // The text of each slot that names no key (null for the others), in slot order.
    using UnreadableTexts = std::array<QString, 6>;
    struct Stored {
        SlotCombos combos;
        UnreadableTexts unreadable;
        // The group's lines that are no slot's, as "key=text".
        QStringList strays;
    };

    // None when nothing was saved, or when the earlier form is damaged (logged once). A slot
    // whose text names no key comes back empty, with a log line naming it.
    static std::optional<Stored> load(QSettings &settings);
    // An empty slot with an unreadable text gets that text back.
    static void save(QSettings &settings, const SlotCombos &combos,
                     const UnreadableTexts &unreadable = {});
};
