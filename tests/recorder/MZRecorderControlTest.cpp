#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <functional>

#include "recorder/MZRecorderControl.h"
#include "recorder/MZRecorderControlDelegate.h"

namespace {

constexpr uint64_t Shift = 1ull << 17;
constexpr uint64_t Control = 1ull << 18;
constexpr uint64_t Alternate = 1ull << 19;
constexpr int64_t Q = 12;
constexpr int64_t W = 13;

class RecordingDelegate : public MZRecorderControlDelegate {
public:
    bool isKeyCodeTaken(MZRecorderControl *, int64_t keyCode, uint64_t, QString *reason) override {
        if (keyCode != takenCode) return false;
        *reason = QStringLiteral("Used by slot 1");
        return true;
    }
    void keyComboDidChange(MZRecorderControl *, KeyCombo keyCombo) override {
        changes.push_back(keyCombo);
    }
    int64_t takenCode = -2;
    std::vector<KeyCombo> changes;
};

class MZRecorderControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder.setAllowsKeyOnly(true, true);
        recorder.show();
    }
    // Clicks the field and types one key.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(&recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder.isRecording());
        QTest::keyClick(&recorder, key, modifiers);
    }

    MZRecorderControl recorder;
};

TEST_F(MZRecorderControlTest, RecordsTheNextKeyWithItsModifiersAndShowsItsName) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        KeyCombo expected;
        const char *shown;
    } cases[] = {
        {Qt::Key_Q, Qt::NoModifier, {0, Q}, "Q"},
        {Qt::Key_Q, Qt::ShiftModifier, {Shift, Q}, "Shift+Q"},
        {Qt::Key_W, Qt::ControlModifier | Qt::AltModifier, {Control | Alternate, W}, "Ctrl+Alt+W"},
        {Qt::Key_4, Qt::KeypadModifier, {0, 86}, "Keypad 4"},
        {Qt::Key_4, Qt::NoModifier, {0, 0x15}, "4"},
        {Qt::Key_Tab, Qt::NoModifier, {0, 0x30}, "Tab"},
        {Qt::Key_F5, Qt::NoModifier, {0, 0x60}, "F5"},
    };
    for (const auto &c : cases) {
        type(c.key, c.modifiers);
        EXPECT_FALSE(recorder.isRecording()) << c.shown;
        EXPECT_EQ(recorder.keyCombo(), c.expected) << c.shown;
        EXPECT_EQ(recorder.displayText(), QString::fromUtf8(c.shown));
    }
}

TEST_F(MZRecorderControlTest, TheKeysPositionFromTheNativeScanCodeWins) {
    QTest::mouseClick(&recorder, Qt::LeftButton);
    // The key in Q's place on a French layout reports Qt::Key_A.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, KEY_Q + 8, 0, 0,
                    QStringLiteral("a"));
    QApplication::sendEvent(&recorder, &press);
    EXPECT_EQ(recorder.keyCombo(), (KeyCombo{0, Q}));
}

TEST_F(MZRecorderControlTest, AModifierAloneRecordsNothing) {
    for (Qt::Key modifier : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta}) {
        type(modifier);
        EXPECT_TRUE(recorder.isRecording());
        EXPECT_EQ(recorder.keyCombo(), KeyCombo{});
    }
    QTest::keyClick(&recorder, Qt::Key_Q, Qt::ShiftModifier);
    EXPECT_EQ(recorder.displayText(), QStringLiteral("Shift+Q"));
}

TEST_F(MZRecorderControlTest, ClearEmptiesTheFieldAndTellsItsOwners) {
    RecordingDelegate delegate;
    recorder.setDelegate(&delegate);
    std::vector<KeyCombo> signalled;
    QObject::connect(&recorder, &MZRecorderControl::keyComboChanged,
                     [&](KeyCombo combo) { signalled.push_back(combo); });
    type(Qt::Key_Q);
    auto *clearButton = recorder.findChild<QToolButton *>(QStringLiteral("clearButton"));
    ASSERT_NE(clearButton, nullptr);
    QTest::mouseClick(clearButton, Qt::LeftButton);
    EXPECT_EQ(recorder.keyCombo(), (KeyCombo{0, -1}));
    const std::vector<KeyCombo> expected = {{0, Q}, {0, -1}};
    EXPECT_EQ(delegate.changes, expected);
    EXPECT_EQ(signalled, expected);
    recorder.setKeyCombo({0, W});  // restoring is not a change by the person
    EXPECT_EQ(delegate.changes.size(), 2u);
    recorder.setDelegate(nullptr);
}

