#include "platform/linux/broker/InputEventReader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(InputEventReaderTest, JoinsRecordsSplitAcrossReadsAndSeesTheEnd) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
    input_event records[2] = {};
    records[0].code = KEY_A;
    records[1].code = KEY_B;
    const auto *bytes = reinterpret_cast<const char *>(records);
    const size_t split = sizeof(input_event) + 5;

    InputEventReader reader;
    std::vector<input_event> events;
    ASSERT_EQ(::write(fds[1], bytes, split), ssize_t(split));
    EXPECT_EQ(reader.read(fds[0], events), ReadStatus::Ok);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(reader.read(fds[0], events), ReadStatus::Ok) << "nothing to read is not an end";
    ASSERT_EQ(::write(fds[1], bytes + split, sizeof(records) - split),
              ssize_t(sizeof(records) - split));
    EXPECT_EQ(reader.read(fds[0], events), ReadStatus::Ok);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].code, KEY_B);

    ::close(fds[1]);
    EXPECT_EQ(reader.read(fds[0], events), ReadStatus::Gone);
    ::close(fds[0]);
}

}  // namespace
