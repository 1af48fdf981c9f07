#pragma once

#include <QString>

#include <array>

// The short ASCII strings a reader saw last, so that the keys and values a document repeats
// share one QString each instead of allocating one per occurrence. A collision replaces
// the older entry. Owned by one scanner for one document.
class StringCache {
public:
    static constexpr qsizetype MaximumLength = 32;

    // The text of the bytes, which are ASCII, 1 to MaximumLength of them.
    const QString &text(const char *bytes, qsizetype length);

private:
    struct Entry {
        qsizetype length = 0;
        char bytes[MaximumLength];
        QString text;
    };
    std::array<Entry, 512> m_entries;
};
