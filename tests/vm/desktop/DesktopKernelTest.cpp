// The keys the game and the person's other applications read while the keyboard tap works,
// three layers above the kernel: Xorg reads the machine's keyboards through libinput, the
// game's Win32 stand-in runs under Wine, and X11KeyLog plays the other application. Runs in
// the desktop test machine (desktop-scenario.sh starts X and the game); the tap is the
// program VELMORA_DESKTOP_TAP names, which does what DesktopTapPerson does.
#include "platform/linux/broker/LinuxBrokerDevices.h"
#include "tests/vm/EventNodeReader.h"
#include "tests/vm/FakeKeyboard.h"
#include "tests/vm/desktop/X11KeyLog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr char GameTitle[] = "Warcraft III";
// The slot keys, and the virtual keys the game must get for them: VK_NUMPAD7, 8, 4, 5, 1, 2.
constexpr uint16_t SlotKeys[] = {KEY_Q, KEY_W, KEY_A, KEY_S, KEY_Z, KEY_X};
constexpr const char *SlotVirtualKeys[] = {"0x67", "0x68", "0x64", "0x65", "0x61", "0x62"};
constexpr char NumLockVirtualKey[] = "0x90";
constexpr char ShiftVirtualKey[] = "0x10";
constexpr char StallStatus[] = "status Keyboards released: Velmora stopped responding";

