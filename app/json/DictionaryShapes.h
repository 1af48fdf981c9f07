#pragma once

#include <QString>
#include <QVariant>

#include <array>
#include <map>
#include <vector>

// The key sequences of the dictionaries a reader has made, found again by their first key,
// so that the records of a document, which repeat one sequence of keys, are read along it
// and their maps copied from one made once: a copy costs no key comparisons. Owned by one
// scanner for one document.
class DictionaryShapes {
public:
    static constexpr size_t MaximumKeys = 64;

    struct Key {
        QString text;
        // Where the key's text stood in the document as its own bytes (ASCII, no escape),
        // or null when it did not. The shapes are cleared when the document goes.
        const char *bytes;
    };
    struct Shape {
        // In the order the document wrote them; no key twice.
        std::vector<Key> keys;
        // For each key in key order, its index in keys.
        std::vector<int> order;
        // The keys with invalid values, made the first time a dictionary follows the
        // whole shape.
        std::map<QString, QVariant> members;
    };

    // The shape whose first key is this very string (the same shared text), or null. It
    // stays where it is until clear(): the dictionaries being read along it point to it.
    Shape *find(const QString &firstKey);
    // Keeps the shape, which has at least one key, unless its place is taken: the first
    // shape of a place stays, so that records of two alternating kinds do not keep
    // replacing each other, and no shape moves under a dictionary.
    void learn(Shape shape);
    void clear();

private:
    static size_t slotOf(const QString &firstKey);
    static bool sameText(const QString &a, const QString &b) {
        return a.constData() == b.constData() && a.size() == b.size();
    }

    std::array<Shape, 64> m_shapes;
};
