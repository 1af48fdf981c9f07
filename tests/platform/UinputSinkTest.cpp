#include "platform/linux/UinputSink.h"

#include "platform/linux/LibevdevKeyboardSource.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

// Needs a real /dev/uinput and /dev/input, which test machines rarely give.
TEST(UinputSinkTest, VirtualKeyboardIsNeverTakenForAPhysicalOne) {
    auto sink = UinputSink::create();
    if (!sink) GTEST_SKIP() << sink.failure().message.toStdString();
    const QDir input(QStringLiteral("/dev/input"));
    for (const QString &entry : input.entryList({QStringLiteral("event*")}, QDir::System)) {
        auto source = LibevdevKeyboardSource::open(input.filePath(entry));
        if (source) {
            EXPECT_NE((*source)->name(), UinputSink::DeviceName);
        }
    }
    input_event frame[2] = {};
    frame[0].type = EV_KEY;
    frame[0].code = KEY_KP4;
    frame[1].type = EV_SYN;
    EXPECT_TRUE((*sink)->writeEvents(frame));
    EXPECT_TRUE((*sink)->releaseAllKeys());
}

}  // namespace
