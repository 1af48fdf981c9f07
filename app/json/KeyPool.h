#pragma once

#include <QString>

// The keys of the records documents repeat, kept for the life of the process. A string over
// text that never goes away has no reference count, so the copies a document's records make
// of a pooled key, and their destruction, are plain copies instead of atomic counts. Bounded:
// past the bound keys stay ordinary strings. Safe to use from several threads.
class KeyPool {
public:
    static constexpr size_t MaximumKeys = 65536;
    static constexpr size_t MaximumUnits = size_t(1) << 20;

    // The key's text as a pooled string, or the key itself when it is empty or the pool is
    // full.
    static QString intern(const QString &key);
};
