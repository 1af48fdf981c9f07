#include "json/KeyPool.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <unordered_set>

namespace {

struct Pool {
    std::mutex mutex;
    std::unordered_set<std::u16string_view> texts;
    size_t units = 0;
};

}  // namespace

QString KeyPool::intern(const QString &key) {
    // Never destroyed: strings over its texts may sit in static objects until the very end.
    static Pool *const pool = new Pool;
    const std::u16string_view text(reinterpret_cast<const char16_t *>(key.constData()),
                                   size_t(key.size()));
    if (text.empty()) {
        return key;
    }
    const std::lock_guard lock(pool->mutex);
    auto found = pool->texts.find(text);
    if (found == pool->texts.end()) {
        if (pool->texts.size() >= MaximumKeys || pool->units + text.size() > MaximumUnits) {
            return key;
        }
        char16_t *const copy = new char16_t[text.size()];
        std::copy(text.begin(), text.end(), copy);
        found = pool->texts.emplace(copy, text.size()).first;
        pool->units += text.size();
    }
    return QString::fromRawData(reinterpret_cast<const QChar *>(found->data()),
                                qsizetype(found->size()));
}
