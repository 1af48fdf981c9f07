#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <map>
#include <optional>
#include <vector>

#include "keymap/KeyPair.h"

class QSettings;

// Saves and restores the pair list's rows in the settings group SettingsGroup as text a
// person can read and edit: one line for each row that holds something, numbered by its
// place in the list from 1, the key and its replacement written as the slots write keys
// ("1=Caps Lock>Escape", "2=Q>" for a half-filled row). A row whose text names no key is
// handed back as that text, to be written back while the row stays empty; lines that are no
// row's are left alone.
class PairStore {
public:
    static const QString SettingsGroup;
    // A row number beyond this is no row's, so a hand-edited file cannot make a huge list.
    static constexpr int MaximumRows = 100;

    struct Row {
        KeyPair pair;
        // The text of a row that names no key; null for the others.
        QString unreadable;
    };
    struct Stored {
        // By place in the list, from 0.
        std::map<int, Row> rows;
        // The group's lines that are no row's, as "key=text".
        QStringList strays;
    };

    static QString format(const KeyPair &pair);
    // None when the text is no "key>replacement" or names no key on either side; an empty
    // text is an empty row.
    static std::optional<KeyPair> parse(QStringView text);

    static Stored load(QSettings &settings);
    // Every row of the list, in order.
    static void save(QSettings &settings, const std::vector<Row> &rows);
};
