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

        // The index of the key, looked for at from first; -1 when the shape lacks it.
        qsizetype indexOf(const QString &key, size_t from) const;
        // The keys with invalid values, in a map made the first time it is asked for.
        const std::map<QString, QVariant> &members() {
            if (m_members.empty()) {
                makeMembers();
            }
            return m_members;
        }

    private:
        void makeMembers();

        std::map<QString, QVariant> m_members;
    };

    // The shape whose first key is this one, or null. It stays where it is until clear():
    // the dictionaries being read along it point to it.
    Shape *find(const QString &firstKey);
    // The same for a first key that stood in the document as these bytes (ASCII, no escape),
    // found among the shapes whose first key stood so as well; the document ends at textEnd.
    Shape *findPlain(const char *bytes, qsizetype length, const char *textEnd);
    // The shape last found for a dictionary at this nesting depth, or null; for the caller
    // to set. Cleared with the shapes.
    Shape *&lastFoundAt(int depth) { return m_lastFound[size_t(depth) % m_lastFound.size()]; }
    // Whether a shape with this first key would be kept.
    bool hasRoomFor(const QString &firstKey) const;
    // Keeps the shape, which has at least one key, if there is room for it: the first
    // shapes stay, so that records of kinds that alternate do not keep replacing each
    // other, and no shape moves under a dictionary.
    void learn(Shape shape);
    void clear();

private:
    // A shape is kept in the first free one of Probes places from its first key's own.
    static constexpr size_t Places = 128;
    static constexpr size_t Probes = 4;

    // A key's place from its length and code units, alike for its text and its ASCII bytes.
    template <class Unit>
    static size_t placeOf(const Unit *units, qsizetype size);
    static size_t placeOf(const QString &firstKey);
    static bool sameText(const QString &a, const QString &b) {
        return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
    }

    std::array<Shape, Places> m_shapes;
    std::array<Shape *, 64> m_lastFound{};
};
