#include "web/MZDispatchQueue.h"

#include <QThreadPool>

std::shared_ptr<MZDispatchQueue> MZDispatchQueue::create(int concurrentCount) {
    return std::make_shared<MZDispatchQueue>(Passkey{}, concurrentCount);
}

MZDispatchQueue::MZDispatchQueue(Passkey, int concurrentCount)
    : m_limit(concurrentCount > 0 ? concurrentCount : DefaultConcurrentCount),
      m_semaphore(m_limit),
      m_feeder(&MZDispatchQueue::feed, this) {}

// Runs where the last reference goes: a client's thread or a pool thread after the last
// operation, never the feeder, which hands its references on to the pool. Nothing is pending
// then, so the feeder is idle and ends at once.
MZDispatchQueue::~MZDispatchQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_one();
    m_feeder.join();
}

void MZDispatchQueue::addOperation(Operation operation) {
    if (!operation) return;
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_pending.emplace_back(std::move(operation), shared_from_this());
        std::swap(wake, m_feederWaiting);
    }
    if (wake) m_wake.notify_one();
}

void MZDispatchQueue::feed() {
    std::deque<Pending> batch;
    while (takePending(batch)) {
        for (Pending &pending : batch) {
            m_semaphore.acquire();
            runOnPool(std::move(pending));
        }
        batch.clear();
    }
}

// Waits for submissions and takes all of them at once; false when the queue is ending.
bool MZDispatchQueue::takePending(std::deque<Pending> &batch) {
    std::unique_lock lock(m_mutex);
    if (m_pending.empty()) {
        m_feederWaiting = true;
        m_wake.wait(lock, [this] { return m_ending || !m_pending.empty(); });
        m_feederWaiting = false;
    }
    batch.swap(m_pending);
    return !batch.empty();
}

void MZDispatchQueue::runOnPool(Pending pending) {
    QThreadPool::globalInstance()->start([pending = std::move(pending)] {
        pending.first();
        pending.second->m_semaphore.release();
    });
}
