#include "json/StringCache.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

uint64_t load8(const char *bytes) {
    uint64_t eight;
    std::memcpy(&eight, bytes, 8);
    return eight;
}

// Mixes the length with the first and the last eight bytes: that tells apart the keys and
// small values documents repeat, at the cost of two loads.
size_t hashOf(const char *bytes, qsizetype length, size_t buckets) {
    uint64_t head = 0;
    uint64_t tail = 0;
    if (length >= 8) {
        head = load8(bytes);
        tail = load8(bytes + length - 8);
    } else {
        for (qsizetype i = 0; i < length; ++i) {
            head = head << 8 | uchar(bytes[i]);
        }
    }
    const uint64_t mixed = (head ^ std::rotl(tail, 29) ^ uint64_t(length)) * 0x9E3779B97F4A7C15ULL;
    return size_t(mixed >> 32) % buckets;
}

}  // namespace

bool StringCache::holds(const Entry &entry, const char *bytes, qsizetype length) {
    return entry.length == length && std::memcmp(entry.bytes, bytes, size_t(length)) == 0;
}

const QString &StringCache::text(const char *bytes, qsizetype length) {
    Set &set = m_sets[hashOf(bytes, length, m_sets.size())];
    for (int way = 0; way < 2; ++way) {
        if (holds(set.ways[way], bytes, length)) {
            set.recent = way;
            return set.ways[way].text;
        }
    }
    set.recent ^= 1;
    Entry &entry = set.ways[set.recent];
    std::memcpy(entry.bytes, bytes, size_t(length));
    entry.length = length;
    entry.text = QString::fromLatin1(bytes, length);
    return entry.text;
}
