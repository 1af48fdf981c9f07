#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Runs submitted operations on the global thread pool, at most limit() at a time, handing
// them to the pool in submission order. Held by shared_ptr: each running operation holds a
// reference, and while anything waits every slot is running, so a creator may let go at once
// and the queue ends after its last operation. addOperation never blocks; an operation that
// ends hands its slot straight to the next waiting one.
class MZDispatchQueue : public std::enable_shared_from_this<MZDispatchQueue> {
    struct Passkey {};

public:
    using Operation = std::function<void()>;
    static constexpr int DefaultConcurrentCount = 10;

    // A count of 0 or less gives the default limit.
    static std::shared_ptr<MZDispatchQueue> create(int concurrentCount = DefaultConcurrentCount);

    MZDispatchQueue(Passkey, int concurrentCount);
    MZDispatchQueue(const MZDispatchQueue &) = delete;
    MZDispatchQueue &operator=(const MZDispatchQueue &) = delete;

    int limit() const { return m_limit; }
    // May be called from any thread. An empty operation is ignored.
    void addOperation(Operation operation);

private:
    void runOnPool(Operation operation);
    void operationEnded();

    const int m_limit;
    std::mutex m_mutex;
    int m_freeSlots;                  // guarded by m_mutex
    std::deque<Operation> m_waiting;  // guarded by m_mutex; non-empty only while no slot is free
};
