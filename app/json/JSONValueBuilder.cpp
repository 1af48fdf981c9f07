#include "json/JSONValueBuilder.h"

#include "json/JSONStringReader.h"

#include <bit>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

std::u16string_view units(const QString &string) {
    return {reinterpret_cast<const char16_t *>(string.constData()), size_t(string.size())};
}

}  // namespace

const QVariant &JSONValueBuilder::nullValue() {
    static const QVariant value = QVariant::fromValue(nullptr);
    return value;
}

const QVariant &JSONValueBuilder::boolValue(bool truth) {
    static const QVariant values[] = {QVariant(false), QVariant(true)};
    return values[truth];
}

QVariantList JSONValueBuilder::Array::take() {
    if (!m_long.isEmpty()) {
        return std::move(m_long);
    }
    QVariantList list(stacked(), inUseEnd());
    m_inUse = m_base;
    return list;
}

QVariant *JSONValueBuilder::Array::newPlace() {
    if (!m_long.isEmpty()) {
        return nullptr;
    }
    m_stack.emplace_back();
    return &m_stack[m_inUse++];
}

void JSONValueBuilder::Array::moveToLong() {
    m_long = QVariantList(stacked(), inUseEnd());
    m_inUse = m_base;
}

bool JSONValueBuilder::Dictionary::insert(QString &&key, const char *written,
                                          const char *writtenEnd, QVariant &&value) {
    if (!holdsValue(value)) {
        return false;
    }
    if (!m_started) {
        start(key);
    }
    if (m_shape) {
        const qsizetype index = m_shape->indexOf(key, m_next);
        if (index >= 0) {
            placeInShape(size_t(index), std::move(value));
            return true;
        }
    }
    // Two quotes around one byte per code unit: the key stood as its own bytes.
    const bool plain = *written == '"' && key.size() + 2 == writtenEnd - written;
    const MapNode node = placeBySearch(m_shape ? m_extra : m_map, std::move(key), std::move(value));
    if (m_learning) {
        *takeNodes(1) = {node, plain ? written + 1 : nullptr};
    }
    return true;
}

QVariantMap JSONValueBuilder::Dictionary::take() {
    if (m_shape) {
        dropKeysNotRead();
        if (!m_extra.empty()) {
            m_map.merge(m_extra);
        }
    } else if (m_learning) {
        learn();
    }
    return m_map.empty() ? QVariantMap() : QVariantMap(std::move(m_map));
}

qsizetype JSONValueBuilder::Dictionary::startAlongKeyAhead(const char *ahead, const char *end) {
    DictionaryShapes::Shape *const shape = shapeOfKeyAhead(ahead, end);
    if (!shape) {
        return 0;
    }
    startAlong(shape);
    return shape->keys.front().text.size() + 2;
}

DictionaryShapes::Shape *JSONValueBuilder::Dictionary::shapeOfKeyAhead(const char *ahead,
                                                                       const char *end) {
    // Records in a list are mostly of one kind: the shape last found at this depth is
    // tried first.
    DictionaryShapes::Shape *&last = m_shapes.lastFoundAt(m_depth);
    if (last && isKeyAhead(last->keys.front(), ahead, end)) {
        return last;
    }
    if (ahead == end || *ahead != '"') {
        return nullptr;
    }
    const char *const key = ahead + 1;
    bool ascii;
    const qsizetype length = JSONStringReader::plainRunLength(key, end, &ascii);
    DictionaryShapes::Shape *const shape = ascii && key + length < end && key[length] == '"'
                                               ? m_shapes.findPlain(key, length, end)
                                               : nullptr;
    if (shape) {
        last = shape;
    }
    return shape;
}

void JSONValueBuilder::Dictionary::startAlong(DictionaryShapes::Shape *shape) {
    m_started = true;
    m_shape = shape;
    // Made by copy construction: assigning would look for nodes to reuse at every one.
    m_map = std::map<QString, QVariant>(m_shape->members());
    MemberNode *const nodes = takeNodes(m_shape->keys.size());
    auto node = m_map.begin();
    for (const int index : m_shape->order) {
        nodes[index].node = node++;
    }
}

void JSONValueBuilder::Dictionary::start(const QString &firstKey) {
    if (DictionaryShapes::Shape *const shape = m_shapes.find(firstKey)) {
        startAlong(shape);
        return;
    }
    m_started = true;
    m_learning = m_shapes.hasRoomFor(firstKey);
}

JSONValueBuilder::MemberNode *JSONValueBuilder::Dictionary::takeNodes(size_t count) {
    const size_t first = m_inUse;
    m_inUse += count;
    if (m_nodes.size() < m_inUse) {
        m_nodes.resize(m_inUse);
    }
    return &m_nodes[first];
}

void JSONValueBuilder::Dictionary::placeInShape(size_t index, QVariant &&value) {
    // Swapped: the node holds an invalid value, which the caller's variant takes away.
    m_nodes[m_base + index].node->second.swap(value);
    m_read |= uint64_t(1) << index;
    m_next = index + 1;
}

void JSONValueBuilder::Dictionary::dropKeysNotRead() {
    const size_t count = m_shape->keys.size();
    const uint64_t all = count == 64 ? ~uint64_t(0) : (uint64_t(1) << count) - 1;
    for (uint64_t notRead = all & ~m_read; notRead != 0; notRead &= notRead - 1) {
        m_map.erase(m_nodes[m_base + size_t(std::countr_zero(notRead))].node);
    }
}

JSONValueBuilder::MapNode JSONValueBuilder::Dictionary::placeBySearch(
    std::map<QString, QVariant> &map, QString &&key, QVariant &&value) {
    // The node is made for the key alone: a repeated key drops it and keeps the value.
    // Keys in ascending order, as many documents write them, go in at the end.
    const auto node =
        map.empty() || units(map.rbegin()->first) < units(key)
            ? map.emplace_hint(map.end(), std::piecewise_construct,
                               std::forward_as_tuple(std::move(key)), std::forward_as_tuple())
            : map.emplace(std::piecewise_construct, std::forward_as_tuple(std::move(key)),
                          std::forward_as_tuple())
                  .first;
    node->second.swap(value);
    return node;
}

void JSONValueBuilder::Dictionary::learn() {
    const size_t count = m_inUse - m_base;
    // A repeated key has no place of its own, so such a dictionary is no shape.
    if (count > DictionaryShapes::MaximumKeys || m_map.size() != count) {
        return;
    }
    DictionaryShapes::Shape shape;
    shape.keys.reserve(count);
    shape.order.reserve(count);
    for (size_t i = m_base; i < m_inUse; ++i) {
        shape.keys.push_back({m_nodes[i].node->first, m_nodes[i].keyBytes});
    }
    for (auto node = m_map.begin(); node != m_map.end(); ++node) {
        shape.order.push_back(indexOf(node));
    }
    m_shapes.learn(std::move(shape));
}

int JSONValueBuilder::Dictionary::indexOf(MapNode node) const {
    for (size_t i = m_base; i < m_inUse; ++i) {
        if (m_nodes[i].node == node) {
            return int(i - m_base);
        }
    }
    return -1;
}
