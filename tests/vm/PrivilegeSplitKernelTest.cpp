// Velmora's two halves on a real kernel: a stand-in for Velmora (VelmoraTapPerson) started as
// root for the unprivileged user of the test virtual machine, a fake keyboard, and what other
// programs see of it and of the virtual keyboard while the person's side is stopped, resumed
// and killed.
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "tests/support/ProcessStatus.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr char VelmoraUid[] = "1000";

// How long the condition took to hold, or -1 when it did not within the limit.
qint64 within(std::chrono::milliseconds limit, const std::function<bool()> &condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count()) return -1;
        std::this_thread::sleep_for(10ms);
    }
    return timer.elapsed();
}

class PrivilegeSplitKernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0 || access("/dev/uinput", W_OK) != 0 || access("/dev/uhid", W_OK) != 0)
            GTEST_SKIP() << "needs root, /dev/uinput and /dev/uhid";
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
        ASSERT_GE(within(10s, [&] { return taken(); }), 0) << "the keyboard was not taken";
        const QString node = EventNodeReader::nodeNamed(
            QString::fromLatin1(LinuxBrokerDevices::VirtualKeyboardName));
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
    // Taps Q until the virtual keyboard shows `expected`.
    qint64 qBecomes(uint16_t expected, std::chrono::milliseconds limit) {
        output->tracker().clear();
        return within(limit, [&] {
            keyboard->tap(KEY_Q);
            std::this_thread::sleep_for(50ms);
            output->drain();
            return output->tracker().everPressed(expected);
        });
    }
    // Where the descriptors of a process lead.
    static QStringList openFiles(qint64 pid) {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        QStringList targets;
        for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
            targets << QFileInfo(fds.filePath(fd)).symLinkTarget();
        return targets;
    }

    std::unique_ptr<FakeKeyboard> keyboard;
    QProcess person;
    qint64 broker = 0;
    std::unique_ptr<EventNodeReader> output;
};

TEST_F(PrivilegeSplitKernelTest, TheWindowsSideHoldsNoDeviceAndOnlyTheBrokerRunsAsRoot) {
    EXPECT_GE(qBecomes(KEY_KP4, 5s), 0) << "nothing is remapped";
    const QStringList held = openFiles(person.processId());
    ASSERT_FALSE(held.isEmpty());
    for (const QString &target : held)
        EXPECT_FALSE(target.startsWith(QStringLiteral("/dev/input")) ||
                     target == QStringLiteral("/dev/uinput") ||
                     target == QStringLiteral("/dev/uhid"))
            << target.toStdString();
    EXPECT_TRUE(openFiles(broker).contains(keyboard->devnode())) << "the broker holds it";

    EXPECT_EQ(ProcessStatus::field(person.processId(), QStringLiteral("Uid")).split('\t'),
              QStringList(4, QString::fromLatin1(VelmoraUid)));
    EXPECT_EQ(ProcessStatus::field(broker, QStringLiteral("Uid")).split('\t'),
              QStringList(4, QStringLiteral("0")));
    for (const char *set : {"CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"})
        EXPECT_EQ(ProcessStatus::field(broker, QString::fromLatin1(set)),
                  QStringLiteral("0000000000000000"))
            << set;
    EXPECT_EQ(ProcessStatus::field(broker, QStringLiteral("NoNewPrivs")), QStringLiteral("1"));
    EXPECT_NE(ProcessStatus::sessionOf(broker), ProcessStatus::sessionOf(person.processId()))
        << "a terminal's Ctrl+Z would reach the broker";
}

// Stopped, the person's side cannot say what is in front any more: within about a second the
// broker stops remapping, and keys go on flowing through it unchanged. Resumed, it remaps again.
TEST_F(PrivilegeSplitKernelTest, StoppedTheKeysFlowUnchangedResumedTheyAreRemappedAgain) {
    ASSERT_GE(qBecomes(KEY_KP4, 5s), 0);
    ASSERT_EQ(::kill(pid_t(person.processId()), SIGSTOP), 0);
    const qint64 plain = qBecomes(KEY_Q, 3s);
    EXPECT_GE(plain, 0) << "still remapped";
    std::printf("remapping stopped %lld ms after the person's side\n", (long long)plain);
    EXPECT_TRUE(taken()) << "the keys go through the broker";
    ASSERT_EQ(::kill(pid_t(person.processId()), SIGCONT), 0);
    EXPECT_GE(qBecomes(KEY_KP4, 5s), 0) << "not remapped again";
}

TEST_F(PrivilegeSplitKernelTest, KilledTheBrokerLetsGoAndEnds) {
    keyboard->press(KEY_A);
    ASSERT_GE(within(5s,
                     [&] {
                         output->drain();
                         return output->tracker().isDown(KEY_A);
                     }),
              0);
    person.kill();
    ASSERT_TRUE(person.waitForFinished());
    EXPECT_GE(within(3s, [&] { return !taken(); }), 0) << "the keyboard stayed grabbed";
    // Ended, or a zombie nobody collects in this minimal machine.
    EXPECT_GE(within(3s,
                     [&] {
                         const QString state =
                             ProcessStatus::field(broker, QStringLiteral("State"));
                         return state.isEmpty() || state.startsWith(QLatin1Char('Z'));
                     }),
              0)
        << "the broker outlived the person's side";
    keyboard->release(KEY_A);
}

}  // namespace
