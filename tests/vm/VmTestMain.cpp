// Test programs that run inside the test virtual machine: the tap works through the Qt
// event loop, so a QCoreApplication exists for the whole run.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
