#include "update/VersionComparison.h"

#include <QStringList>

#include <algorithm>
#include <limits>

namespace {

int leadingIntValue(QStringView piece) {
    constexpr qint64 Largest = std::numeric_limits<int>::max();
    constexpr qint64 Smallest = std::numeric_limits<int>::min();
    qsizetype i = 0;
    while (i < piece.size() && piece[i].isSpace()) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == u'+' || piece[i] == u'-')) negative = piece[i++] == u'-';
    qint64 magnitude = 0;
    for (; i < piece.size() && piece[i] >= u'0' && piece[i] <= u'9'; ++i)
        magnitude = std::min(magnitude * 10 + (piece[i].unicode() - u'0'), Largest + 1);
    return int(std::clamp(negative ? -magnitude : magnitude, Smallest, Largest));
}

}  // namespace

bool isNewerVersion(const QString &current, const QString &latest) {
    if (latest.isNull()) return false;
    const QStringList currentPieces = current.split(u'.');
    const QStringList latestPieces = latest.split(u'.');
    for (qsizetype i = 0; i < latestPieces.size(); ++i) {
        const int l = leadingIntValue(latestPieces[i]);
        if (i >= currentPieces.size()) {
            if (l > 0) return true;
            continue;
        }
        const int c = leadingIntValue(currentPieces[i]);
        if (c != l) return c < l;
    }
    return false;
}

QString versionLabelText(const QString &current, const QString &latest) {
    QString text = QStringLiteral(u"当前版本：") + current;
    if (!latest.isNull()) text += QStringLiteral(u" 最新版本：") + latest;
    return text;
}
