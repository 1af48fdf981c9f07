#include "pairs/PairStore.h"

#include <QSettings>

#include "recorder/KeyComboText.h"

const QString PairStore::SettingsGroup = QStringLiteral("pairs");

namespace {

constexpr QChar Separator = u'>';

// The place in the list a key stands for, from 0; none for a key that is no row number.
std::optional<int> rowIndex(const QString &key) {
    bool ok = false;
    const int number = key.toInt(&ok);
    if (!ok || number < 1 || number > PairStore::MaximumRows || key != QString::number(number))
        return std::nullopt;
    return number - 1;
}

// An unquoted comma in a hand-edited file makes QSettings read a list.
QString lineText(const QSettings &settings, const QString &key) {
    return settings.value(key).toStringList().join(u',');
}

}  // namespace

QString PairStore::format(const KeyPair &pair) {
    return KeyComboText::format(pair.key) + Separator + KeyComboText::format(pair.replacement);
}

std::optional<KeyPair> PairStore::parse(QStringView text) {
    if (text.trimmed().isEmpty()) return KeyPair{};
    const qsizetype separator = text.indexOf(Separator);
    if (separator < 0) return std::nullopt;
    const auto key = KeyComboText::parse(text.left(separator));
    const auto replacement = KeyComboText::parse(text.mid(separator + 1));
    if (!key || !replacement) return std::nullopt;
    return KeyPair{*key, *replacement};
}

PairStore::Stored PairStore::load(QSettings &settings) {
    Stored stored;
    settings.beginGroup(SettingsGroup);
    for (const QString &key : settings.childKeys()) {
        // QSettings lists a line without a name but cannot read it.
        if (key.isEmpty()) continue;
        const QString text = lineText(settings, key);
        const auto index = rowIndex(key);
        if (!index) {
            stored.strays << key + QLatin1Char('=') + text;
            continue;
        }
        const auto pair = parse(text);
        if (!pair)
            qWarning("Ignoring the saved pair %s/%s: \"%s\" names no key",
                     qPrintable(SettingsGroup), qPrintable(key), qPrintable(text));
        stored.rows[*index] = {pair.value_or(KeyPair{}), pair ? QString() : text};
    }
    settings.endGroup();
    return stored;
}

void PairStore::save(QSettings &settings, const std::vector<Row> &rows) {
    settings.beginGroup(SettingsGroup);
    for (const QString &key : settings.childKeys())
        if (rowIndex(key)) settings.remove(key);
    for (size_t i = 0; i < rows.size() && i < size_t(MaximumRows); ++i) {
        const Row &row = rows[i];
        const QString key = QString::number(i + 1);
        if (!row.pair.isEmpty())
            settings.setValue(key, format(row.pair));
        else if (!row.unreadable.isNull())
            settings.setValue(key, row.unreadable);
    }
    settings.endGroup();
}
