#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

QString uniqueKey() {
    return QStringLiteral("velmora-test-") + QUuid::createUuid().toString(QUuid::Id128);
}

TEST(SingleInstance, FirstStartFindsNobodyAndLaterStartsHandOver) {
    const QString key = uniqueKey();
    SingleInstance first(key);
    EXPECT_FALSE(first.handOverToRunning(200));
    ASSERT_TRUE(first.listen());

    int reopens = 0;
    QObject::connect(&first, &SingleInstance::reopenRequested, [&] { ++reopens; });
    for (int start = 1; start <= 2; ++start) {
        SingleInstance later(key);
        EXPECT_TRUE(later.handOverToRunning());
        QElapsedTimer timer;
        timer.start();
        while (reopens < start && timer.elapsed() < 5000) QCoreApplication::processEvents();
        EXPECT_EQ(reopens, start);
    }
}

TEST(SingleInstance, AStaleSocketFromACrashedInstanceDoesNotBlockTheNextStart) {
    const QString key = uniqueKey();
    {
        SingleInstance crashed(key);
        ASSERT_TRUE(crashed.listen());
    }
    SingleInstance next(key);
    EXPECT_FALSE(next.handOverToRunning(200));
    EXPECT_TRUE(next.listen());
}

}  // namespace
