#include "web/MZDispatchQueue.h"

#include <QThreadPool>

#include <utility>

std::shared_ptr<MZDispatchQueue> MZDispatchQueue::create(int concurrentCount) {
    return std::make_shared<MZDispatchQueue>(Passkey{}, concurrentCount);
}

MZDispatchQueue::MZDispatchQueue(Passkey, int concurrentCount)
    : m_limit(concurrentCount > 0 ? concurrentCount : DefaultConcurrentCount),
      m_freeSlots(m_limit) {}

void MZDispatchQueue::addOperation(Operation operation) {
    if (!operation) return;
    {
        std::lock_guard lock(m_mutex);
        if (m_freeSlots == 0) {
            m_waiting.push_back(std::move(operation));
            return;
        }
        --m_freeSlots;
    }
    runOnPool(std::move(operation));
}

void MZDispatchQueue::runOnPool(Operation operation) {
    QThreadPool::globalInstance()->start(
        [self = shared_from_this(), operation = std::move(operation)] {
            operation();
            self->operationEnded();
        });
}

void MZDispatchQueue::operationEnded() {
    Operation next;
    {
        std::lock_guard lock(m_mutex);
        if (m_waiting.empty()) {
            ++m_freeSlots;
            return;
        }
        next = std::move(m_waiting.front());
        m_waiting.pop_front();
    }
    runOnPool(std::move(next));
}
