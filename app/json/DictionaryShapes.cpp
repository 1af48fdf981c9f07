#include "json/DictionaryShapes.h"

#include "json/ByteWord.h"
#include "json/KeyPool.h"

#include <cstdint>

qsizetype DictionaryShapes::Shape::indexOf(const QString &key, size_t from) const {
    if (from < keys.size() && sameText(keys[from].text, key)) {
        return qsizetype(from);
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        if (sameText(keys[i].text, key)) {
            return qsizetype(i);
        }
    }
    return -1;
}

void DictionaryShapes::Shape::makeMembers() {
    for (const int index : order) {
        m_members.emplace_hint(m_members.end(), KeyPool::intern(keys[size_t(index)].text),
                               QVariant());
    }
}

template <class Unit>
size_t DictionaryShapes::placeOf(const Unit *units, qsizetype size) {
    // Keys are short and told apart by their length and ends: a full hash costs more than
    // the probes it would save.
    if (size == 0) {
        return 0;
    }
    constexpr uint64_t Mix = 0x9E3779B97F4A7C15ULL;
    uint64_t mixed = (uint64_t(size) << 16 | units[0]) * Mix;
    mixed = (mixed << 16 | units[size / 2]) * Mix;
    mixed = (mixed << 16 | units[size - 1]) * Mix;
    return size_t(mixed >> 40) % Places;
}

size_t DictionaryShapes::placeOf(const QString &firstKey) {
    return placeOf(reinterpret_cast<const char16_t *>(firstKey.constData()), firstKey.size());
}

DictionaryShapes::Shape *DictionaryShapes::find(const QString &firstKey) {
    const size_t place = placeOf(firstKey);
    for (size_t probe = 0; probe < Probes; ++probe) {
        Shape &shape = m_shapes[(place + probe) % Places];
        if (shape.keys.empty()) {
            return nullptr;
        }
        if (sameText(shape.keys.front().text, firstKey)) {
            return &shape;
        }
    }
    return nullptr;
}

DictionaryShapes::Shape *DictionaryShapes::findPlain(const char *bytes, qsizetype length,
                                                     const char *textEnd) {
    const size_t place = placeOf(reinterpret_cast<const unsigned char *>(bytes), length);
    for (size_t probe = 0; probe < Probes; ++probe) {
        Shape &shape = m_shapes[(place + probe) % Places];
        if (shape.keys.empty()) {
            return nullptr;
        }
        const Key &first = shape.keys.front();
        if (first.bytes && first.text.size() == length &&
            ByteWord::equalIn(first.bytes, bytes, length, textEnd)) {
            return &shape;
        }
    }
    return nullptr;
}

bool DictionaryShapes::hasRoomFor(const QString &firstKey) const {
    const size_t place = placeOf(firstKey);
    for (size_t probe = 0; probe < Probes; ++probe) {
        if (m_shapes[(place + probe) % Places].keys.empty()) {
            return true;
        }
    }
    return false;
}

void DictionaryShapes::learn(Shape shape) {
    const size_t place = placeOf(shape.keys.front().text);
    for (size_t probe = 0; probe < Probes; ++probe) {
        Shape &free = m_shapes[(place + probe) % Places];
        if (free.keys.empty()) {
            free = std::move(shape);
            return;
        }
    }
}

void DictionaryShapes::clear() {
    for (Shape &shape : m_shapes) {
        shape = Shape();
    }
    m_lastFound.fill(nullptr);
}
