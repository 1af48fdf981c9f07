#pragma once

#include <QSemaphore>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Runs submitted operations on the global thread pool, at most limit() at a time, starting
// them in submission order. Held by shared_ptr: every pending or running operation holds a
// reference too, so a creator may let go at once and the queue ends after its last
// operation. addOperation never blocks: the queue's own feeder thread waits for a free slot,
// one operation after another, and hands each to the pool.
class MZDispatchQueue : public std::enable_shared_from_this<MZDispatchQueue> {
    struct Passkey {};

public:
    using Operation = std::function<void()>;
    static constexpr int DefaultConcurrentCount = 10;

    // A count of 0 or less gives the default limit.
    static std::shared_ptr<MZDispatchQueue> create(int concurrentCount = DefaultConcurrentCount);

    MZDispatchQueue(Passkey, int concurrentCount);
    ~MZDispatchQueue();
    MZDispatchQueue(const MZDispatchQueue &) = delete;
    MZDispatchQueue &operator=(const MZDispatchQueue &) = delete;

    int limit() const { return m_limit; }
    // May be called from any thread. An empty operation is ignored.
    void addOperation(Operation operation);

private:
    // An operation waiting for its slot, with the reference that keeps the queue alive.
    using Pending = std::pair<Operation, std::shared_ptr<MZDispatchQueue>>;

    void feed();
    bool takePending(std::deque<Pending> &batch);
    void runOnPool(Pending pending);

    const int m_limit;
    QSemaphore m_semaphore;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Pending> m_pending;
    bool m_feederWaiting = false;
    bool m_ending = false;
    std::thread m_feeder;
};
