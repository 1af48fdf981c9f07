#pragma once

#include <QString>
#include <optional>

#include "remap/RemapDecision.h"

class QSettings;

// Saves and restores the six slot combinations in the application's settings, as a list
// of six {"flags", "code"} maps under SettingsKey.
class SlotComboStore {
public:
    static const QString SettingsKey;

    // None when nothing was saved, or when the saved value is damaged (logged once).
    static std::optional<SlotCombos> load(const QSettings &settings);
    static void save(QSettings &settings, const SlotCombos &combos);
};
