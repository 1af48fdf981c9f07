#pragma once

#include "json/ByteWord.h"
#include "json/DictionaryShapes.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <map>
#include <new>
#include <vector>

// Makes the trees of QVariants that the JSON reader gives: arrays, dictionaries and the
// literals' values. A scan opens an Array or a Dictionary for each container it reads, adds
// the members in the text's order and takes the container at its end; a container that is
// not taken is let go of with what it held.
//
// Where a value can be made right in its place (an array element that is no container, the
// value of a key a dictionary expected) it is: the caller hands over a function that scans
// it, so that the value is never moved or destroyed on its way. Owned by one scanner; the
// shapes it learns point into the document's text, so clear() comes with a new text.
class JSONValueBuilder {
public:
    class Array;
    class Dictionary;

    void clear() { m_shapes.clear(); }

    // Whether the variant holds a value, as isValid() tells, read where the variant keeps its
    // type: isValid() is a call into Qt, made here for every value read.
    static bool holdsValue(const QVariant &variant) {
        return variant.data_ptr().typeInterface() != nullptr;
    }
    // The literals' values, made once: a copy costs less than making one.
    static const QVariant &nullValue();
    static const QVariant &boolValue(bool truth);

private:
    using MapNode = std::map<QString, QVariant>::iterator;
    struct MemberNode {
        MapNode node;
        const char *keyBytes;
    };

    // Elements and map nodes of the containers being read, stacked (see Array and
    // Dictionary).
    std::vector<QVariant> m_elements;
    size_t m_elementsInUse = 0;
    std::vector<MemberNode> m_memberNodes;
    size_t m_memberNodesInUse = 0;
    DictionaryShapes m_shapes;
};

// The elements of one array. They are stacked on m_elements, so that a small array is made
// with one allocation of its exact size. The stack never shrinks, and its places past those
// in use hold nothing: a value can be made right in one, and an array that fails lets go of
// what it left. An array that grows long moves to a list of its own, which grows in place:
// no copy of a long array ever holds its elements twice.
class JSONValueBuilder::Array {
public:
    static constexpr size_t LongArray = 4096;

    explicit Array(JSONValueBuilder &builder)
        : m_stack(builder.m_elements), m_inUse(builder.m_elementsInUse), m_base(m_inUse) {}
    ~Array() {
        for (size_t i = m_base; i < m_inUse; ++i) {
            m_stack[i] = QVariant();
        }
        m_inUse = m_base;
    }
    Array(const Array &) = delete;
    Array &operator=(const Array &) = delete;

    // Adds the value make() returns, made in its place; false, adding nothing, when it
    // holds none. make() must read no container: one may stack elements of its own and
    // so move the place.
    template <class Make>
    bool emplace(Make &&make) {
        QVariant *const place = nextPlace();
        if (!place) {
            return append(make());
        }
        new (place) QVariant(make());
        if (!holdsValue(*place)) {
            return false;
        }
        placed();
        return true;
    }
    // Adds a value made apart; false, adding nothing, when it holds none.
    bool append(QVariant &&value) {
        if (!holdsValue(value)) {
            return false;
        }
        if (!m_long.isEmpty()) {
            m_long.append(std::move(value));
            return true;
        }
        nextPlace()->swap(value);
        placed();
        return true;
    }
    QVariantList take();

private:
    // A place that holds nothing, so that a variant may be made over it without destroying
    // it first; null once the array is long.
    QVariant *nextPlace() {
        return m_inUse < m_stack.size() && m_long.isEmpty() ? &m_stack[m_inUse++] : newPlace();
    }
    void placed() {
        if (m_inUse - m_base == LongArray) {
            moveToLong();
        }
    }
    // Kept apart, so that the common path of nextPlace() stays small enough to inline.
    [[gnu::noinline]] QVariant *newPlace();
    [[gnu::noinline]] void moveToLong();
    std::move_iterator<std::vector<QVariant>::iterator> stacked() const {
        return std::make_move_iterator(m_stack.begin() + std::ptrdiff_t(m_base));
    }
    std::move_iterator<std::vector<QVariant>::iterator> inUseEnd() const {
        return std::make_move_iterator(m_stack.begin() + std::ptrdiff_t(m_inUse));
    }

    std::vector<QVariant> &m_stack;
    size_t &m_inUse;
    size_t m_base;
    QVariantList m_long;
};

