#include "platform/linux/QuitSignalHandler.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>

namespace {

class QuitSignalHandlerTest : public ::testing::TestWithParam<int> {};

TEST_P(QuitSignalHandlerTest, SignalQuitsTheEventLoop) {
    QuitSignalHandler handler;
    QTimer::singleShot(0, [] { ::kill(::getpid(), GetParam()); });
    // Should the signal be lost, the loop ends with a distinct code instead of hanging.
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitSignalHandlerTest,
                         ::testing::Values(SIGTERM, SIGINT, SIGHUP));

}  // namespace
