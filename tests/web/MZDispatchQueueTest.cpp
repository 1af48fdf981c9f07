#include "web/MZDispatchQueue.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records which operations started, how many ran at once, and holds them until released.
class Recorder {
public:
    MZDispatchQueue::Operation operation(int id, bool hold = false) {
        return [this, id, hold] {
            std::unique_lock lock(m_mutex);
            m_started.push_back(id);
            m_maxRunning = std::max(m_maxRunning, ++m_running);
            m_changed.notify_all();
            if (hold) m_changed.wait(lock, [&] { return m_released.count(id) > 0; });
            --m_running;
            ++m_finished;
            m_changed.notify_all();
        };
    }
    void release(int id) {
        std::lock_guard lock(m_mutex);
        m_released.insert(id);
        m_changed.notify_all();
    }
    bool waitStarted(size_t count, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_started.size() >= count; });
    }
    bool waitFinished(int count) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_finished >= count; });
    }
    std::vector<int> started() {
        std::lock_guard lock(m_mutex);
        return m_started;
    }
    int maxRunning() {
        std::lock_guard lock(m_mutex);
        return m_maxRunning;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_started;
    std::set<int> m_released;
    int m_running = 0;
    int m_maxRunning = 0;
    int m_finished = 0;
};

class MZDispatchQueueTest : public ::testing::Test {
protected:
    // More pool threads than any limit below, so the limit is what holds operations back.
    void SetUp() override { QThreadPool::globalInstance()->setMaxThreadCount(8); }
    // Operations refer to the test's recorder: let every one end before it goes.
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }
};

TEST_F(MZDispatchQueueTest, LimitFallsBackToTenForZeroOrLess) {
    EXPECT_EQ(MZDispatchQueue::create(0)->limit(), 10);
    EXPECT_EQ(MZDispatchQueue::create(-5)->limit(), 10);
    EXPECT_EQ(MZDispatchQueue::create()->limit(), 10);
    EXPECT_EQ(MZDispatchQueue::create(3)->limit(), 3);
}

TEST_F(MZDispatchQueueTest, LimitOfOneRunsOneAfterAnotherInSubmissionOrder) {
    Recorder recorder;
    auto queue = MZDispatchQueue::create(1);
    std::vector<int> submitted;
    for (int id = 0; id < 200; ++id) {
        queue->addOperation(recorder.operation(id));
        submitted.push_back(id);
    }
    ASSERT_TRUE(recorder.waitFinished(200));
    EXPECT_EQ(recorder.started(), submitted);
    EXPECT_EQ(recorder.maxRunning(), 1);
}

TEST_F(MZDispatchQueueTest, ThirdOperationWaitsForAFreeSlotWithoutBlockingTheCaller) {
    Recorder recorder;
    auto queue = MZDispatchQueue::create(2);
    for (int id = 1; id <= 3; ++id) queue->addOperation(recorder.operation(id, true));
    for (int id = 4; id <= 100; ++id) queue->addOperation(recorder.operation(id));
    ASSERT_TRUE(recorder.waitStarted(2));
    EXPECT_FALSE(recorder.waitStarted(3, 200ms));
    recorder.release(2);
    ASSERT_TRUE(recorder.waitStarted(3));
    EXPECT_EQ(recorder.started().back(), 3);
    recorder.release(1);
    recorder.release(3);
    ASSERT_TRUE(recorder.waitFinished(100));
    EXPECT_EQ(recorder.maxRunning(), 2);
}

TEST_F(MZDispatchQueueTest, PendingOperationsKeepTheQueueAliveAndAllRun) {
    Recorder recorder;
    auto queue = MZDispatchQueue::create(1);
    const std::weak_ptr<MZDispatchQueue> watch = queue;
    queue->addOperation(recorder.operation(0, true));
    for (int id = 1; id < 10; ++id) queue->addOperation(recorder.operation(id));
    queue->addOperation({});
    queue.reset();
    ASSERT_TRUE(recorder.waitStarted(1));
    EXPECT_FALSE(watch.expired());
    recorder.release(0);
    ASSERT_TRUE(recorder.waitFinished(10));
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(watch.expired());
}

}  // namespace