TEST_F(MZRecorderControlTest, KeyOnlyAndEscapeRules) {
    const KeyCombo before{Control, W};
    const struct {
        const char *what;
        bool keyOnly, escapeRecords;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        KeyCombo expected;
        bool stillRecording;
    } cases[] = {
        {"bare key refused", false, false, Qt::Key_Q, Qt::NoModifier, before, true},
        {"Shift is not enough", false, false, Qt::Key_Q, Qt::ShiftModifier, before, true},
        {"Control is", false, false, Qt::Key_Q, Qt::ControlModifier, {Control, Q}, false},
        {"bare key with key-only", true, false, Qt::Key_Q, Qt::NoModifier, {0, Q}, false},
        {"Escape cancels", true, false, Qt::Key_Escape, Qt::NoModifier, before, false},
        {"Escape cancels without key-only", false, false, Qt::Key_Escape, Qt::NoModifier, before,
         false},
        {"Escape records", true, true, Qt::Key_Escape, Qt::NoModifier, {0, 0x35}, false},
    };
    for (const auto &c : cases) {
        recorder.setKeyCombo(before);
        recorder.setAllowsKeyOnly(c.keyOnly, c.escapeRecords);
        type(c.key, c.modifiers);
        EXPECT_EQ(recorder.keyCombo(), c.expected) << c.what;
        EXPECT_EQ(recorder.isRecording(), c.stillRecording) << c.what;
    }
}

TEST_F(MZRecorderControlTest, ATakenCombinationIsRefusedWithItsReason) {
    RecordingDelegate delegate;
    delegate.takenCode = Q;
    recorder.setDelegate(&delegate);
    type(Qt::Key_Q);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.keyCombo(), KeyCombo{});
    EXPECT_EQ(recorder.displayText(), QStringLiteral("Used by slot 1"));
    QTest::keyClick(&recorder, Qt::Key_W);
    EXPECT_EQ(recorder.keyCombo(), (KeyCombo{0, W}));
    recorder.setDelegate(nullptr);
}

// A window with a recorder, a line edit and some bare background below them.
class MZRecorderControlInWindow : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = new MZRecorderControl(&window);
        other = new QLineEdit(&window);
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(other);
        layout->addWidget(recorder);
        layout->addSpacing(40);
        recorder->setAllowsKeyOnly(true, true);
        recorder->setKeyCombo({Shift, W});
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowActive(&window)) GTEST_SKIP() << "no window activation here";
    }

    QWidget window;
    MZRecorderControl *recorder = nullptr;
    QLineEdit *other = nullptr;
};

// From the keyboard alone: focus never records, Enter or Space does, and Tab reaches the
// clear button, whose Space empties the field and leaves the focus on it.
TEST_F(MZRecorderControlInWindow, KeyboardOnly) {
    auto *clearButton = recorder->findChild<QToolButton *>(QStringLiteral("clearButton"));
    recorder->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(recorder->isRecording());
    QTest::keyClick(recorder, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), clearButton);
    QTest::keyClick(clearButton, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), other) << "Tab walks on";
    EXPECT_EQ(recorder->keyCombo(), (KeyCombo{Shift, W}));
    for (Qt::Key start : {Qt::Key_Return, Qt::Key_Space}) {
        recorder->setFocus(Qt::TabFocusReason);
        QTest::keyClick(recorder, start);
        ASSERT_TRUE(recorder->isRecording());
        QTest::keyClick(recorder, Qt::Key_Tab);
        EXPECT_EQ(recorder->keyCombo(), (KeyCombo{0, 0x30})) << "while recording, Tab is a key";
    }
    clearButton->setFocus(Qt::TabFocusReason);
    QTest::keyClick(clearButton, Qt::Key_Space);
    EXPECT_EQ(recorder->keyCombo(), KeyCombo{});
    EXPECT_EQ(QApplication::focusWidget(), recorder);
}

TEST_F(MZRecorderControlInWindow, AClickElsewhereOrLeavingEndsARecordingWithoutChange) {
    const struct {
        const char *what;
        std::function<void()> leave;
    } cases[] = {
        {"click on the background",
         [&] { QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(5, window.height() - 5)); }},
        {"click on another field", [&] { QTest::mouseClick(other, Qt::LeftButton); }},
        {"focus elsewhere", [&] { other->setFocus(Qt::TabFocusReason); }},
    };
    for (const auto &c : cases) {
        QTest::mouseClick(recorder, Qt::LeftButton);
        ASSERT_TRUE(recorder->isRecording()) << c.what;
        c.leave();
        EXPECT_FALSE(recorder->isRecording()) << c.what;
        QTest::keyClick(recorder, Qt::Key_Q);
        EXPECT_EQ(recorder->keyCombo(), (KeyCombo{Shift, W})) << c.what;
    }
}

}  // namespace
