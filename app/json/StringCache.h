#pragma once

#include <QString>

#include <array>

// The short ASCII strings a reader saw last, so that the keys and values a document repeats
// share one QString each instead of allocating one per occurrence. Each string has two
// places; a new one takes the place used less recently, so that a run of strings seen
// once (identifiers, say) does not push out the keys that keep coming back. Owned by one
// scanner for one document.
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
    struct Set {
        std::array<Entry, 2> ways;
        // The way used last.
        int recent = 0;
    };
    static bool holds(const Entry &entry, const char *bytes, qsizetype length);

    std::array<Set, 512> m_sets;
};
