// Velmora's two halves on a real kernel: a stand-in for Velmora (VelmoraTapPerson) started as
// root for the unprivileged user of the test virtual machine, a fake keyboard, and what other
// programs see of it and of the virtual keyboard while the person's side is stopped, resumed
// and killed.
#include "platform/linux/UinputSink.h"
#include "tests/support/ProcessStatus.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr char VelmoraUid[] = "1000";

bool within(std::chrono::milliseconds limit, const std::function<bool()> &condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count()) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class PrivilegeSplitKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0 || access("/dev/uinput", W_OK) != 0)
            GTEST_SKIP() << "needs root and /dev/uinput";
        keyboard = std::make_unique<FakeKeyboard>();
        ASSERT_TRUE(keyboard->isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PKEXEC_UID"), QString::fromLatin1(VelmoraUid));
        person.setProcessEnvironment(env);
        person.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        person.start(QCoreApplication::applicationDirPath() + QStringLiteral("/VelmoraTapPerson"),
                     {});
        ASSERT_TRUE(person.waitForStarted());
        ASSERT_TRUE(person.waitForReadyRead(20000)) << "the person's side did not get ready";
        ASSERT_TRUE(within(10s, [&] { return taken(); })) << "the keyboard was not taken";
        const QString node = EventNodeReader::nodeNamed(UinputSink::DeviceName);
        ASSERT_FALSE(node.isEmpty());
        output = std::make_unique<EventNodeReader>(node);
        const QList<qint64> children = ProcessStatus::childrenOf(person.processId());
        ASSERT_EQ(children.size(), 1);
        broker = children.first();
    }
    void TearDown() override {
        if (person.state() == QProcess::NotRunning) return;
        ::kill(pid_t(person.processId()), SIGCONT);
        person.kill();
        person.waitForFinished();
    }

    bool taken() { return !EventNodeReader(keyboard->devnode()).tryGrab(); }
    bool outputHolds(uint16_t code) {
        output->drain();
        return output->tracker().isDown(code);
    }

    std::unique_ptr<FakeKeyboard> keyboard;
    QProcess person;
    qint64 broker = 0;
    std::unique_ptr<EventNodeReader> output;
};

TEST_F(PrivilegeSplitKernelTest, OnlyTheBrokerRunsAsRoot) {
    EXPECT_EQ(ProcessStatus::field(person.processId(), QStringLiteral("Uid")).split('\t'),
              QStringList(4, QString::fromLatin1(VelmoraUid)));
    EXPECT_EQ(ProcessStatus::field(broker, QStringLiteral("Uid")).split('\t'),
              QStringList(4, QStringLiteral("0")));
    EXPECT_NE(ProcessStatus::sessionOf(broker), ProcessStatus::sessionOf(person.processId()))
        << "a terminal's Ctrl+Z would reach the broker";
    keyboard->tap(KEY_Q);
    EXPECT_TRUE(within(5s, [&] {
        output->drain();
        return output->tracker().everPressed(KEY_KP4);
    })) << "the person's side does not remap";
}

TEST_F(PrivilegeSplitKernelTest, StoppedHandsTheKeyboardsBackResumedTakesThemAgain) {
    keyboard->press(KEY_A);
    ASSERT_TRUE(within(5s, [&] { return outputHolds(KEY_A); }));
    ASSERT_EQ(::kill(pid_t(person.processId()), SIGSTOP), 0);
    EXPECT_TRUE(within(3s, [&] { return !outputHolds(KEY_A); }))
        << "a key of the virtual keyboard stayed down";
    EXPECT_TRUE(within(3s, [&] { return !taken(); })) << "the keyboard stayed grabbed";
    EventNodeReader other(keyboard->devnode());
    keyboard->release(KEY_A);
    keyboard->tap(KEY_B);
    EXPECT_TRUE(within(2s, [&] {
        other.drain();
        return other.tracker().everPressed(KEY_B);
    })) << "another reader hears nothing";

    ASSERT_EQ(::kill(pid_t(person.processId()), SIGCONT), 0);
    EXPECT_TRUE(within(10s, [&] { return taken(); })) << "not taken back";
}

TEST_F(PrivilegeSplitKernelTest, KilledHandsTheKeyboardsBackAndTheBrokerEnds) {
    keyboard->press(KEY_A);
    ASSERT_TRUE(within(5s, [&] { return outputHolds(KEY_A); }));
    person.kill();
    ASSERT_TRUE(person.waitForFinished());
    EXPECT_TRUE(within(3s, [&] { return !taken(); })) << "the keyboard stayed grabbed";
    // Ended, or a zombie nobody collects in this minimal machine.
    EXPECT_TRUE(within(3s, [&] {
        const QString state = ProcessStatus::field(broker, QStringLiteral("State"));
        return state.isEmpty() || state.startsWith(QLatin1Char('Z'));
    })) << "the broker outlived the person's side";
    keyboard->release(KEY_A);
}

}  // namespace
