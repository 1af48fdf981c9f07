#include "json/KeyPool.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyPool, OneCopyOfEachTextThatOutlivesTheKeyItCameFrom) {
    QString pooled;
    {
        const QString key = QStringLiteral("screen_") + QString::number(42);
        pooled = KeyPool::intern(key);
    }
    EXPECT_EQ(pooled, QStringLiteral("screen_42"));
    const QString again = KeyPool::intern(QStringLiteral("screen_") + QString::number(42));
    EXPECT_EQ(again.constData(), pooled.constData());
    EXPECT_TRUE(KeyPool::intern(QStringLiteral("")).isEmpty());
}

TEST(KeyPool, PastTheBoundKeysStayOrdinaryStrings) {
    const QString longKey(qsizetype(KeyPool::MaximumUnits) + 1, QLatin1Char('k'));
    const QString kept = KeyPool::intern(longKey);
    EXPECT_EQ(kept, longKey);
    EXPECT_EQ(kept.constData(), longKey.constData());
}

}  // namespace
