#pragma once

#include <QString>

#include <array>
#include <vector>

// The key sequences of the dictionaries a reader has made, found again by their first key,
// so that the records of a document, which repeat one sequence of keys, are read along it.
// With each key goes the index of the earlier key that follows it in key order: a member
// put into the map next to that one costs the map one or two comparisons instead of a
// search. Owned by one scanner for one document.
class DictionaryShapes {
public:
    static constexpr size_t MaximumKeys = 64;

    struct Key {
        QString text;
        // Where the key's text stood in the document as its own bytes (ASCII, no escape),
        // or null when it did not. The shapes are cleared when the document goes.
        const char *bytes;
        // Index of the earlier key that follows this one in key order; -1 when none does.
        int successor;
    };
    using Shape = std::vector<Key>;

    // The shape whose first key is this very string (the same shared text), or null.
    const Shape *find(const QString &firstKey) const;
    // Keeps the shape unless one with the same first key is known: the first of a kind
    // stays, so that records of two alternating kinds do not keep replacing each other.
    void learn(Shape shape);
    void clear();

private:
    static size_t slotOf(const QString &firstKey);
    static bool sameText(const QString &a, const QString &b) {
        return a.constData() == b.constData() && a.size() == b.size();
    }

    std::array<Shape, 64> m_shapes;
};