// The members of one dictionary as they go into its map. A dictionary whose first key
// starts a shape learnt from an earlier one is read along it: its map starts as a copy of
// the shape's, each value goes into its key's node, and the key after the last one read
// is expected next. At the end the keys it did not have are taken out; keys the shape
// lacks go in by search. A dictionary without a shape goes into its map key by key, and
// the first one of a kind is learnt as its shape.
class JSONValueBuilder::Dictionary {
public:
    // depth: how deep the dictionary is nested; records of one kind sit at one depth.
    Dictionary(JSONValueBuilder &builder, int depth)
        : m_shapes(builder.m_shapes), m_nodes(builder.m_memberNodes),
          m_inUse(builder.m_memberNodesInUse), m_base(m_inUse), m_depth(depth) {}
    ~Dictionary() { m_inUse = m_base; }
    Dictionary(const Dictionary &) = delete;
    Dictionary &operator=(const Dictionary &) = delete;

    // The length, quotes included, of the key at ahead in a text that ends at end, when it
    // is the key the dictionary expects next and stands in its own bytes; 0 otherwise. Its
    // value then goes to emplaceExpected.
    qsizetype expectedKeyAhead(const char *ahead, const char *end) {
        if (!m_started) {
            return startAlongKeyAhead(ahead, end);
        }
        const DictionaryShapes::Key *const expected = expectedKey();
        return expected && isKeyAhead(*expected, ahead, end) ? expected->text.size() + 2 : 0;
    }
    // Puts the value make() returns, made in its node, under the key expectedKeyAhead found;
    // false when it holds none.
    template <class Make>
    bool emplaceExpected(Make &&make) {
        QVariant *const place = takeExpectedPlace();
        new (place) QVariant(make());
        return holdsValue(*place);
    }
    // Puts the value under the key, which was read from the text between written and
    // writtenEnd; false, adding nothing, when the value holds none. A repeated key takes
    // the later value.
    bool insert(QString &&key, const char *written, const char *writtenEnd, QVariant &&value);
    QVariantMap take();

private:
    // The key the shape expects next, or null; a key read already is not expected again.
    const DictionaryShapes::Key *expectedKey() const {
        return m_shape && m_next < m_shape->keys.size() && (m_read >> m_next & 1) == 0
                   ? &m_shape->keys[m_next]
                   : nullptr;
    }
    // The node of the expected key's value, which holds nothing, so that a variant may be
    // made over it without destroying it first.
    QVariant *takeExpectedPlace() {
        const size_t index = m_next;
        m_read |= uint64_t(1) << index;
        m_next = index + 1;
        return &m_nodes[m_base + index].node->second;
    }
    // Whether the key stands at ahead in its own bytes, between quotes.
    static bool isKeyAhead(const DictionaryShapes::Key &key, const char *ahead, const char *end) {
        const qsizetype length = key.text.size();
        return key.bytes && end - ahead >= length + 2 && ahead[0] == '"' &&
               ahead[length + 1] == '"' && ByteWord::equalIn(ahead + 1, key.bytes, length, end);
    }
    // Starts along the shape whose first key stands at ahead in its own bytes, if one was
    // learnt; the key's length as expectedKeyAhead gives it.
    qsizetype startAlongKeyAhead(const char *ahead, const char *end);
    DictionaryShapes::Shape *shapeOfKeyAhead(const char *ahead, const char *end);
    void startAlong(DictionaryShapes::Shape *shape);
    void start(const QString &firstKey);
    // Puts count more nodes in use and returns the first. The stack never shrinks, so that
    // the places a dictionary takes are not cleared first, only written.
    MemberNode *takeNodes(size_t count);
    void placeInShape(size_t index, QVariant &&value);
    void dropKeysNotRead();
    static MapNode placeBySearch(std::map<QString, QVariant> &map, QString &&key, QVariant &&value);
    void learn();
    int indexOf(MapNode node) const;

    DictionaryShapes &m_shapes;
    // Along a shape, the node of each of its keys in the shape's order; while learning, the
    // node of each member in the text's order.
    std::vector<MemberNode> &m_nodes;
    size_t &m_inUse;
    size_t m_base;
    int m_depth;
    std::map<QString, QVariant> m_map;
    // Along a shape, the members of keys it lacks.
    std::map<QString, QVariant> m_extra;
    DictionaryShapes::Shape *m_shape = nullptr;
    // The index in the shape after the key read last, and one bit for each key read.
    static_assert(DictionaryShapes::MaximumKeys <= 64);
    size_t m_next = 0;
    uint64_t m_read = 0;
    bool m_started = false;
    bool m_learning = false;
};