bool within(std::chrono::milliseconds limit, const std::function<bool()> &condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limit.count()) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Where a character sits on a US keyboard: its key, and whether Shift is held for it.
std::pair<uint16_t, bool> usKey(char c) {
    static const QByteArray plain[] = {"1234567890-=", "qwertyuiop[]", "asdfghjkl;'", "zxcvbnm,./"};
    static const QByteArray shifted[] = {"!@#$%^&*()_+", "QWERTYUIOP{}", "ASDFGHJKL:\"",
                                         "ZXCVBNM<>?"};
    static constexpr uint16_t first[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    for (int row = 0; row < 4; ++row) {
        if (const qsizetype at = plain[row].indexOf(c); at >= 0) return {first[row] + at, false};
        if (const qsizetype at = shifted[row].indexOf(c); at >= 0) return {first[row] + at, true};
    }
    return {KEY_SPACE, false};
}

class DesktopKernelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const QByteArray display = qgetenv("DISPLAY");
        if (!within(60s, [&] {
                keyLog = std::make_unique<X11KeyLog>(display);
                return keyLog->isReady();
            })) {
            skipReason = "no X server with the keyboard extension at " + display.toStdString();
            return;
        }
        QElapsedTimer wine;
        wine.start();
        // Wine takes a minute or two to start in an emulated machine.
        if (!within(300s, [] {
                return gameLines().contains(QStringLiteral("ready")) &&
                       (game = keyLog->windowNamed(GameTitle)) != XCB_NONE;
            }))
            skipReason = "the game's stand-in did not start under Wine in 300 s";
        std::printf("the game's window came after %lld s\n", wine.elapsed() / 1000);
        std::fflush(stdout);
    }
    static void TearDownTestSuite() { keyLog.reset(); }

    void SetUp() override {
        if (!skipReason.empty()) GTEST_SKIP() << skipReason;
        keyboard = std::make_unique<FakeKeyboard>();
        ASSERT_TRUE(keyboard->isValid());
        startTap();
    }
    void TearDown() override {
        quitTap();
        keyboard.reset();
    }

    void startTap() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PKEXEC_UID"), QStringLiteral("1000"));
        tap.setProcessEnvironment(environment);
        tap.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tap.start(qEnvironmentVariable("VELMORA_DESKTOP_TAP"), {});
        ASSERT_TRUE(tapSays("ready", 30s)) << "the tap did not start";
        ASSERT_TRUE(tapping());
        keyLog->bringToFront(keyLog->window());
        ASSERT_TRUE(sendUntilHeard([&] {
            keyLog->drain();
            return keyLog->pressed().contains(QStringLiteral("Shift_L"));
        })) << "X does not hear the tap's virtual keyboard";
    }
    // Under emulation the tap's main thread may stall for long enough that the tap lets the
    // keyboards go for a moment, as it must: keys then reach X untouched and the case tells
    // nothing. `act` gathers what a case judges; it runs again, with a fresh tap, while the
    // tap says it stalled (a tap that says nothing of it gets one run).
    void withoutStall(const std::function<void()> &act) {
        for (int attempt = 1;; ++attempt) {
            const qsizetype mark = tapLines.size();
            act();
            readTap();
            const bool stalled = tapLines.mid(mark).join(QLatin1Char('\n')).contains(StallStatus);
            if (!stalled || attempt == 3) return;
            restartTap();
        }
    }
    ::testing::AssertionResult tapping() {
        if (within(10s, [&] { return !EventNodeReader(keyboard->devnode()).tryGrab(); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the keyboard was not taken";
    }
    void quitTap() {
        if (tap.state() == QProcess::NotRunning) return;
        tap.terminate();
        EXPECT_TRUE(tap.waitForFinished(10000)) << "the tap did not quit";
    }
    void restartTap() {
        quitTap();
        keyboard = std::make_unique<FakeKeyboard>();
        startTap();
    }
    void readTap() {
        while (tap.canReadLine()) tapLines << QString::fromUtf8(tap.readLine().trimmed());
    }
    // Waits for the tap to say a line that begins with `prefix`, after those waited for.
    bool tapSays(const char *prefix, std::chrono::milliseconds limit = 10s) {
        return within(limit, [&] {
            tap.waitForReadyRead(20);
            readTap();
            while (tapHeard < tapLines.size())
                if (tapLines[tapHeard++].startsWith(QLatin1String(prefix))) return true;
            return false;
        });
    }
    void tapCommand(const char *command) {
        tap.write(QByteArray(command) + '\n');
        ASSERT_TRUE(tapSays((QByteArray("switch ") + command).constData()));
    }

    // X adds a keyboard, and Wine activates its window, in their own time: keys typed before
    // are lost. Shift, which nothing remaps, is sent until the window in front hears it.
    bool sendUntilHeard(const std::function<bool()> &heard) {
        return within(60s, [&] {
            keyboard->tap(KEY_LEFTSHIFT);
            return within(500ms, heard);
        });
    }
    void bringGameToFront() {
        keyLog->bringToFront(game);
        ASSERT_TRUE(tapSays("front Warcraft III")) << "the tap does not see the game in front";
        const qsizetype mark = gameLines().size();
        ASSERT_TRUE(sendUntilHeard([&] { return gameLines().mid(mark).contains(shiftUp()); }))
            << "the game hears no key";
    }
    static QString shiftUp() { return QStringLiteral("up ") + ShiftVirtualKey; }

    static QStringList gameLines() {
        QFile log(qEnvironmentVariable("VELMORA_GAME_LOG"));
        if (!log.open(QIODevice::ReadOnly)) return {};
        // Written in text mode, so with the line ends of Windows.
        return QString::fromLatin1(log.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }
    // The game's key messages after the first `mark` lines, but for NumLock, which Wine sends
    // to follow X's lock, and Shift, which the tests send.
    static QStringList gameKeys(qsizetype mark) {
        QStringList keys = gameLines().mid(mark);
        keys.removeIf([](const QString &line) {
            return line.contains(QLatin1String(NumLockVirtualKey)) ||
                   line.contains(QLatin1String(ShiftVirtualKey));
        });
        return keys;
    }

    // X's NumLock and the LEDs of the keyboard and, while it exists, of the virtual one.
    bool numLockEverywhere(bool on) {
        return within(5s, [&] {
            const QString virtualNode =
                EventNodeReader::nodeNamed(LinuxBrokerDevices::VirtualKeyboardName);
            return keyLog->numLock() == on && keyboard->ledOn(LED_NUML) == on &&
                   (virtualNode.isEmpty() || EventNodeReader::ledOn(virtualNode, LED_NUML) == on);
        });
    }
    // The person's NumLock, typed in the other application.
    void setPersonNumLock(bool on) {
        keyLog->bringToFront(keyLog->window());
        if (keyLog->numLock() != on) keyboard->tap(KEY_NUMLOCK);
        ASSERT_TRUE(numLockEverywhere(on));
    }

    // Typed as a person types, one key after the other has arrived.
    void typeInKeyLog(const QByteArray &text) {
        for (const char c : text) {
            const auto [key, shift] = usKey(c);
            typeInKeyLog(key, shift);
        }
    }
    void typeInKeyLog(uint16_t key, bool shift = false) {
        const qsizetype before = keyLog->pressed().size();
        if (shift) keyboard->press(KEY_LEFTSHIFT);
        keyboard->tap(key);
        if (shift) keyboard->release(KEY_LEFTSHIFT);
        within(5s, [&] {
            keyLog->drain();
            return keyLog->pressed().size() > before + (shift ? 1 : 0);
        });
    }

    static inline std::unique_ptr<X11KeyLog> keyLog;
    static inline xcb_window_t game = XCB_NONE;
    static inline std::string skipReason;
    std::unique_ptr<FakeKeyboard> keyboard;
    QProcess tap;
    QStringList tapLines;
    qsizetype tapHeard = 0;
};

TEST_F(DesktopKernelTest, SlotKeysReachTheGameAsKeypadDigitsUntilRemappingStops) {
    QStringList digits;
    for (const char *key : SlotVirtualKeys)
        digits << QStringLiteral("down ") + key << QStringLiteral("up ") + key;
    const std::pair<const char *, std::function<void()>> stops[] = {
        {"switch off", [&] { tapCommand("off"); }},
        {"another window in front", [&] { keyLog->bringToFront(keyLog->window()); }},
        {"quit", [&] { quitTap(); }},
    };
    for (const bool numLock : {false, true}) {
        for (const auto &[stop, stopRemapping] : stops) {
            SCOPED_TRACE(std::string(numLock ? "NumLock on, " : "NumLock off, ") + stop);
            QStringList keys;
            bool numLockBack = false;
            withoutStall([&] {
                setPersonNumLock(numLock);
                bringGameToFront();
                ASSERT_TRUE(tapping());
                const qsizetype mark = gameLines().size();
                for (const uint16_t key : SlotKeys) keyboard->tap(key);
                within(20s, [&] { return gameKeys(mark).size() >= digits.size(); });
                keys = gameKeys(mark);
                stopRemapping();
                numLockBack = numLockEverywhere(numLock);
            });
            EXPECT_EQ(keys, digits);
            EXPECT_TRUE(numLockBack) << "the person's NumLock is not back";
            if (tap.state() == QProcess::NotRunning)
                startTap();
            else
                tapCommand("on");
        }
    }
}

// Shift would make them keypad keys' other keys (Home, Left...): they reach the game as digits
// all the same, as they do with any other modifier held.
TEST_F(DesktopKernelTest, SlotKeysWithShiftHeldReachTheGameAsKeypadDigits) {
    QStringList digits, keys;
    for (const char *key : SlotVirtualKeys)
        digits << QStringLiteral("down ") + key << QStringLiteral("up ") + key;
    withoutStall([&] {
        setPersonNumLock(true);
        bringGameToFront();
        ASSERT_TRUE(tapping());
        const qsizetype mark = gameLines().size();
        keyboard->press(KEY_LEFTSHIFT);
        for (const uint16_t key : SlotKeys) keyboard->tap(key);
        keyboard->release(KEY_LEFTSHIFT);
        within(20s, [&] { return gameKeys(mark).size() >= digits.size(); });
        keys = gameKeys(mark);
    });
    EXPECT_EQ(keys, digits);
}

TEST_F(DesktopKernelTest, HeldSlotKeyRepeatsAsItsDigit) {
    const QString down = QStringLiteral("down ") + SlotVirtualKeys[0],
                  up = QStringLiteral("up ") + SlotVirtualKeys[0], repeat = down + " repeat";
    QStringList keys;
    withoutStall([&] {
        setPersonNumLock(false);
        bringGameToFront();
        ASSERT_TRUE(tapping());
        const qsizetype mark = gameLines().size();
        keyboard->press(SlotKeys[0]);
        within(20s, [&] { return gameKeys(mark).count(repeat) >= 3; });
        keyboard->release(SlotKeys[0]);
        within(10s, [&] { return gameKeys(mark).contains(up); });
        keys = gameKeys(mark);
    });
    EXPECT_GE(keys.removeAll(repeat), 3);
    EXPECT_EQ(keys, QStringList({down, up}));
}

TEST_F(DesktopKernelTest, TypingElsewhereIsWhatWasTyped) {
    setPersonNumLock(true);
    keyLog->clear();
    const QByteArray text = "Velmora, qwaszx QWASZX! (0123456789) -=[];',./";
    typeInKeyLog(text);
    for (const uint16_t key : {KEY_KP7, KEY_KP8, KEY_KP4, KEY_KP5, KEY_KP1, KEY_KP2, KEY_KP0,
                               KEY_KPDOT, KEY_KPPLUS, KEY_KPMINUS, KEY_KPASTERISK, KEY_KPSLASH})
        typeInKeyLog(key);
    EXPECT_EQ(keyLog->text(), text + "7845120.+-*/")
        << keyLog->pressed().join(QLatin1Char(' ')).toStdString();
}

TEST_F(DesktopKernelTest, NoKeyLeftDownAtX) {
    const std::pair<const char *, std::function<void()>> ends[] = {
        {"unplug", [&] { keyboard->unplug(); }},
        {"panic",
         [&] {
             for (uint16_t key : {KEY_BACKSPACE, KEY_ESC, KEY_ENTER}) keyboard->press(key);
         }},
        {"quit", [&] { quitTap(); }},
    };
    for (const auto &[end, endTapping] : ends) {
        SCOPED_TRACE(end);
        if (end != ends[0].first) restartTap();
        QList<int> held, left;
        withoutStall([&] {
            bringGameToFront();
            ASSERT_TRUE(tapping());
            // Ctrl, as Shift is held back at X while a remapped keypad key is down.
            for (const uint16_t key : {KEY_LEFTCTRL, KEY_Q, KEY_D}) keyboard->press(key);
            within(10s, [&] { return (held = keyLog->keysDown()).size() >= 3; });
            endTapping();
            within(5s, [&] { return (left = keyLog->keysDown()).isEmpty(); });
        });
        EXPECT_EQ(held.size(), 3) << "X does not hold the keys pressed";
        EXPECT_EQ(left, QList<int>()) << "key codes left down at X";
    }
}

}  // namespace
